#include "kite/gl/KTShaders.h"

namespace kite {

const char* const ktPositionTextureColor_vert = R"(
attribute vec4 a_position;
attribute vec2 a_texCoord;
attribute vec4 a_color;

#ifdef GL_ES
varying lowp vec4 v_fragmentColor;
varying mediump vec2 v_texCoord;
#else
varying vec4 v_fragmentColor;
varying vec2 v_texCoord;
#endif

void main()
{
	gl_Position = KT_MVPMatrix * a_position;
	v_fragmentColor = a_color;
	v_texCoord = a_texCoord;
}
)";

const char* const ktPositionTextureColor_frag = R"(
#ifdef GL_ES
precision lowp float;
#endif

varying vec4 v_fragmentColor;
varying vec2 v_texCoord;
uniform sampler2D KT_Texture0;

void main()
{
	gl_FragColor = v_fragmentColor * texture2D(KT_Texture0, v_texCoord);
}
)";

const char* const ktPositionTextureColorAlphaTest_frag = R"(
#ifdef GL_ES
precision lowp float;
#endif

varying vec4 v_fragmentColor;
varying vec2 v_texCoord;
uniform sampler2D KT_Texture0;
uniform float KT_alpha_value;

void main()
{
	vec4 texColor = texture2D(KT_Texture0, v_texCoord);
	// Cut-out sprites: everything at or below the threshold is left out entirely.
	if (texColor.a <= KT_alpha_value)
		discard;
	gl_FragColor = texColor * v_fragmentColor;
}
)";

const char* const ktPositionColor_vert = R"(
attribute vec4 a_position;
attribute vec4 a_color;

#ifdef GL_ES
varying lowp vec4 v_fragmentColor;
#else
varying vec4 v_fragmentColor;
#endif

void main()
{
	gl_Position = KT_MVPMatrix * a_position;
	v_fragmentColor = a_color;
}
)";

const char* const ktPositionColor_frag = R"(
#ifdef GL_ES
precision lowp float;
#endif

varying vec4 v_fragmentColor;

void main()
{
	gl_FragColor = v_fragmentColor;
}
)";

const char* const ktPositionTexture_vert = R"(
attribute vec4 a_position;
attribute vec2 a_texCoord;

#ifdef GL_ES
varying mediump vec2 v_texCoord;
#else
varying vec2 v_texCoord;
#endif

void main()
{
	gl_Position = KT_MVPMatrix * a_position;
	v_texCoord = a_texCoord;
}
)";

const char* const ktPositionTexture_frag = R"(
#ifdef GL_ES
precision lowp float;
#endif

varying vec2 v_texCoord;
uniform sampler2D KT_Texture0;

void main()
{
	gl_FragColor = texture2D(KT_Texture0, v_texCoord);
}
)";

const char* const ktPositionTexture_uColor_vert = R"(
attribute vec4 a_position;
attribute vec2 a_texCoord;

#ifdef GL_ES
varying mediump vec2 v_texCoord;
#else
varying vec2 v_texCoord;
#endif

void main()
{
	gl_Position = KT_MVPMatrix * a_position;
	v_texCoord = a_texCoord;
}
)";

const char* const ktPositionTexture_uColor_frag = R"(
#ifdef GL_ES
precision lowp float;
#endif

uniform vec4 u_color;
varying vec2 v_texCoord;
uniform sampler2D KT_Texture0;

void main()
{
	gl_FragColor = texture2D(KT_Texture0, v_texCoord) * u_color;
}
)";

const char* const ktPositionTextureA8Color_vert = R"(
attribute vec4 a_position;
attribute vec2 a_texCoord;
attribute vec4 a_color;

#ifdef GL_ES
varying lowp vec4 v_fragmentColor;
varying mediump vec2 v_texCoord;
#else
varying vec4 v_fragmentColor;
varying vec2 v_texCoord;
#endif

void main()
{
	gl_Position = KT_MVPMatrix * a_position;
	v_fragmentColor = a_color;
	v_texCoord = a_texCoord;
}
)";

const char* const ktPositionTextureA8Color_frag = R"(
#ifdef GL_ES
precision lowp float;
#endif

varying vec4 v_fragmentColor;
varying vec2 v_texCoord;
uniform sampler2D KT_Texture0;

void main()
{
	// Alpha-only textures (glyph masks) tint with the vertex colour.
	gl_FragColor = vec4(v_fragmentColor.rgb, v_fragmentColor.a * texture2D(KT_Texture0, v_texCoord).a);
}
)";

const char* const ktPosition_uColor_vert = R"(
attribute vec4 a_position;
uniform vec4 u_color;
uniform float u_pointSize;

#ifdef GL_ES
varying lowp vec4 v_fragmentColor;
#else
varying vec4 v_fragmentColor;
#endif

void main()
{
	gl_Position = KT_MVPMatrix * a_position;
	gl_PointSize = u_pointSize;
	v_fragmentColor = u_color;
}
)";

const char* const ktPosition_uColor_frag = R"(
#ifdef GL_ES
precision lowp float;
#endif

varying vec4 v_fragmentColor;

void main()
{
	gl_FragColor = v_fragmentColor;
}
)";

const char* const ktPositionColorLengthTexture_vert = R"(
#ifdef GL_ES
attribute mediump vec4 a_position;
attribute mediump vec2 a_texcoord;
attribute mediump vec4 a_color;

varying mediump vec4 v_color;
varying mediump vec2 v_texcoord;
#else
attribute vec4 a_position;
attribute vec2 a_texcoord;
attribute vec4 a_color;

varying vec4 v_color;
varying vec2 v_texcoord;
#endif

void main()
{
	v_color = vec4(a_color.rgb * a_color.a, a_color.a);
	v_texcoord = a_texcoord;
	gl_Position = KT_MVPMatrix * a_position;
}
)";

const char* const ktPositionColorLengthTexture_frag = R"(
#ifdef GL_ES
varying mediump vec4 v_color;
varying mediump vec2 v_texcoord;
#else
varying vec4 v_color;
varying vec2 v_texcoord;
#endif

void main()
{
	// Coordinates run from -1 to 1 across the quad: everything inside the unit circle is filled.
	gl_FragColor = v_color * step(0.0, 1.0 - length(v_texcoord));
}
)";

const char* const ktControlSwitch_frag = R"(
#ifdef GL_ES
precision lowp float;
#endif

varying vec4 v_fragmentColor;
varying vec2 v_texCoord;
uniform sampler2D u_texture;
uniform sampler2D u_mask;

void main()
{
	vec4 texColor = texture2D(u_texture, v_texCoord);
	vec4 maskColor = texture2D(u_mask, v_texCoord);
	vec4 finalColor = vec4(texColor.r, texColor.g, texColor.b, maskColor.a * texColor.a);
	gl_FragColor = v_fragmentColor * finalColor;
}
)";

}  // namespace kite
