// The second scene's grade: the frame saved in capture buffer 2 with a
// lift, a vignette and moving grain from a picture.
uniform sampler2D frame;    // "rtt2"
uniform sampler2D grain;    // an image file
uniform float amount;       // grain strength
uniform vec2 rttScale;
uniform vec2 jitter;        // where the grain is read this frame
uniform vec3 lift;          // added to every colour
uniform vec4 vignette;      // centre x, y (0 to 1), inner and outer radius

void main()
{
    vec2 uv = gl_TexCoord[0].xy;
    vec2 screen = uv / rttScale;
    vec3 colour = texture2D(frame, uv).rgb + lift;
    float edge = 1.0 - smoothstep(vignette.z, vignette.w, distance(screen, vignette.xy));
    float noise = texture2D(grain, screen * 3.0 + jitter).r - 0.5;
    gl_FragColor = vec4(colour * edge + noise * amount, 1.0);
}
