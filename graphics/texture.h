// The texture table: image loading with detail reduction, created textures
// for frame copies, upload with memory accounting, binding with a cache.
// Textures are referred to everywhere by their index in the table.
#pragma once

#include <cstdint>

struct SDL_Surface;

enum { MAX_TEXTURES = 256 };

// Texture flags, combinable.
enum {
    TEX_NO_MIPMAPS = 1,        // minification GL_LINEAR instead of mipmapped
    TEX_CLAMP_TO_EDGE = 2,     // otherwise GL_REPEAT
    TEX_CLAMP = 4,             // clamped as well: the edge column repeats
    TEX_MODULATE = 8,          // environment GL_MODULATE instead of GL_REPLACE
    TEX_1D = 16,               // a GL_TEXTURE_1D
};

struct Texture {
    char *name;                // owned file path; null for created textures
    uint8_t *pixels;           // tightly packed rows of width * components bytes;
                               // owned by `surface` when there is one; null after upload
    SDL_Surface *surface;      // the decoded image while its pixels are in use
    int32_t glName;            // -1 until uploaded
    int32_t memory;            // bytes accounted at upload
    int32_t width, height;     // after reduction
    int32_t fileWidth, fileHeight;
    int32_t components;        // bytes per pixel
    uint32_t format;           // GL pixel format of `pixels`
    uint32_t target;           // GL_TEXTURE_2D or GL_TEXTURE_1D
    int32_t flags;
    uint32_t minFilter;
    uint32_t wrap;             // for S and T
    uint32_t envMode;
    int32_t created;           // 1: made by tex_create, never compressed
};

// Entries are appended and never reused; a deleted entry leaves a null slot.
// The bind cache is written by tex_bind, tex_upload and tex_reset_cache.
struct TextureTable {
    Texture *entries[MAX_TEXTURES];
    int32_t count;             // entries ever created
    int32_t boundName;         // GL name last bound by tex_bind; -1 unknown
    int32_t boundEnvMode;      // environment mode last set by tex_bind; -1 unknown
    int32_t normalizationCube; // GL name of the cube map; -1 until built
};

extern TextureTable textures;

// Largest texture side kept after loading: 128 << texture_detail (0 to 5;
// other values are taken as the nearest of the two).
extern int32_t texture_detail;

// The texture at `index`, or null when the index holds none (out of range,
// deleted, or the -1 of a failed load). Operations given such an index do
// nothing, so a demo in debug mode runs on past a texture that failed.
Texture *tex_get(int index);

// GL values the flag word selects; render targets derive theirs the same way.
uint32_t tex_flag_target(int flags);
uint32_t tex_flag_wrap(int flags);
uint32_t tex_flag_env_mode(int flags);

// An empty entry with flags 0 (mipmapped, repeat, replace); -1 when the
// table is full.
int tex_new();

void tex_properties(int index, int flags);

// Decodes an image file into a new entry, reduced to the detail limit.
// While loading, `reuse` 1 returns an entry of the same file (any letter
// case). -1 on failure (the entry of an unsupported depth stays).
int tex_load(const char *path, int reuse);

// An entry of zero-filled pixels that frame copies fill later; -1 when the
// size is not positive or too large.
int tex_create(int width, int height, uint32_t format, int components);

// Creates the GL texture and releases the pixels. While loading, `reuse` 1
// skips an entry that already has a GL texture.
void tex_upload(int index, int reuse);

void tex_bind(int index);
void tex_reset_cache();
void tex_delete(int index);

// Bytes accounted over all live entries.
int64_t tex_memory();

// Builds the normalisation cube map (32 x 32 per face) once, into
// textures.normalizationCube.
void tex_normalization_cube();
