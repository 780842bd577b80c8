// Feedback: the previous frame from capture buffer 2, faded and turned a
// little about a point, so what was drawn leaves trails.
uniform sampler2D previous; // "rtt2"
uniform float fade;         // kept per frame, 0 to 1
uniform vec2 rttScale;
uniform vec4 spin;          // centre x, y (0 to 1), scale, angle in radians

void main()
{
    vec2 uv = gl_TexCoord[0].xy / rttScale - spin.xy;
    float c = cos(spin.w), s = sin(spin.w);
    uv = vec2(c * uv.x - s * uv.y, s * uv.x + c * uv.y) / spin.z + spin.xy;
    vec3 colour = texture2D(previous, clamp(uv, 0.0, 1.0) * rttScale).rgb;
    gl_FragColor = vec4(colour * fade, 1.0);
}
