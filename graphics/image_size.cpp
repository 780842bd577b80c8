// Declared image sizes from file headers, read through one bounded reader.
#include "graphics/image_size.h"

#include <strings.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The first bytes of a file: every read is checked against what was read.
struct HeaderBytes {
    uint8_t bytes[64 * 1024];
    size_t length;
};

static bool has(const HeaderBytes &header, size_t offset, size_t count)
{
    return offset <= header.length && count <= header.length - offset;
}

static long bigEndian16(const uint8_t *p) { return (p[0] << 8) | p[1]; }
static long littleEndian16(const uint8_t *p) { return p[0] | (p[1] << 8); }
static long bigEndian32(const uint8_t *p)
{
    return static_cast<long>((uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]);
}
static long littleEndian32(const uint8_t *p)
{
    return static_cast<int32_t>(p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24));
}

// The frame header of a JPEG: walk the marker segments up to the first
// start-of-frame marker (C0 to CF, except DHT C4, JPG C8 and DAC CC).
static bool jpegSize(const HeaderBytes &header, long *width, long *height)
{
    size_t position = 2;
    while (has(header, position, 4) && header.bytes[position] == 0xFF) {
        uint8_t marker = header.bytes[position + 1];
        size_t segmentLength = bigEndian16(header.bytes + position + 2);
        bool startOfFrame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 &&
                            marker != 0xC8 && marker != 0xCC;
        if (startOfFrame) {
            if (!has(header, position, 9))
                return false;
            *height = bigEndian16(header.bytes + position + 5);
            *width = bigEndian16(header.bytes + position + 7);
            return true;
        }
        position += 2 + segmentLength;
    }
    return false;
}

static bool hasExtension(const char *path, const char *extension)
{
    const char *dot = strrchr(path, '.');
    return dot && strcasecmp(dot + 1, extension) == 0;
}

static bool sizeFromHeader(const HeaderBytes &header, const char *path, long *width,
                           long *height)
{
    const uint8_t *b = header.bytes;
    if (has(header, 0, 2) && b[0] == 0xFF && b[1] == 0xD8)
        return jpegSize(header, width, height);
    if (has(header, 0, 24) && memcmp(b, "\x89PNG", 4) == 0) {
        *width = bigEndian32(b + 16);
        *height = bigEndian32(b + 20);
        return true;
    }
    if (has(header, 0, 26) && b[0] == 'B' && b[1] == 'M') {
        *width = littleEndian32(b + 18);
        *height = labs(littleEndian32(b + 22));    // negative: rows top-down
        return true;
    }
    if (has(header, 0, 18) && hasExtension(path, "tga")) {
        *width = littleEndian16(b + 12);
        *height = littleEndian16(b + 14);
        return true;
    }
    return false;
}

bool image_declared_size(const char *path, long *width, long *height)
{
    FILE *file = fopen(path, "rb");
    if (!file)
        return false;
    static HeaderBytes header;
    header.length = fread(header.bytes, 1, sizeof(header.bytes), file);
    fclose(file);
    return sizeFromHeader(header, path, width, height);
}
