// Passes the quad through the fixed-function transform and hands its
// texture coordinates to the fragment program.
void main()
{
    gl_TexCoord[0] = gl_MultiTexCoord0;
    gl_Position = ftransform();
}
