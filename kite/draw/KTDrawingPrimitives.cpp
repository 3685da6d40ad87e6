#include "kite/draw/KTDrawingPrimitives.h"

#include "kite/base/KTMacros.h"
#include "kite/core/KTDirector.h"
#include "kite/gl/KTGLProgram.h"
#include "kite/gl/KTGLStateCache.h"
#include "kite/gl/KTShaderCache.h"
#include "platform/base/Log.h"

namespace kite {
namespace {

bool s_bInitialized = false;
KTGLProgram* s_pShader = nullptr;
GLint s_nColorLocation = -1;
GLint s_nPointSizeLocation = -1;
GLfloat s_tColor[4] = {1.0f, 1.0f, 1.0f, 1.0f};
GLfloat s_fPointSize = 1.0f;

// Everything a point draw needs before its attribute pointer; false when the program is missing.
bool prepareDraw() {
    ktDrawInit();
    if (!s_pShader) return false;
    ktGLEnableVertexAttribs(kKTVertexAttribFlag_Position);
    s_pShader->use();
    s_pShader->setUniformsForBuiltins();
    s_pShader->setUniformLocationWith4fv(s_nColorLocation, s_tColor, 1);
    s_pShader->setUniformLocationWith1f(s_nPointSizeLocation, s_fPointSize);
    ktGLClientVertexPointers();
    return true;
}

}  // namespace

void ktDrawInit() {
    if (s_bInitialized) return;
    s_pShader = KTShaderCache::sharedShaderCache()->programForKey(kKTShader_Position_uColor);
    if (!s_pShader) {
        plat::logError("ktDrawInit: the program %s is missing", kKTShader_Position_uColor);
        return;
    }
    s_pShader->retain();
    s_nColorLocation = s_pShader->getUniformLocationForName("u_color");
    s_nPointSizeLocation = s_pShader->getUniformLocationForName("u_pointSize");
    s_bInitialized = true;
}

void ktDrawFree() {
    KT_SAFE_RELEASE_NULL(s_pShader);
    s_bInitialized = false;
}

void ktDrawColor4B(GLubyte r, GLubyte g, GLubyte b, GLubyte a) {
    s_tColor[0] = r / 255.0f;
    s_tColor[1] = g / 255.0f;
    s_tColor[2] = b / 255.0f;
    s_tColor[3] = a / 255.0f;
}

void ktPointSize(GLfloat pointSize) {
    s_fPointSize = pointSize * KTDirector::sharedDirector()->getContentScaleFactor();
}

void ktDrawPoint(const KTPoint& point) {
    if (!prepareDraw()) return;
    const GLfloat vertex[2] = {point.x, point.y};
    glVertexAttribPointer(kKTVertexAttrib_Position, 2, GL_FLOAT, GL_FALSE, 0, vertex);
    glDrawArrays(GL_POINTS, 0, 1);
    ++g_drawCallCount;
}

void ktDrawPoints(const KTPoint* points, unsigned int numberOfPoints) {
    if (!prepareDraw()) return;
    static_assert(sizeof(KTPoint) == 2 * sizeof(GLfloat), "points are handed to GL as packed float pairs");
    if (!points) numberOfPoints = 0;
    glVertexAttribPointer(kKTVertexAttrib_Position, 2, GL_FLOAT, GL_FALSE, 0, points);
    glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(numberOfPoints));
    ++g_drawCallCount;
}

}  // namespace kite
