// Recording speed. A bare loop draws one textured 640 x 480 quad, reads the
// pixels back and writes each frame as a raw TGA with one fwrite; the engine
// records a demo whose only section draws the same picture as a background,
// once raw and once with compress_tga 1. Both sides run here, in one run, on
// the display in DISPLAY (Xvfb with llvmpipe).
//
// Both sides are timed the same way, by the modification times of their
// frame files from frame WARM_UP to the last, which leaves out the engine's
// start-up and loading and its first frames. Each side
// keeps its best of a few runs, which take turns, as the machine is shared.
#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL/SDL.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "graphics/video.h"
#include "kernel/capture.h"
#include "kernel/demo.h"

enum { WIDTH = 640, HEIGHT = 480, PICTURE = 256, WARM_UP = 20, FRAMES = 320, TRIES = 7 };

static const char *const ENGINE = GLIMRA_BINARY_DIR "/glimra";
static const int FRAME_BYTES = 18 + WIDTH * HEIGHT * 3;

// Like a demo frame: a smooth gradient over the upper half, flat blocks of
// colour below, so the run-length encoder meets both kinds of stretch.
static std::vector<uint8_t> picture()
{
    std::vector<uint8_t> pixels;
    for (int y = 0; y < PICTURE; y++) {
        for (int x = 0; x < PICTURE; x++) {
            bool flat = y < PICTURE / 2;   // rows are bottom first
            int block = (x / 64 + y / 64) % 3;
            pixels.push_back(flat ? 200 * (block == 0) : x);
            pixels.push_back(flat ? 180 * (block == 1) : y);
            pixels.push_back(flat ? 160 * (block == 2) : 255 - x);
        }
    }
    return pixels;
}

static void writePictureFile(const std::string &path, int width, int height, uint8_t grey)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3, grey);
    writeTGA(path.c_str(), pixels.data(), width, height, 0);
}

// A run directory that shows the picture as a background for `frames`
// frames at 25 frames per second.
static void writeDemo(const std::string &run, int frames, int compress)
{
    mkdir(run.c_str(), 0755);
    mkdir((run + "/data").c_str(), 0755);
    mkdir((run + "/data/fonts").c_str(), 0755);
    mkdir((run + "/video").c_str(), 0755);
    std::vector<uint8_t> pixels = picture();
    writeTGA((run + "/data/picture.tga").c_str(), pixels.data(), PICTURE, PICTURE, 0);
    writePictureFile(run + "/data/loading.tga", 64, 64, 40);
    writePictureFile(run + "/data/fonts/font.tga", 256, 256, 255);
    FILE *script = fopen((run + "/data/demo.glm").c_str(), "w");
    fprintf(script,
            "gl_panoramic 0\nsound 0\nrecord 1\nrecord_fps 25\ncompress_tga %d\n"
            "demo_end %f\n"
            "[loading]\nstart 0\nend 0.001\nstring data/loading.tga\nstring data/loading.tga\n"
            "param 1 1 1 1  0.1 0.1 0.9 0.15  1 1 1 0.5  0.09 0.09 0.91 0.16  0.005\n"
            "[background]\nstart 0\nend 1000\nstring data/picture.tga\n",
            compress, (frames - 0.5) / 25.0);
    fclose(script);
}

static std::string frameName(const std::string &run, int frame)
{
    char name[32];
    snprintf(name, sizeof(name), "/video/%08d.tga", frame);
    return run + name;
}

// Every run writes new files: replacing the files of the run before would
// charge it for their removal.
static void removeFrames(const std::string &run)
{
    for (int frame = 0; frame < FRAMES; frame++)
        unlink(frameName(run, frame).c_str());
}

static double modified(const std::string &run, int frame)
{
    struct stat info;
    if (stat(frameName(run, frame).c_str(), &info) != 0) {
        fprintf(stderr, "frame %d was not recorded\n", frame);
        exit(1);
    }
    return info.st_mtim.tv_sec + info.st_mtim.tv_nsec * 1e-9;
}

// Frames per second between the files of frame WARM_UP and the last frame.
// (File times are as coarse as the kernel's clock tick, a few
// milliseconds, so single frames cannot be timed this way.)
static double filesFps(const std::string &run)
{
    return (FRAMES - 1 - WARM_UP) / (modified(run, FRAMES - 1) - modified(run, WARM_UP));
}

static double engineFps(const std::string &run, int compress)
{
    writeDemo(run, FRAMES, compress);
    removeFrames(run);
    std::string command = "cd '" + run + "' && '" + ENGINE + "' . >/dev/null 2>&1";
    if (system(command.c_str()) != 0) {
        fprintf(stderr, "the engine failed: %s\n", command.c_str());
        exit(1);
    }
    struct stat info;
    if (compress == 0 && (stat(frameName(run, FRAMES - 1).c_str(), &info) != 0 ||
                          info.st_size != FRAME_BYTES)) {
        fprintf(stderr, "the engine did not record %d frames\n", FRAMES);
        exit(1);
    }
    return filesFps(run);
}

// Stored and filtered as the engine stores its pictures: mipmapped, linear,
// and compressed where the driver offers it (on llvmpipe the texture fetch
// then costs more than the rest of the quad), so that both sides draw the
// same and the ratio shows what recording costs.
static GLuint uploadPicture()
{
    std::vector<uint8_t> pixels = picture();
    GLuint texture;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    GLint format = glCaps.textureCompression ? GL_COMPRESSED_RGB_ARB : GL_RGB;
    if (glCaps.generateMipmap) {
        glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP_SGIS, GL_TRUE);
        glTexImage2D(GL_TEXTURE_2D, 0, format, PICTURE, PICTURE, 0, GL_RGB, GL_UNSIGNED_BYTE,
                     pixels.data());
    } else {
        gluBuild2DMipmaps(GL_TEXTURE_2D, format, PICTURE, PICTURE, GL_RGB, GL_UNSIGNED_BYTE,
                          pixels.data());
    }
    return texture;
}

static void drawQuad()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0); glVertex2f(-1, -1);
    glTexCoord2f(1, 0); glVertex2f(1, -1);
    glTexCoord2f(1, 1); glVertex2f(1, 1);
    glTexCoord2f(0, 1); glVertex2f(-1, 1);
    glEnd();
}

// The engine's own window and context (the same visual, depth buffer and
// swap settings); everything after that is the bare loop's.
static void openWindow()
{
    gl_defaults();
    glConfig.gl_panoramic = 0;
    replaceString(&demoSystem.demo_name, "bench_recording");
    if (!gl_init()) {
        fprintf(stderr, "no window: %s\n", SDL_GetError());
        exit(1);
    }
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, uploadPicture());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
}

// The bare loop, its files written under `run`/video.
static double bareFps(const std::string &run)
{
    std::vector<uint8_t> file(FRAME_BYTES, 0);
    file[2] = 2;
    file[12] = WIDTH & 0xff;
    file[13] = WIDTH >> 8;
    file[14] = HEIGHT & 0xff;
    file[15] = HEIGHT >> 8;
    file[16] = 24;
    removeFrames(run);
    for (int frame = 0; frame < FRAMES; frame++) {
        drawQuad();
        glReadPixels(0, 0, WIDTH, HEIGHT, GL_BGR, GL_UNSIGNED_BYTE, file.data() + 18);
        FILE *out = fopen(frameName(run, frame).c_str(), "wb");
        fwrite(file.data(), 1, file.size(), out);
        fclose(out);
        SDL_GL_SwapBuffers();
    }
    return filesFps(run);
}

int main()
{
    if (!getenv("DISPLAY")) {
        fprintf(stderr, "bench_recording needs a display (run it under Xvfb)\n");
        return 1;
    }
    // In memory where the machine has it: the disk's write-back of earlier
    // runs would otherwise slow down whichever run comes next.
    char scratch[] = "/dev/shm/bench-recording-XXXXXX";
    char fallback[] = "/tmp/bench-recording-XXXXXX";
    const char *made = mkdtemp(scratch);
    if (!made)
        made = mkdtemp(fallback);
    if (!made)
        return 1;
    std::string run = std::string(made) + "/run";
    writeDemo(run, 1, 0);
    openWindow();
    // The runs take turns, so that a busy spell of the machine slows all
    // sides alike.
    double bare = 0, raw = 0, rle = 0;
    for (int i = 0; i < TRIES; i++) {
        bare = std::max(bare, bareFps(run));
        raw = std::max(raw, engineFps(run, 0));
        rle = std::max(rle, engineFps(run, 1));
    }
    gl_shutdown();
    system(("rm -rf '" + std::string(made) + "'").c_str());

    printf("Recording 640 x 480 frames (frames %d to %d timed, best of %d runs)\n", WARM_UP,
           FRAMES - 1, TRIES);
    printf("%-36s %10s %8s\n", "", "frames/s", "ratio");
    printf("%-36s %10.1f %8s\n", "bare loop: draw, read, one fwrite", bare, "1.00");
    printf("%-36s %10.1f %8.2f\n", "engine, raw TGA", raw, raw / bare);
    printf("%-36s %10.1f %8.2f\n", "engine, compress_tga 1", rle, rle / bare);
    return 0;
}
