// TGA writing of what the window shows.
#include "kernel/capture.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "graphics/video.h"
#include "kernel/demo.h"

enum { TGA_HEADER_SIZE = 18, TGA_MAX_PACKET = 127, TGA_REPEAT_FLAG = 128 };

static void writeHeader(FILE *file, int width, int height, int compress)
{
    uint8_t header[TGA_HEADER_SIZE] = {};
    header[2] = compress ? 10 : 2;
    header[12] = width & 0xff;
    header[13] = (width >> 8) & 0xff;
    header[14] = height & 0xff;
    header[15] = (height >> 8) & 0xff;
    header[16] = 24;
    fwrite(header, 1, sizeof(header), file);
}

static bool samePixel(const uint8_t *pixels, int a, int b)
{
    return memcmp(pixels + 3 * a, pixels + 3 * b, 3) == 0;
}

static void appendBgr(std::vector<uint8_t> &out, const uint8_t *pixel)
{
    out.push_back(pixel[2]);
    out.push_back(pixel[1]);
    out.push_back(pixel[0]);
}

// Alternates repeat packets (runs of equal pixels) and raw packets (pixels
// that differ from their successor); packets run on across rows.
static void writeRunLength(FILE *file, const uint8_t *pixels, int width, int height)
{
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    const int count = width * height;
    std::vector<uint8_t> out;
    out.reserve(rowBytes + 4 * TGA_MAX_PACKET);
    int current = 0;
    while (current < count) {
        if (current + 1 < count && samePixel(pixels, current, current + 1)) {
            int run = 1;
            while (run < TGA_MAX_PACKET && current + run < count &&
                   samePixel(pixels, current, current + run))
                run++;
            out.push_back(TGA_REPEAT_FLAG + run - 1);
            appendBgr(out, pixels + 3 * current);
            current += run;
        }
        int rawStart = current, raw = 0;
        while (current < count && raw < TGA_MAX_PACKET &&
               (current + 1 >= count || !samePixel(pixels, current, current + 1))) {
            raw++;
            current++;
        }
        if (raw > 0) {
            out.push_back(raw - 1);
            for (int i = rawStart; i < rawStart + raw; i++)
                appendBgr(out, pixels + 3 * i);
        }
        if (out.size() > rowBytes) {
            fwrite(out.data(), 1, out.size(), file);
            out.clear();
        }
    }
    fwrite(out.data(), 1, out.size(), file);
}

void writeTGA(const char *fileName, uint8_t *pixels, int width, int height, int compress)
{
    FILE *file = fopen(fileName, "wb");
    if (!file)
        return;
    writeHeader(file, width, height, compress);
    if (compress) {
        writeRunLength(file, pixels, width, height);
    } else {
        size_t count = static_cast<size_t>(width) * height;
        for (size_t i = 0; i < count; i++)
            std::swap(pixels[3 * i], pixels[3 * i + 2]);
        fwrite(pixels, 3, count, file);
    }
    fclose(file);
}

static std::vector<uint8_t> readWindow()
{
    int width = glConfig.gl_width, height = glConfig.gl_height;
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
    // Rows are packed tightly: the default alignment of 4 would pad rows of
    // widths that are not a multiple of 4 past the end of the buffer.
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

static void writeWindow(const char *fileName)
{
    std::vector<uint8_t> pixels = readWindow();
    writeTGA(fileName, pixels.data(), glConfig.gl_width, glConfig.gl_height,
             demoSystem.compress_tga);
}

void takeScreenshot()
{
    char name[16];
    for (int n = 0; n < 100; n++) {
        snprintf(name, sizeof(name), "screen%02d.tga", n);
        FILE *existing = fopen(name, "rb");
        if (!existing) {
            writeWindow(name);
            return;
        }
        fclose(existing);
    }
}

void recordFrame()
{
    char name[32];
    snprintf(name, sizeof(name), "video/%08d.tga", demoSystem.frameCount);
    writeWindow(name);
}
