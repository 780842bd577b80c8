// Recording speed. A bare loop draws one textured 640 x 480 quad, reads the
// pixels back and writes each frame as a raw TGA with one fwrite; the engine
// records a demo whose only section draws the same picture as a background,
// once raw and once with compress_tga 1. Both sides run here, in one run, on
// the display in DISPLAY (Xvfb with llvmpipe).
//
// The engine's rate leaves out its start-up and loading: it is the frame
// difference of a short and a long recording over their time difference.
// Every time is the shortest of a few runs, as the machine is shared.
#include <GL/gl.h>
#include <SDL/SDL.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "kernel/capture.h"

enum { WIDTH = 640, HEIGHT = 480, PICTURE = 256, SHORT_RUN = 50, LONG_RUN = 350, TRIES = 5 };

static const char *const ENGINE = GLIMRA_BINARY_DIR "/glimra";
static const int FRAME_BYTES = 18 + WIDTH * HEIGHT * 3;

static double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

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
    for (int frame = 0; frame < LONG_RUN; frame++)
        unlink(frameName(run, frame).c_str());
}

static double engineSeconds(const std::string &run, int frames, int compress)
{
    writeDemo(run, frames, compress);
    removeFrames(run);
    std::string command = "cd '" + run + "' && '" + ENGINE + "' . >/dev/null 2>&1";
    auto start = std::chrono::steady_clock::now();
    if (system(command.c_str()) != 0) {
        fprintf(stderr, "the engine failed: %s\n", command.c_str());
        exit(1);
    }
    double seconds = secondsSince(start);
    struct stat info;
    if (stat(frameName(run, frames - 1).c_str(), &info) != 0 || (!compress && info.st_size != FRAME_BYTES)) {
        fprintf(stderr, "the engine did not record %d frames\n", frames);
        exit(1);
    }
    return seconds;
}

static GLuint uploadPicture()
{
    std::vector<uint8_t> pixels = picture();
    GLuint texture;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, PICTURE, PICTURE, 0, GL_RGB, GL_UNSIGNED_BYTE,
                 pixels.data());
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

static void openWindow()
{
    if (SDL_Init(SDL_INIT_VIDEO) != 0 || !SDL_SetVideoMode(WIDTH, HEIGHT, 0, SDL_OPENGL)) {
        fprintf(stderr, "no window: %s\n", SDL_GetError());
        exit(1);
    }
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, uploadPicture());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
}

// Seconds the bare loop takes for `frames` frames, written under `run`/video.
static double bareSeconds(const std::string &run, int frames)
{
    std::vector<uint8_t> file(FRAME_BYTES, 0);
    file[2] = 2;
    file[12] = WIDTH & 0xff;
    file[13] = WIDTH >> 8;
    file[14] = HEIGHT & 0xff;
    file[15] = HEIGHT >> 8;
    file[16] = 24;
    removeFrames(run);
    auto start = std::chrono::steady_clock::now();
    for (int frame = 0; frame < frames; frame++) {
        drawQuad();
        glReadPixels(0, 0, WIDTH, HEIGHT, GL_BGR, GL_UNSIGNED_BYTE, file.data() + 18);
        FILE *out = fopen(frameName(run, frame).c_str(), "wb");
        fwrite(file.data(), 1, file.size(), out);
        fclose(out);
        SDL_GL_SwapBuffers();
    }
    return secondsSince(start);
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
    // sides alike; each side keeps its shortest time.
    enum { BARE, RAW_SHORT, RAW_LONG, RLE_SHORT, RLE_LONG, SIDES };
    double best[SIDES];
    std::fill(best, best + SIDES, 1e9);
    for (int i = 0; i < TRIES; i++) {
        double times[SIDES] = {bareSeconds(run, LONG_RUN - SHORT_RUN),
                               engineSeconds(run, SHORT_RUN, 0), engineSeconds(run, LONG_RUN, 0),
                               engineSeconds(run, SHORT_RUN, 1), engineSeconds(run, LONG_RUN, 1)};
        for (int side = 0; side < SIDES; side++)
            best[side] = std::min(best[side], times[side]);
    }
    SDL_Quit();
    system(("rm -rf '" + std::string(made) + "'").c_str());
    double bare = (LONG_RUN - SHORT_RUN) / best[BARE];
    double raw = (LONG_RUN - SHORT_RUN) / (best[RAW_LONG] - best[RAW_SHORT]);
    double rle = (LONG_RUN - SHORT_RUN) / (best[RLE_LONG] - best[RLE_SHORT]);

    printf("Recording 640 x 480 frames (best of %d runs of %d frames)\n", TRIES,
           LONG_RUN - SHORT_RUN);
    printf("%-36s %10s %8s\n", "", "frames/s", "ratio");
    printf("%-36s %10.1f %8s\n", "bare loop: draw, read, one fwrite", bare, "1.00");
    printf("%-36s %10.1f %8.2f\n", "engine, raw TGA", raw, raw / bare);
    printf("%-36s %10.1f %8.2f\n", "engine, compress_tga 1", rle, rle / bare);
    return 0;
}
