// The recording GL entry points: a small software version of the matrix
// stacks and of glBegin/glEnd, enough for the drawing code under test.
#include "tests/support/gl_recorder.h"

#include <cmath>
#include <cstring>

GlRecorder glRecorder;

using Matrix = std::array<double, 16>;     // column-major, as GL keeps it

static const Matrix identity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

static std::vector<Matrix> modelviewStack = {identity}, projectionStack = {identity};
static GLenum matrixMode = GL_MODELVIEW;
static std::array<double, 4> currentColour = {1, 1, 1, 1};
static float currentU, currentV, currentLineWidth = 1, currentPointSize = 1;
static bool inside;

static std::vector<Matrix> &currentStack()
{
    return matrixMode == GL_PROJECTION ? projectionStack : modelviewStack;
}

// top = top * m, as every GL matrix operation multiplies on the right.
static void multiply(const Matrix &m)
{
    Matrix &top = currentStack().back();
    Matrix product = {};
    for (int column = 0; column < 4; column++) {
        for (int row = 0; row < 4; row++) {
            double sum = 0;
            for (int k = 0; k < 4; k++)
                sum += top[k * 4 + row] * m[column * 4 + k];
            product[column * 4 + row] = sum;
        }
    }
    top = product;
}

void GlRecorder::reset()
{
    primitives.clear();
    enabled = {GL_TEXTURE_2D, GL_DEPTH_TEST};
    textureImage = nullptr;
    modelviewStack = {identity};
    projectionStack = {identity};
    matrixMode = GL_MODELVIEW;
    currentColour = {1, 1, 1, 1};
    currentU = currentV = 0;
    currentLineWidth = currentPointSize = 1;
    inside = false;
}

void GlRecorder::setModelview(const Matrix &matrix)
{
    modelviewStack.back() = matrix;
}

int GlRecorder::modelviewDepth() const
{
    return static_cast<int>(modelviewStack.size()) - 1;
}

static std::vector<RecordedShape> cut(const std::vector<RecordedPrimitive> &primitives, GLenum mode,
                                      size_t corners)
{
    std::vector<RecordedShape> shapes;
    for (const RecordedPrimitive &primitive : primitives) {
        if (primitive.mode != mode)
            continue;
        for (size_t i = 0; i + corners <= primitive.vertices.size(); i += corners)
            shapes.push_back({primitive.lineWidth, {primitive.vertices.begin() + i,
                                                    primitive.vertices.begin() + i + corners}});
    }
    return shapes;
}

std::vector<RecordedShape> GlRecorder::quads() const
{
    return cut(primitives, GL_QUADS, 4);
}

std::vector<RecordedShape> GlRecorder::lines() const
{
    return cut(primitives, GL_LINES, 2);
}

static void vertex(double x, double y, double z)
{
    const Matrix &m = modelviewStack.back();
    RecordedVertex v = {m[0] * x + m[4] * y + m[8] * z + m[12],
                        m[1] * x + m[5] * y + m[9] * z + m[13],
                        m[2] * x + m[6] * y + m[10] * z + m[14],
                        currentU, currentV, currentColour};
    if (inside)
        glRecorder.primitives.back().vertices.push_back(v);
}

// ---------------------------------------------------------------------------
// The GL entry points

void glBegin(GLenum mode)
{
    inside = true;
    glRecorder.primitives.push_back({mode, currentLineWidth, currentPointSize, {}});
}

void glEnd()
{
    inside = false;
}

void glVertex3d(GLdouble x, GLdouble y, GLdouble z)
{
    vertex(x, y, z);
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    vertex(x, y, z);
}

void glVertex3fv(const GLfloat *v)
{
    vertex(v[0], v[1], v[2]);
}

void glTexCoord2f(GLfloat u, GLfloat v)
{
    currentU = u;
    currentV = v;
}

void glColor4dv(const GLdouble *c)
{
    currentColour = {c[0], c[1], c[2], c[3]};
}

void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a)
{
    currentColour = {r, g, b, a};
}

void glLineWidth(GLfloat width)
{
    currentLineWidth = width;
}

void glPointSize(GLfloat size)
{
    currentPointSize = size;
}

void glEnable(GLenum capability)
{
    glRecorder.enabled.insert(capability);
}

void glDisable(GLenum capability)
{
    glRecorder.enabled.erase(capability);
}

void glBlendFunc(GLenum, GLenum) {}
void glAlphaFunc(GLenum, GLclampf) {}
void glPixelStorei(GLenum, GLint) {}
void glBindTexture(GLenum, GLuint) {}
void glTexEnvi(GLenum, GLenum, GLint) {}
void glPolygonMode(GLenum, GLenum) {}

void glGetFloatv(GLenum name, GLfloat *values)
{
    const Matrix &m = name == GL_PROJECTION_MATRIX ? projectionStack.back() : modelviewStack.back();
    for (int i = 0; i < 16; i++)
        values[i] = static_cast<float>(m[i]);
}

void glGetTexImage(GLenum, GLint, GLenum format, GLenum, GLvoid *pixels)
{
    if (glRecorder.textureImage)
        glRecorder.textureImage(format, pixels);
}

void glMatrixMode(GLenum mode)
{
    matrixMode = mode;
}

void glPushMatrix()
{
    currentStack().push_back(currentStack().back());
}

void glPopMatrix()
{
    if (currentStack().size() > 1)
        currentStack().pop_back();
}

void glLoadIdentity()
{
    currentStack().back() = identity;
}

void glTranslated(GLdouble x, GLdouble y, GLdouble z)
{
    multiply({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1});
}

void glScaled(GLdouble x, GLdouble y, GLdouble z)
{
    multiply({x, 0, 0, 0, 0, y, 0, 0, 0, 0, z, 0, 0, 0, 0, 1});
}

void glRotated(GLdouble degrees, GLdouble x, GLdouble y, GLdouble z)
{
    const double length = std::sqrt(x * x + y * y + z * z);
    if (length == 0)
        return;
    x /= length, y /= length, z /= length;
    const double a = degrees * M_PI / 180, c = std::cos(a), s = std::sin(a), t = 1 - c;
    multiply({t * x * x + c, t * x * y + s * z, t * x * z - s * y, 0,
              t * x * y - s * z, t * y * y + c, t * y * z + s * x, 0,
              t * x * z + s * y, t * y * z - s * x, t * z * z + c, 0,
              0, 0, 0, 1});
}

void glOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble nearZ,
             GLdouble farZ)
{
    multiply({2 / (right - left), 0, 0, 0, 0, 2 / (top - bottom), 0, 0, 0, 0, -2 / (farZ - nearZ), 0,
              -(right + left) / (right - left), -(top + bottom) / (top - bottom),
              -(farZ + nearZ) / (farZ - nearZ), 1});
}
