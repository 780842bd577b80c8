// The texture table: loading, reduction, upload, binding, memory accounting
// and the normalisation cube map.
#include "graphics/texture.h"

#include <GL/glew.h>
#include <GL/glu.h>
#include <SDL/SDL.h>
#include <SDL/SDL_image.h>
#include <strings.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "graphics/fbo.h"
#include "graphics/image_size.h"
#include "graphics/math.h"
#include "graphics/video.h"
#include "kernel/demo.h"
#include "kernel/log.h"

TextureTable textures = {{}, 0, -1, -1, -1};
int32_t texture_detail = 5;

// Largest side of a created texture.
enum { MAX_IMAGE_SIDE = 16384 };

// The decoder's surfaces hold a row's byte count in 16 bits and the image's
// in a signed int; sizes beyond them would be allocated short and written
// past, so they are refused before decoding. Any other size is decoded and
// then reduced to the detail limit.
static const long maxDecodedRowBytes = 65535, maxDecodedBytes = INT_MAX;
enum { WIDEST_DECODED_PIXEL = 4 };      // bytes; rows are padded to 4 bytes

enum { CUBE_FACE_SIZE = 32 };

Texture *tex_get(int index)
{
    if (index < 0 || index >= textures.count)
        return nullptr;
    return textures.entries[index];
}

uint32_t tex_flag_wrap(int flags)
{
    // GL_CLAMP would blend the border colour into the edge texels and frame
    // every clamped picture in black: both clamping flags keep the edge texel.
    return flags & (TEX_CLAMP | TEX_CLAMP_TO_EDGE) ? GL_CLAMP_TO_EDGE : GL_REPEAT;
}

uint32_t tex_flag_env_mode(int flags)
{
    return flags & TEX_MODULATE ? GL_MODULATE : GL_REPLACE;
}

uint32_t tex_flag_target(int flags)
{
    return flags & TEX_1D ? GL_TEXTURE_1D : GL_TEXTURE_2D;
}

int tex_new()
{
    if (textures.count >= MAX_TEXTURES) {
        engineError("Too many textures (limited to %d)", MAX_TEXTURES);
        return -1;
    }
    Texture *texture = static_cast<Texture *>(calloc(1, sizeof(Texture)));
    texture->glName = -1;
    int index = textures.count++;
    textures.entries[index] = texture;
    tex_properties(index, 0);
    return index;
}

void tex_properties(int index, int flags)
{
    Texture *texture = tex_get(index);
    if (!texture)
        return;
    texture->flags = flags;
    texture->target = tex_flag_target(flags);
    texture->minFilter = flags & TEX_NO_MIPMAPS ? GL_LINEAR : GL_LINEAR_MIPMAP_NEAREST;
    texture->wrap = tex_flag_wrap(flags);
    texture->envMode = tex_flag_env_mode(flags);
}

// ---------------------------------------------------------------------------
// Loading

static int findLoadedTexture(const char *path)
{
    for (int index = 0; index < textures.count; index++) {
        const Texture *texture = textures.entries[index];
        if (texture && texture->name && strcasecmp(texture->name, path) == 0)
            return index;
    }
    return -1;
}

// Whether the decoder can hold a width x height image of its widest pixels.
static bool decodableSize(long width, long height)
{
    if (width < 1 || height < 1 || width > maxDecodedRowBytes / WIDEST_DECODED_PIXEL)
        return false;
    long rowBytes = (width * WIDEST_DECODED_PIXEL + 3) & ~3L;
    return height <= maxDecodedBytes / rowBytes;
}

// Decodes an image, refusing declared sizes that are empty or that the
// decoder cannot hold before it sees them. Null (with the reason in
// SDL_GetError) on failure.
static SDL_Surface *decodeImage(const char *path)
{
    long width, height;
    if (image_declared_size(path, &width, &height) && !decodableSize(width, height)) {
        char reason[64];        // SDL's own formatter knows no long integers
        snprintf(reason, sizeof(reason), "Unsupported image size %ld x %ld", width, height);
        SDL_SetError("%s", reason);
        return nullptr;
    }
    return IMG_Load(path);
}

// The GL pixel format of a 24- or 32-bit surface; false for other depths.
static bool surfaceFormat(const SDL_PixelFormat *pixelFormat, uint32_t *format)
{
    bool redFirst = pixelFormat->Rshift < pixelFormat->Bshift;
    switch (pixelFormat->BitsPerPixel) {
    case 24: *format = redFirst ? GL_RGB : GL_BGR_EXT; return true;
    case 32: *format = redFirst ? GL_RGBA : GL_BGRA_EXT; return true;
    default: return false;
    }
}

static int detailLimit()
{
    int detail = texture_detail < 0 ? 0 : texture_detail > 5 ? 5 : texture_detail;
    return 128 << detail;
}

// Gives the texture its own pixel buffer and releases the surface.
static void replacePixels(Texture *texture, uint8_t *pixels)
{
    if (texture->surface)
        SDL_FreeSurface(texture->surface);
    else
        free(texture->pixels);
    texture->surface = nullptr;
    texture->pixels = pixels;
}

// Decoders pad rows (to 4 bytes for 24-bit images); everything after
// loading takes rows as tightly packed, so padded rows are packed here.
static void packRows(Texture *texture)
{
    const SDL_Surface *surface = texture->surface;
    size_t rowBytes = static_cast<size_t>(texture->width) * texture->components;
    if (static_cast<size_t>(surface->pitch) == rowBytes)
        return;
    uint8_t *packed = static_cast<uint8_t *>(malloc(rowBytes * texture->height));
    const uint8_t *source = static_cast<const uint8_t *>(surface->pixels);
    for (int row = 0; row < texture->height; row++)
        memcpy(packed + row * rowBytes, source + static_cast<size_t>(row) * surface->pitch,
               rowBytes);
    replacePixels(texture, packed);
}

// Nearest-neighbour reduction: rows by integer division, columns stepped in
// 16.16 fixed point from half a step, so the sample is the middle of each
// span of source columns.
static uint8_t *reduceNearest(const uint8_t *source, int sourceWidth, int sourceHeight,
                              int components, int width, int height)
{
    size_t sourceRowBytes = static_cast<size_t>(sourceWidth) * components;
    size_t rowBytes = static_cast<size_t>(width) * components;
    uint8_t *reduced = static_cast<uint8_t *>(malloc(rowBytes * height));
    uint64_t step = (static_cast<uint64_t>(sourceWidth) << 16) / width;
    for (int row = 0; row < height; row++) {
        int64_t sourceRow = static_cast<int64_t>(row) * sourceHeight / height;
        const uint8_t *sourceLine = source + sourceRow * sourceRowBytes;
        uint8_t *line = reduced + row * rowBytes;
        uint64_t column = step / 2;
        for (int x = 0; x < width; x++, column += step)
            memcpy(line + x * components, sourceLine + (column >> 16) * components, components);
    }
    return reduced;
}

static void limitToDetail(Texture *texture)
{
    int limit = detailLimit();
    int width = texture->width < limit ? texture->width : limit;
    int height = texture->height < limit ? texture->height : limit;
    if (width == texture->width && height == texture->height)
        return;
    uint8_t *reduced = reduceNearest(texture->pixels, texture->width, texture->height,
                                     texture->components, width, height);
    replacePixels(texture, reduced);
    texture->width = width;
    texture->height = height;
}

int tex_load(const char *path, int reuse)
{
    if (demoSystem.state == 0 && reuse == 1) {
        int loaded = findLoadedTexture(path);
        if (loaded >= 0)
            return loaded;
    }
    SDL_Surface *surface = decodeImage(path);
    if (!surface) {
        engineError("Error loading '%s': %s", path, SDL_GetError());
        return -1;
    }
    if (surface->format->palette) {
        engineError("Unsupported paletted texture '%s'", path);
        SDL_FreeSurface(surface);
        return -1;
    }
    int index = tex_new();
    Texture *texture = tex_get(index);
    if (!texture) {
        SDL_FreeSurface(surface);
        return -1;
    }
    texture->name = strdup(path);
    texture->surface = surface;
    texture->pixels = static_cast<uint8_t *>(surface->pixels);
    texture->width = texture->fileWidth = surface->w;
    texture->height = texture->fileHeight = surface->h;
    texture->components = surface->format->BytesPerPixel;
    if (!surfaceFormat(surface->format, &texture->format)) {
        engineError("Unsupported format in '%s'", path);
        return -1;
    }
    packRows(texture);
    limitToDetail(texture);
    return index;
}

int tex_create(int width, int height, uint32_t format, int components)
{
    if (width < 1 || height < 1 || components < 1 || width > MAX_IMAGE_SIDE ||
        height > MAX_IMAGE_SIDE || components > 4) {
        engineError("tex_create: Unsupported texture size %d x %d x %d", width, height,
                    components);
        return -1;
    }
    int index = tex_new();
    Texture *texture = tex_get(index);
    if (!texture)
        return -1;
    size_t bytes = static_cast<size_t>(width) * height * components;
    texture->pixels = static_cast<uint8_t *>(calloc(bytes, 1));
    texture->width = texture->fileWidth = width;
    texture->height = texture->fileHeight = height;
    texture->format = format;
    texture->components = components;
    texture->created = 1;
    return index;
}

// ---------------------------------------------------------------------------
// Upload

static bool isPowerOfTwo(int size)
{
    return size >= 2 && (size & (size - 1)) == 0;
}

// Bytes the texture takes in GL: the mipmap chain down to (not including)
// 1 x 1 when mipmapped, else the base level.
static int64_t accountedMemory(const Texture *texture)
{
    int64_t width = texture->width, height = texture->height;
    if (texture->minFilter != GL_LINEAR_MIPMAP_NEAREST)
        return width * height * texture->components;
    int64_t bytes = 0;
    while (width > 1 || height > 1) {
        bytes += width * height * texture->components;
        width = width > 1 ? width / 2 : 1;
        height = height > 1 ? height / 2 : 1;
    }
    return bytes;
}

static GLint internalFormat(const Texture *texture)
{
    if (glCaps.textureCompression && !texture->created) {
        if (texture->components == 3)
            return GL_COMPRESSED_RGB_ARB;
        if (texture->components == 4)
            return GL_COMPRESSED_RGBA_ARB;
    }
    return texture->components;
}

static void uploadImage(const Texture *texture, const void *pixels)
{
    const GLenum type = GL_UNSIGNED_BYTE;
    bool mipmapped = texture->minFilter == GL_LINEAR_MIPMAP_NEAREST;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);     // rows are tightly packed
    if (texture->flags & TEX_1D) {
        glTexImage1D(GL_TEXTURE_1D, 0, texture->components, texture->width, 0, texture->format,
                     type, pixels);
    } else if (!isPowerOfTwo(texture->width) || !isPowerOfTwo(texture->height) ||
               (mipmapped && !glCaps.generateMipmap)) {
        // GLU also scales sizes that are not powers of two to ones that are.
        gluBuild2DMipmaps(GL_TEXTURE_2D, texture->components, texture->width, texture->height,
                          texture->format, type, pixels);
    } else {
        if (mipmapped)
            glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP_SGIS, GL_TRUE);
        glTexImage2D(GL_TEXTURE_2D, 0, internalFormat(texture), texture->width, texture->height,
                     0, texture->format, type, pixels);
    }
}

static void releasePixels(Texture *texture)
{
    replacePixels(texture, nullptr);
}

void tex_upload(int index, int reuse)
{
    Texture *texture = tex_get(index);
    if (!texture)
        return;
    if (demoSystem.state == 0 && reuse == 1 && texture->glName != -1)
        return;
    const char *name = texture->name ? texture->name : "";
    GLenum error = glGetError();
    if (error != GL_NO_ERROR)
        engineError("tex_upload: Error before upload texture '%s': %s", name,
                    gluErrorString(error));

    int64_t memory = accountedMemory(texture);
    texture->memory = memory > INT32_MAX ? INT32_MAX : static_cast<int32_t>(memory);
    GLuint glName;
    glGenTextures(1, &glName);
    texture->glName = static_cast<int32_t>(glName);
    glBindTexture(texture->target, glName);
    glTexParameteri(texture->target, GL_TEXTURE_MIN_FILTER, texture->minFilter);
    glTexParameteri(texture->target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(texture->target, GL_TEXTURE_WRAP_S, texture->wrap);
    glTexParameteri(texture->target, GL_TEXTURE_WRAP_T, texture->wrap);

    // Pixels released by an earlier upload are gone: a second upload gives
    // a blank texture of the same size instead of reading freed memory.
    void *blank = texture->pixels ? nullptr
                                  : calloc(static_cast<size_t>(texture->width) * texture->height *
                                               texture->components + 1, 1);
    uploadImage(texture, texture->pixels ? texture->pixels : blank);
    free(blank);

    error = glGetError();
    if (error != GL_NO_ERROR)
        engineError("tex_upload: Error uploading texture '%s': %s", name, gluErrorString(error));
    releasePixels(texture);
    tex_reset_cache();
}

// ---------------------------------------------------------------------------
// Binding, deletion, accounting

void tex_bind(int index)
{
    const Texture *texture = tex_get(index);
    if (!texture)
        return;
    if (texture->glName != textures.boundName) {
        glBindTexture(texture->target, texture->glName);
        textures.boundName = texture->glName;
        fbo_forget_texture();
    }
    if (static_cast<int32_t>(texture->envMode) != textures.boundEnvMode) {
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, texture->envMode);
        textures.boundEnvMode = static_cast<int32_t>(texture->envMode);
    }
}

void tex_reset_cache()
{
    textures.boundName = -1;
    textures.boundEnvMode = -1;
}

void tex_delete(int index)
{
    Texture *texture = tex_get(index);
    if (!texture)
        return;
    if (texture->glName != -1) {
        GLuint glName = texture->glName;
        glDeleteTextures(1, &glName);
    }
    releasePixels(texture);
    free(texture->name);
    free(texture);
    textures.entries[index] = nullptr;
}

int64_t tex_memory()
{
    int64_t total = 0;
    for (int index = 0; index < textures.count; index++) {
        if (const Texture *texture = textures.entries[index])
            total += texture->memory;
    }
    return total;
}

// ---------------------------------------------------------------------------
// Normalisation cube map: each texel holds the unit vector from the cube's
// centre through it, packed as colour (0.5 + 0.5 * v).

struct CubeFace {
    GLenum target;
    // The texel's vector from a = i + 0.5 - 16 (row) and b = j + 0.5 - 16.
    void (*vector)(float a, float b, float *v);
};

static const CubeFace cubeFaces[] = {
    {GL_TEXTURE_CUBE_MAP_POSITIVE_X_ARB, [](float a, float b, float *v) { v[0] = 16; v[1] = -a; v[2] = -b; }},
    {GL_TEXTURE_CUBE_MAP_NEGATIVE_X_ARB, [](float a, float b, float *v) { v[0] = -16; v[1] = -a; v[2] = b; }},
    {GL_TEXTURE_CUBE_MAP_POSITIVE_Y_ARB, [](float a, float b, float *v) { v[0] = b; v[1] = 16; v[2] = a; }},
    {GL_TEXTURE_CUBE_MAP_NEGATIVE_Y_ARB, [](float a, float b, float *v) { v[0] = b; v[1] = -16; v[2] = -a; }},
    {GL_TEXTURE_CUBE_MAP_POSITIVE_Z_ARB, [](float a, float b, float *v) { v[0] = b; v[1] = -a; v[2] = 16; }},
    {GL_TEXTURE_CUBE_MAP_NEGATIVE_Z_ARB, [](float a, float b, float *v) { v[0] = -b; v[1] = -a; v[2] = -16; }},
};

static void fillCubeFace(const CubeFace &face)
{
    static uint8_t texels[CUBE_FACE_SIZE][CUBE_FACE_SIZE][3];
    const float half = CUBE_FACE_SIZE / 2;
    for (int i = 0; i < CUBE_FACE_SIZE; i++) {
        for (int j = 0; j < CUBE_FACE_SIZE; j++) {
            float v[3];
            face.vector(i + 0.5f - half, j + 0.5f - half, v);
            Vector3 direction = {v[0], v[1], v[2]};
            vec_normalize(&direction);
            const float components[3] = {direction.x, direction.y, direction.z};
            for (int c = 0; c < 3; c++)
                texels[i][j][c] = static_cast<uint8_t>((components[c] * 0.5f + 0.5f) * 255.0f);
        }
    }
    glTexImage2D(face.target, 0, GL_RGBA8, CUBE_FACE_SIZE, CUBE_FACE_SIZE, 0, GL_RGB,
                 GL_UNSIGNED_BYTE, texels);
}

void tex_normalization_cube()
{
    if (textures.normalizationCube != -1)
        return;
    GLuint glName;
    glGenTextures(1, &glName);
    textures.normalizationCube = static_cast<int32_t>(glName);
    glBindTexture(GL_TEXTURE_CUBE_MAP_ARB, glName);
    for (const CubeFace &face : cubeFaces)
        fillCubeFace(face);
    glTexParameteri(GL_TEXTURE_CUBE_MAP_ARB, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP_ARB, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    tex_reset_cache();
}
