#include "kite/gl/KTGLProgram.h"

#include <uthash.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "kite/core/KTDirector.h"
#include "kite/gl/KTGLStateCache.h"
#include "kite/matrix/KTMatrixStack.h"

namespace kite {

struct KTUniformCacheEntry {
    GLint location;
    void* value;
    size_t size;
    UT_hash_handle hh;
};

namespace {

constexpr const char* kUniformHeader =
    "uniform mat4 KT_PMatrix;\n"
    "uniform mat4 KT_MVMatrix;\n"
    "uniform mat4 KT_MVPMatrix;\n"
    "uniform vec4 KT_Time;\n"
    "uniform vec4 KT_SinTime;\n"
    "uniform vec4 KT_CosTime;\n"
    "uniform vec4 KT_Random01;\n"
    "//KT INCLUDES END\n\n";

}  // namespace

KTGLProgram::KTGLProgram() = default;

KTGLProgram::~KTGLProgram() {
    if (m_uProgram) ktGLDeleteProgram(m_uProgram);
    KTUniformCacheEntry* entry = nullptr;
    KTUniformCacheEntry* tmp = nullptr;
    HASH_ITER(hh, m_pHashForUniforms, entry, tmp) {
        HASH_DEL(m_pHashForUniforms, entry);
        free(entry->value);
        free(entry);
    }
}

bool KTGLProgram::initWithVertexShaderSource(const GLchar* vShaderSource, const GLchar* fShaderSource) {
    m_uProgram = glCreateProgram();
    m_uVertShader = m_uFragShader = 0;
    if (vShaderSource) compileShader(&m_uVertShader, GL_VERTEX_SHADER, vShaderSource);
    if (fShaderSource) compileShader(&m_uFragShader, GL_FRAGMENT_SHADER, fShaderSource);
    if (m_uVertShader) glAttachShader(m_uProgram, m_uVertShader);
    if (m_uFragShader) glAttachShader(m_uProgram, m_uFragShader);
    m_pHashForUniforms = nullptr;
    return true;
}

bool KTGLProgram::compileShader(GLuint* shader, GLenum type, const GLchar* source) {
    if (!source) return false;
    const GLchar* sources[] = {
        type == GL_VERTEX_SHADER ? "precision highp float;\n" : "precision mediump float;\n",
        kUniformHeader,
        source,
    };
    *shader = glCreateShader(type);
    glShaderSource(*shader, 3, sources, nullptr);
    glCompileShader(*shader);
    GLint status = 0;
    glGetShaderiv(*shader, GL_COMPILE_STATUS, &status);
    if (!status) {
        // The built-in sources are part of the program; one that does not compile is a build fault.
        abort();
    }
    return status == GL_TRUE;
}

void KTGLProgram::addAttribute(const char* attributeName, GLuint index) {
    glBindAttribLocation(m_uProgram, index, attributeName);
}

bool KTGLProgram::link() {
    glLinkProgram(m_uProgram);
    if (m_uVertShader) glDeleteShader(m_uVertShader);
    if (m_uFragShader) glDeleteShader(m_uFragShader);
    m_uVertShader = m_uFragShader = 0;
    return true;
}

void KTGLProgram::updateUniforms() {
    m_uUniforms[kKTUniformPMatrix] = glGetUniformLocation(m_uProgram, kKTUniformPMatrix_s);
    m_uUniforms[kKTUniformMVMatrix] = glGetUniformLocation(m_uProgram, kKTUniformMVMatrix_s);
    m_uUniforms[kKTUniformMVPMatrix] = glGetUniformLocation(m_uProgram, kKTUniformMVPMatrix_s);
    m_uUniforms[kKTUniformTime] = glGetUniformLocation(m_uProgram, kKTUniformTime_s);
    m_uUniforms[kKTUniformSinTime] = glGetUniformLocation(m_uProgram, kKTUniformSinTime_s);
    m_uUniforms[kKTUniformCosTime] = glGetUniformLocation(m_uProgram, kKTUniformCosTime_s);
    m_uUniforms[kKTUniformRandom01] = glGetUniformLocation(m_uProgram, kKTUniformRandom01_s);
    m_uUniforms[kKTUniformSampler] = glGetUniformLocation(m_uProgram, kKTUniformSampler_s);

    m_bUsesTime = m_uUniforms[kKTUniformTime] != -1 || m_uUniforms[kKTUniformSinTime] != -1 ||
                  m_uUniforms[kKTUniformCosTime] != -1;

    use();
    setUniformLocationWith1i(m_uUniforms[kKTUniformSampler], 0);
}

void KTGLProgram::use() {
    ktGLUseProgram(m_uProgram);
}

GLint KTGLProgram::getUniformLocationForName(const char* name) const {
    if (!name || !m_uProgram) return -1;
    return glGetUniformLocation(m_uProgram, name);
}

bool KTGLProgram::updateUniformLocation(GLint location, const void* data, size_t bytes) {
    if (location < 0) return false;
    KTUniformCacheEntry* entry = nullptr;
    HASH_FIND_INT(m_pHashForUniforms, &location, entry);
    if (!entry) {
        entry = static_cast<KTUniformCacheEntry*>(malloc(sizeof(KTUniformCacheEntry)));
        void* value = malloc(bytes);
        if (!entry || !value) exit(-1);
        memcpy(value, data, bytes);
        entry->location = location;
        entry->value = value;
        entry->size = bytes;
        HASH_ADD_INT(m_pHashForUniforms, location, entry);
        return true;
    }
    if (entry->size == bytes && memcmp(entry->value, data, bytes) == 0) return false;
    // A location may be set with more data than before (a longer array): the copy must grow with it.
    if (entry->size != bytes) {
        void* value = realloc(entry->value, bytes);
        if (!value) exit(-1);
        entry->value = value;
        entry->size = bytes;
    }
    memcpy(entry->value, data, bytes);
    return true;
}

void KTGLProgram::setUniformLocationWith1i(GLint location, GLint i1) {
    if (updateUniformLocation(location, &i1, sizeof(i1))) glUniform1i(location, i1);
}

void KTGLProgram::setUniformLocationWith1f(GLint location, GLfloat f1) {
    if (updateUniformLocation(location, &f1, sizeof(f1))) glUniform1f(location, f1);
}

void KTGLProgram::setUniformLocationWith4f(GLint location, GLfloat f1, GLfloat f2, GLfloat f3, GLfloat f4) {
    const GLfloat floats[4] = {f1, f2, f3, f4};
    if (updateUniformLocation(location, floats, sizeof(floats))) glUniform4f(location, f1, f2, f3, f4);
}

void KTGLProgram::setUniformLocationWith4fv(GLint location, const GLfloat* floats,
                                            unsigned int numberOfArrays) {
    if (updateUniformLocation(location, floats, sizeof(GLfloat) * 4 * numberOfArrays))
        glUniform4fv(location, static_cast<GLsizei>(numberOfArrays), floats);
}

void KTGLProgram::setUniformLocationWithMatrix4fv(GLint location, const GLfloat* matrixArray,
                                                  unsigned int numberOfMatrices) {
    m_uEyeSpaceProjection = 0;
    if (updateUniformLocation(location, matrixArray, sizeof(GLfloat) * 16 * numberOfMatrices))
        glUniformMatrix4fv(location, static_cast<GLsizei>(numberOfMatrices), GL_FALSE, matrixArray);
}

void KTGLProgram::setUniformsForBuiltins() {
    mxMat4 matrixP;
    mxMat4 matrixMV;
    mxMat4 matrixMVP;
    mxGLGetMatrix(MX_GL_PROJECTION, &matrixP);
    mxGLGetMatrix(MX_GL_MODELVIEW, &matrixMV);
    mxMat4Multiply(&matrixMVP, &matrixP, &matrixMV);

    setUniformLocationWithMatrix4fv(m_uUniforms[kKTUniformPMatrix], matrixP.mat, 1);
    setUniformLocationWithMatrix4fv(m_uUniforms[kKTUniformMVMatrix], matrixMV.mat, 1);
    setUniformLocationWithMatrix4fv(m_uUniforms[kKTUniformMVPMatrix], matrixMVP.mat, 1);

    setTimeAndRandomUniforms();
}

void KTGLProgram::setUniformsForBuiltinsWithoutModelview() {
    const unsigned long long projectionVersion = mxGLProjectionVersion();
    if (projectionVersion == m_uEyeSpaceProjection) {
        if (m_bUsesTime || m_uUniforms[kKTUniformRandom01] != -1) setTimeAndRandomUniforms();
        return;
    }
    const mxMat4* projection = mxGLTopMatrix(MX_GL_PROJECTION);
    mxMat4 identity;
    mxMat4Identity(&identity);
    setUniformLocationWithMatrix4fv(m_uUniforms[kKTUniformPMatrix], projection->mat, 1);
    setUniformLocationWithMatrix4fv(m_uUniforms[kKTUniformMVMatrix], identity.mat, 1);
    setUniformLocationWithMatrix4fv(m_uUniforms[kKTUniformMVPMatrix], projection->mat, 1);
    setTimeAndRandomUniforms();
    m_uEyeSpaceProjection = projectionVersion;
}

void KTGLProgram::setTimeAndRandomUniforms() {
    if (m_bUsesTime) {
        KTDirector* director = KTDirector::sharedDirector();
        const float time = static_cast<float>(director->getTotalFrames() * director->getAnimationInterval());
        setUniformLocationWith4f(m_uUniforms[kKTUniformTime], time / 10.0f, time, time * 2, time * 4);
        setUniformLocationWith4f(m_uUniforms[kKTUniformSinTime], time / 8.0f, time / 4.0f, time / 2.0f,
                                 sinf(time));
        setUniformLocationWith4f(m_uUniforms[kKTUniformCosTime], time / 8.0f, time / 4.0f, time / 2.0f,
                                 cosf(time));
    }

    if (m_uUniforms[kKTUniformRandom01] != -1) {
        setUniformLocationWith4f(m_uUniforms[kKTUniformRandom01], rand() * 4.656613e-10f,
                                 rand() * 4.656613e-10f, rand() * 4.656613e-10f, rand() * 4.656613e-10f);
    }
}

}  // namespace kite
