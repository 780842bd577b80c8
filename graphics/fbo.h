// Render targets: framebuffer objects (a colour texture and a depth buffer)
// and the capture textures frames are copied into.
#pragma once

#include <cstdint>

#include "graphics/video.h"

enum { MAX_FBOS = 256, RTT_BUFFER_COUNT = 10 };

struct Fbo {
    int32_t framebuffer;       // GL names; -1 until uploaded
    int32_t depthBuffer;
    int32_t texture;           // colour attachment
    int32_t width, height;
    uint32_t internalFormat, pixelFormat, pixelType;
    uint32_t target;
    int32_t flags;             // texture flags; only TEX_NO_MIPMAPS is applied
    uint32_t filter;           // GL_LINEAR with TEX_NO_MIPMAPS, else GL_NEAREST
    uint32_t wrap, envMode;    // derived, not applied
};

// Entries are appended and never reused. The caches are written by
// fbo_bind, fbo_unbind, fbo_upload and fbo_bind_texture (and forgotten by
// tex_bind); the capture textures by create_capture_buffers.
struct FboTable {
    Fbo *entries[MAX_FBOS];
    int32_t count;
    int32_t fboIndex[FBO_DEFINITION_COUNT]; // table index of definition N; 0 unconfigured
    int32_t boundFramebuffer;  // bound through fbo_bind; -1: the window
    int32_t boundTexture;      // bound through fbo_bind_texture; -1 unknown
    int32_t bindDepth;         // viewport pushes not yet popped
    int32_t screenTexture, screenTexture2;      // texture indices
    int32_t rttBuffer[RTT_BUFFER_COUNT];
};

extern FboTable fbos;

// The FBO at `index`, or null when there is none; operations given such an
// index do nothing.
Fbo *fbo_get(int index);

// A format name (any case: "RGBA", "RGB", "RGBA16F", "RGB16F", "RGBA32F",
// "RGB32F") to its GL values; false (and all three -1) for any other name.
bool fbo_format(const char *name, int32_t *internalFormat, int32_t *pixelFormat,
                int32_t *pixelType);

// An empty entry; -1 when the table is full.
int fbo_new();
int fbo_create(int width, int height, uint32_t internalFormat, uint32_t pixelFormat,
               uint32_t pixelType);
void fbo_properties(int index, int flags);

// Creates the framebuffer, depth renderbuffer and colour texture. While
// loading, `reuse` 1 skips an entry that already has them.
void fbo_upload(int index, int reuse);

// Makes the FBO the render target with a viewport of its size (pushed once
// per change of target); fbo_unbind returns to the window, however many
// binds came before, and pops one viewport.
void fbo_bind(int index);
void fbo_unbind();

// Binds the FBO's colour texture for drawing.
void fbo_bind_texture(int index);
void fbo_forget_texture();

// Copies the drawing rectangle into the texture bound on GL_TEXTURE_2D.
void copy_to_texture();

// The two screen textures, the ten rtt buffers and the configured FBOs.
void create_capture_buffers();
