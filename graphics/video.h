// The window, its OpenGL context and the video configuration.
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

// Video settings (written by the defaults and script lines) and the values
// derived from them when the window opens.
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
    int32_t letterboxHeight;
    float rttScaleU, rttScaleV;
};

extern GlConfig glConfig;

// Video settings to their defaults; the FBO definitions lose their sizes.
void gl_defaults();

// Shuts the SDL video subsystem down.
void gl_shutdown();
