// A stand-in for the immediate-mode OpenGL calls that drawing code makes,
// for tests without a window. The test executable that links
// gl_recorder.cpp defines these GL entry points itself, so its calls reach
// them instead of the driver: they keep the two matrix stacks and record
// every primitive with its vertices in eye space (after the modelview
// matrix), with the colour, texture coordinate and widths then current.
// GL calls it does not define go to the driver, which without a context
// does nothing.
#pragma once

#include <GL/gl.h>

#include <array>
#include <functional>
#include <set>
#include <vector>

struct RecordedVertex {
    double x, y, z;            // eye space
    float u, v;
    std::array<double, 4> colour;
};

struct RecordedPrimitive {
    GLenum mode;
    float lineWidth, pointSize;
    std::vector<RecordedVertex> vertices;
};

// A line segment or a quad cut out of the recorded primitives.
struct RecordedShape {
    float lineWidth;
    std::vector<RecordedVertex> vertices;
};

struct GlRecorder {
    std::vector<RecordedPrimitive> primitives;
    std::set<GLenum> enabled;  // capabilities switched on and not off since reset
    // Called by glGetTexImage with the format and the place to fill; by
    // default the picture is all zero.
    std::function<void(GLenum format, void *pixels)> textureImage;

    // Identity matrices, nothing recorded, GL_TEXTURE_2D and GL_DEPTH_TEST on.
    void reset();
    // Replaces the top of the modelview stack (column-major).
    void setModelview(const std::array<double, 16> &matrix);
    // Every quad of the GL_QUADS primitives, and every segment of the
    // GL_LINES ones, in drawing order.
    std::vector<RecordedShape> quads() const;
    std::vector<RecordedShape> lines() const;
    // Modelview stack depth above the first entry (0 when balanced).
    int modelviewDepth() const;
};

extern GlRecorder glRecorder;
