// Image layers: section types that put one picture on screen, full screen,
// in a 2D view or placed in the current camera's 3D view by a spline, a
// formula or the keyboard. The picture is an image file or one of the ten
// capture buffers a saveBuffer section filled.
#pragma once

// One corner of a textured quad.
struct ImageCorner {
    double u, v;               // texture coordinate; v = 0 is the picture's top row
    double x, y, z;            // position
};

enum { IMAGE_TOP_LEFT, IMAGE_TOP_RIGHT, IMAGE_BOTTOM_RIGHT, IMAGE_BOTTOM_LEFT, IMAGE_CORNERS };

// A picture as a quad centred on the origin of its placement.
struct ImageQuad {
    int texture;               // texture table index
    ImageCorner corners[IMAGE_CORNERS];   // in the order of the enum above
};

// A width x height quad centred on the origin in the z = 0 plane, showing
// the texture upright with its outer 1 % cut off.
void image_quad_init(ImageQuad *quad, int texture, int width, int height);

// Binds the texture and draws the quad in the current modelview space.
void image_quad_draw(const ImageQuad *quad);

// Spline `index` of currentSection at its time gives scale, rotation and
// translation, multiplied on in that order: what is drawn next is scaled
// and turned about the point it is moved to.
void splinePlacement(int index);

// Section operations; preload, init and end have nothing to do.
void backgroundLoad();
void backgroundExec();
void imageLoad();
void imageExec();
void image2Load();
void image2Exec();
void image2DLoad();
void image2DExec();
void imageMatrixLoad();
void imageMatrixExec();
void imagePartLoad();
void imagePartExec();
