// The window, its OpenGL context, the video configuration and the three
// steps that bracket every frame.
#pragma once

#include <cstdint>

enum { FBO_DEFINITION_COUNT = 20 };

// A render target the scripts configure with fbo_N_width, fbo_N_height and
// fbo_N_format; the GL values are looked up from the format name.
struct FboDefinition {
    int32_t width;
    int32_t height;
    char *format;              // owned; null when not set
    int32_t internalFormat;
    int32_t pixelFormat;
    int32_t pixelType;
};

// Video settings (written by gl_defaults and script lines, read only once
// the window is open, except gl_bpp, gl_multisampling and gl_lowquality,
// which gl_init corrects) and the values gl_init derives from them.
struct GlConfig {
    int32_t gl_fullscreen;
    int32_t gl_panoramic;
    int32_t gl_info;
    int32_t gl_width;
    int32_t gl_height;
    int32_t gl_bpp;
    int32_t gl_zbuffer;
    int32_t gl_stencil;
    int32_t gl_accum;
    int32_t gl_multisampling;
    int32_t gl_rttWidth;
    int32_t gl_rttHeight;
    int32_t gl_lowquality;
    float gl_gamma;
    FboDefinition fbo[FBO_DEFINITION_COUNT];

    float aspectRatio;         // width / height of the picture
    int32_t vpX, vpY;          // drawing rectangle, window pixels from lower left
    int32_t vpWidth, vpHeight;
    int32_t letterboxHeight;   // low quality: height of the stretched picture
    float rttScaleU, rttScaleV; // the part of a capture texture one frame fills
};

extern GlConfig glConfig;

// What the driver offers; written by gl_detect_caps only.
struct GlCaps {
    int32_t maxTextureSize;
    int32_t textureUnits;
    int32_t maxColorAttachments;
    int32_t maxDrawBuffers;
    int32_t multitexture;
    int32_t multisample;
    int32_t textureCompression;
    int32_t cubeMap;
    int32_t envAdd;
    int32_t envCombine;
    int32_t envDot3;
    int32_t shaders;           // 0: every GLSL operation of the sections is skipped
    int32_t anisotropic;
    int32_t compiledVertexArray;
    int32_t blendSubtract;
    int32_t generateMipmap;
    int32_t wglExtensionsString; // no window-system string on this platform: stays 0
    int32_t pbuffer;
};

extern GlCaps glCaps;

// Video settings to their defaults; the FBO definitions lose their sizes.
void gl_defaults();

// Opens the window and context, detects the driver, sets the default state,
// derives the drawing rectangle and creates the capture buffers. Returns
// false when the window could not be opened (only seen with debug set,
// since the failure is otherwise fatal).
bool gl_init();

// Whether `name` occurs anywhere in the driver's extension string (a plain
// substring search, as scripts and drivers have always been matched).
bool gl_has_extension(const char *name);

// Fills glCaps, traces them in debug runs and enforces the minimum driver.
void gl_detect_caps();

// Writes the driver's vendor, renderer, version and extensions.
void gl_driver_info();

// The engine's default GL state, then the drawing rectangle.
void gl_default_state();

// Viewport for drawing, optional clear (colour, depth, stencil if used),
// default state.
void gl_frame_begin(int clear);

// Finishes the picture on the window: the low-quality stretch, or the
// letterbox lines.
void gl_frame_end();

void gl_swap();

// Shuts the SDL video subsystem down.
void gl_shutdown();
