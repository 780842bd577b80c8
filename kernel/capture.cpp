// TGA writing of what the window shows. Recorded frames are encoded and
// written on a writer thread, so that the disk and the run-length encoder
// work while the main thread draws the next frame.
#include "kernel/capture.h"

#include <GL/gl.h>
#include <fcntl.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "graphics/video.h"
#include "kernel/demo.h"

enum { TGA_HEADER_SIZE = 18, TGA_MAX_PACKET = 127, TGA_REPEAT_FLAG = 128 };

// Frames read and not yet written. Three buffers let the writer fall one
// frame behind now and then without stopping the drawing; more would only
// hold more memory.
enum { FRAME_BUFFERS = 3 };

using Bytes = std::vector<uint8_t>;

// One frame on its way to disk. The buffers keep their size from frame to
// frame, so recording allocates nothing once the first frames are written.
struct RecordedFrame {
    Bytes pixels;              // blue, green, red; bottom row first
    Bytes encoded;             // run-length output
    char fileName[32];
    int width, height, compress;
};

// The frames form a ring: `waiting` frames from `first` on belong to the
// writer, the others to the main thread.
struct Recorder {
    std::thread writer;
    std::mutex lock;
    std::condition_variable changed;
    RecordedFrame frames[FRAME_BUFFERS];
    int first, waiting;
    bool stopping;
    FILE *stream;              // the frame descriptor, or null for "video/"
    ~Recorder() { finishRecording(); }
};

static Recorder recorder;

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

// Alternates repeat packets (runs of equal pixels) and raw packets (pixels
// that differ from their successor); packets run on across rows. Every
// packet holds at least one pixel and adds one header byte, so `out` needs
// room for 4 bytes a pixel. Returns the bytes written.
static size_t encodeRunLength(const uint8_t *pixels, int count, uint8_t *out)
{
    uint8_t *next = out;
    int current = 0;
    while (current < count) {
        if (current + 1 < count && samePixel(pixels, current, current + 1)) {
            int run = 2;
            while (run < TGA_MAX_PACKET && current + run < count &&
                   samePixel(pixels, current, current + run))
                run++;
            *next++ = TGA_REPEAT_FLAG + run - 1;
            memcpy(next, pixels + 3 * current, 3);
            next += 3;
            current += run;
        }
        int rawStart = current, raw = 0;
        while (current < count && raw < TGA_MAX_PACKET &&
               (current + 1 >= count || !samePixel(pixels, current, current + 1))) {
            raw++;
            current++;
        }
        if (raw > 0) {
            *next++ = raw - 1;
            memcpy(next, pixels + 3 * rawStart, 3 * raw);
            next += 3 * raw;
        }
    }
    return next - out;
}

// Header and image data of pixels already in the file's order (blue, green,
// red); `encoded` is scratch room for the run-length output.
static void writeImage(FILE *file, const uint8_t *pixels, int width, int height, int compress,
                       Bytes &encoded)
{
    writeHeader(file, width, height, compress);
    size_t count = static_cast<size_t>(width) * height;
    if (compress) {
        encoded.resize(4 * count);
        fwrite(encoded.data(), 1, encodeRunLength(pixels, count, encoded.data()), file);
    } else {
        fwrite(pixels, 3, count, file);
    }
}

static void writeImageFile(const char *fileName, const uint8_t *pixels, int width, int height,
                           int compress, Bytes &encoded)
{
    FILE *file = fopen(fileName, "wb");
    if (!file)
        return;
    writeImage(file, pixels, width, height, compress, encoded);
    fclose(file);
}

void writeTGA(const char *fileName, uint8_t *pixels, int width, int height, int compress)
{
    FILE *file = fopen(fileName, "wb");
    if (!file)
        return;
    size_t count = static_cast<size_t>(width) * height;
    for (size_t i = 0; i < count; i++)
        std::swap(pixels[3 * i], pixels[3 * i + 2]);
    Bytes encoded;
    writeImage(file, pixels, width, height, compress, encoded);
    fclose(file);
}

// The window's colour buffer in the file's pixel order: reading blue, green,
// red straight from OpenGL saves a pass over every frame.
static void readWindow(Bytes &pixels)
{
    int width = glConfig.gl_width, height = glConfig.gl_height;
    pixels.resize(static_cast<size_t>(width) * height * 3);
    // Rows are packed tightly: the default alignment of 4 would pad rows of
    // widths that are not a multiple of 4 past the end of the buffer.
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_BGR, GL_UNSIGNED_BYTE, pixels.data());
}

void takeScreenshot()
{
    char name[16];
    for (int n = 0; n < 100; n++) {
        snprintf(name, sizeof(name), "screen%02d.tga", n);
        FILE *existing = fopen(name, "rb");
        if (!existing) {
            Bytes pixels, encoded;
            readWindow(pixels);
            writeImageFile(name, pixels.data(), glConfig.gl_width, glConfig.gl_height,
                           demoSystem.compress_tga, encoded);
            return;
        }
        fclose(existing);
    }
}

static void writeFrame(RecordedFrame &frame)
{
    if (recorder.stream) {
        writeImage(recorder.stream, frame.pixels.data(), frame.width, frame.height, frame.compress,
                   frame.encoded);
        // The reader on the other end sees each frame as soon as it is whole.
        fflush(recorder.stream);
    } else {
        writeImageFile(frame.fileName, frame.pixels.data(), frame.width, frame.height,
                       frame.compress, frame.encoded);
    }
}

// Writes the waiting frames oldest first until told to stop with none left.
static void writerLoop()
{
    std::unique_lock<std::mutex> guard(recorder.lock);
    for (;;) {
        recorder.changed.wait(guard, [] { return recorder.waiting > 0 || recorder.stopping; });
        if (recorder.waiting == 0)
            return;
        RecordedFrame &frame = recorder.frames[recorder.first];
        guard.unlock();
        writeFrame(frame);
        guard.lock();
        recorder.first = (recorder.first + 1) % FRAME_BUFFERS;
        recorder.waiting--;
        recorder.changed.notify_all();
    }
}

void recordFrame()
{
    std::unique_lock<std::mutex> guard(recorder.lock);
    if (!recorder.writer.joinable())
        recorder.writer = std::thread(writerLoop);
    recorder.changed.wait(guard, [] { return recorder.waiting < FRAME_BUFFERS; });
    RecordedFrame &frame =
        recorder.frames[(recorder.first + recorder.waiting) % FRAME_BUFFERS];
    guard.unlock();

    readWindow(frame.pixels);
    snprintf(frame.fileName, sizeof(frame.fileName), "video/%08d.tga", demoSystem.frameCount);
    frame.width = glConfig.gl_width;
    frame.height = glConfig.gl_height;
    frame.compress = demoSystem.compress_tga;

    guard.lock();
    recorder.waiting++;
    recorder.changed.notify_all();
}

bool recordToDescriptor(int fd)
{
    int mode = fcntl(fd, F_GETFL);
    if (mode < 0 || (mode & O_ACCMODE) == O_RDONLY)
        return false;
    recorder.stream = fdopen(fd, "wb");
    return recorder.stream != nullptr;
}

void finishRecording()
{
    {
        std::lock_guard<std::mutex> guard(recorder.lock);
        if (!recorder.writer.joinable())
            return;
        recorder.stopping = true;
        recorder.changed.notify_all();
    }
    recorder.writer.join();
    std::lock_guard<std::mutex> guard(recorder.lock);
    recorder.stopping = false;
    if (recorder.stream)
        fflush(recorder.stream);
}
