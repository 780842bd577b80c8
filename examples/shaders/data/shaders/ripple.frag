// The first scene's composite: ripples the scene drawn into FBO 0, adds
// the rings drawn into FBO 1 and tints the result.
uniform sampler2D scene;    // "fbo0"
uniform sampler2D rings;    // "fbo1"
uniform float ripple;       // how far the ripples push, in texture units
uniform vec2 rttScale;      // the part of a texture one frame fills
uniform vec3 tint;
uniform vec4 wave;          // centre x, y (0 to 1), rings per unit, phase

void main()
{
    // renderFbo's quad reaches rttScale; the FBOs are filled whole.
    vec2 uv = gl_TexCoord[0].xy / rttScale;
    vec2 away = uv - wave.xy;
    float distance = length(away);
    vec2 push = ripple * sin(distance * wave.z - wave.w) * away / max(distance, 0.001);
    vec3 colour = texture2D(scene, uv + push).rgb + 0.45 * texture2D(rings, uv).rgb;
    gl_FragColor = vec4(colour * tint, 1.0);
}
