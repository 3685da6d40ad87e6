#pragma once
// One OpenGL ES 2.0 program: compiles its shaders behind the engine's uniform header, binds attribute
// names to fixed indices, finds the built-in uniforms and skips uniform uploads that would change nothing.
#include <GLES2/gl2.h>

#include <cstddef>

#include "kite/base/KTObject.h"
#include "kite/matrix/KTMatrixStack.h"

namespace kite {

struct KTUniformCacheEntry;

// Fixed attribute indices shared by every program and every draw.
enum {
    kKTVertexAttrib_Position = 0,
    kKTVertexAttrib_Color = 1,
    kKTVertexAttrib_TexCoords = 2,
    kKTVertexAttrib_MAX = 3,
};

// Built-in uniforms, indexing the program's location table.
enum {
    kKTUniformPMatrix = 0,
    kKTUniformMVMatrix = 1,
    kKTUniformMVPMatrix = 2,
    kKTUniformTime = 3,
    kKTUniformSinTime = 4,
    kKTUniformCosTime = 5,
    kKTUniformRandom01 = 6,
    kKTUniformSampler = 7,
    kKTUniform_MAX = 8,
};

inline constexpr const char* kKTShader_PositionTextureColor = "ShaderPositionTextureColor";
inline constexpr const char* kKTShader_PositionTextureColorAlphaTest = "ShaderPositionTextureColorAlphaTest";
inline constexpr const char* kKTShader_PositionColor = "ShaderPositionColor";
inline constexpr const char* kKTShader_PositionTexture = "ShaderPositionTexture";
inline constexpr const char* kKTShader_PositionTexture_uColor = "ShaderPositionTexture_uColor";
inline constexpr const char* kKTShader_PositionTextureA8Color = "ShaderPositionTextureA8Color";
inline constexpr const char* kKTShader_Position_uColor = "ShaderPosition_uColor";
inline constexpr const char* kKTShader_PositionLengthTextureColor = "ShaderPositionLengthTextureColor";
inline constexpr const char* kKTShader_ControlSwitch = "Shader_ControlSwitch";

inline constexpr const char* kKTUniformPMatrix_s = "KT_PMatrix";
inline constexpr const char* kKTUniformMVMatrix_s = "KT_MVMatrix";
inline constexpr const char* kKTUniformMVPMatrix_s = "KT_MVPMatrix";
inline constexpr const char* kKTUniformTime_s = "KT_Time";
inline constexpr const char* kKTUniformSinTime_s = "KT_SinTime";
inline constexpr const char* kKTUniformCosTime_s = "KT_CosTime";
inline constexpr const char* kKTUniformRandom01_s = "KT_Random01";
inline constexpr const char* kKTUniformSampler_s = "KT_Texture0";
inline constexpr const char* kKTUniformAlphaTestValue = "KT_alpha_value";

inline constexpr const char* kKTAttributeNameColor = "a_color";
inline constexpr const char* kKTAttributeNamePosition = "a_position";
inline constexpr const char* kKTAttributeNameTexCoord = "a_texCoord";

class KTGLProgram : public KTObject {
  public:
    KTGLProgram();
    ~KTGLProgram() override;

    // Compiles each source that is given and attaches it. A shader that does not compile stops the program.
    bool initWithVertexShaderSource(const GLchar* vShaderSource, const GLchar* fShaderSource);
    // Binds an attribute name to an index; only effective before link.
    void addAttribute(const char* attributeName, GLuint index);
    // Links and drops the shader objects. Link status is not checked.
    bool link();
    // Finds the built-in uniforms, makes the program current and points the sampler at unit 0.
    void updateUniforms();
    void use();

    GLint getUniformLocationForName(const char* name) const;
    GLint getUniformLocation(int builtin) const { return m_uUniforms[builtin]; }
    GLuint getProgram() const { return m_uProgram; }
    bool usesTime() const { return m_bUsesTime; }

    void setUniformLocationWith1i(GLint location, GLint i1);
    void setUniformLocationWith1f(GLint location, GLfloat f1);
    void setUniformLocationWith4f(GLint location, GLfloat f1, GLfloat f2, GLfloat f3, GLfloat f4);
    void setUniformLocationWith4fv(GLint location, const GLfloat* floats, unsigned int numberOfArrays);
    void setUniformLocationWithMatrix4fv(GLint location, const GLfloat* matrixArray,
                                         unsigned int numberOfMatrices);
    // Projection, model-view and their product from the matrix stacks; time and random values when used.
    void setUniformsForBuiltins();
    // The built-ins for vertices already multiplied by the model-view matrix: the projection, an identity
    // model-view, the projection again as their product. Costs nothing while the projection is unchanged
    // since the last call and the program uses neither time nor random values.
    void setUniformsForBuiltinsWithoutModelview();
    // Whether setUniformsForBuiltinsWithoutModelview would send nothing now.
    bool eyeSpaceUniformsCurrent() const {
        return m_uEyeSpaceProjection == mxGLProjectionVersion() && !m_bUsesTime &&
               m_uUniforms[kKTUniformRandom01] == -1;
    }
    // Whether vertices may be sent already multiplied by the model-view matrix and drawn with
    // setUniformsForBuiltinsWithoutModelview: the program reads no model-view matrix of its own.
    bool acceptsEyeSpaceVertices() const { return m_uUniforms[kKTUniformMVMatrix] == -1; }

    // Whether the bytes differ from what was last sent to the location (and remembers them when they do).
    bool updateUniformLocation(GLint location, const void* data, size_t bytes);

  private:
    bool compileShader(GLuint* shader, GLenum type, const GLchar* source);
    void setTimeAndRandomUniforms();

    GLuint m_uProgram = 0;
    GLuint m_uVertShader = 0;
    GLuint m_uFragShader = 0;
    GLint m_uUniforms[kKTUniform_MAX] = {};
    KTUniformCacheEntry* m_pHashForUniforms = nullptr;
    bool m_bUsesTime = false;
    // The projection version (mxGLProjectionVersion) whose matrices setUniformsForBuiltinsWithoutModelview
    // last sent; 0 once any matrix uniform was sent otherwise.
    unsigned long long m_uEyeSpaceProjection = 0;
};

}  // namespace kite
