#pragma once
// Sources of the engine's built-in GL programs. The uniform header and precision line are prepended by
// KTGLProgram when compiling, so these texts only declare what is particular to each program.

namespace kite {

extern const char* const ktPositionTextureColor_vert;
extern const char* const ktPositionTextureColor_frag;
extern const char* const ktPositionTextureColorAlphaTest_frag;
extern const char* const ktPositionColor_vert;
extern const char* const ktPositionColor_frag;
extern const char* const ktPositionTexture_vert;
extern const char* const ktPositionTexture_frag;
extern const char* const ktPositionTexture_uColor_vert;
extern const char* const ktPositionTexture_uColor_frag;
extern const char* const ktPositionTextureA8Color_vert;
extern const char* const ktPositionTextureA8Color_frag;
extern const char* const ktPosition_uColor_vert;
extern const char* const ktPosition_uColor_frag;
extern const char* const ktPositionColorLengthTexture_vert;
extern const char* const ktPositionColorLengthTexture_frag;
extern const char* const ktControlSwitch_frag;

}  // namespace kite
