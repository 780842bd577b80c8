// Model speed: frames per second of a torus of 50 000 triangles in four
// render modes at 640 x 480, drawn polygon by polygon in immediate mode
// against vertex-array batches; and milliseconds to load it from 3DS and
// LWO2 against reading the file's bytes. Needs a display (Xvfb will do).
#include <GL/glew.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "graphics/camera.h"
#include "graphics/video.h"
#include "kernel/demo.h"
#include "kernel/script.h"
#include "models/layers.h"
#include "models/model.h"
#include "platform/platform.h"
#include "tools/modelgen/modelgen.h"

using Clock = std::chrono::steady_clock;

static void quiet(PlatformChannel, const char *) {}

static double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

static void writeFile(const std::string &path, const std::string &bytes)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (!file || fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        fprintf(stderr, "bench_models: cannot write %s\n", path.c_str());
        exit(1);
    }
    fclose(file);
}

// A 64 x 64 uncompressed true-colour TGA of a checkerboard.
static std::string checkerTga()
{
    std::string image(18, '\0');
    image[2] = 2;
    image[12] = 64;
    image[14] = 64;
    image[16] = 24;
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++) {
            char shade = ((x / 8 + y / 8) % 2) ? '\xE0' : '\x40';
            image += std::string{shade, '\x80', '\xFF'};
        }
    return image;
}

// Milliseconds per call of `work`, the best of `rounds`.
template <typename Work>
static double bestMilliseconds(int rounds, Work work)
{
    double best = 1e30;
    for (int i = 0; i < rounds; i++) {
        Clock::time_point start = Clock::now();
        work();
        double ms = secondsSince(start) * 1000.0;
        best = ms < best ? ms : best;
    }
    return best;
}

static void benchReaders(const std::string &directory)
{
    printf("%-8s %12s %12s %8s\n", "reader", "load ms", "bytes ms", "ratio");
    for (const char *name : {"torus.3ds", "torus.lwo"}) {
        std::string path = directory + "/" + name;
        double bytes = bestMilliseconds(10, [&] { free(loadFile(path.c_str())); });
        double load = bestMilliseconds(10, [&] { freeModel(loadModel(path.c_str(), 0)); });
        printf("%-8s %12.2f %12.2f %8.1f\n", name + 6, load, bytes, load / bytes);
    }
}

static double framesPerSecond(Model3ds *model, const Layer *layer, int immediate)
{
    modelDrawImmediate = immediate;
    auto frame = [&] {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glTranslatef(0, 0, -8);
        glRotatef(60, 1, 0, 0);
        drawWithLayers(model, layer, 0);
        gl_swap();
    };
    frame();
    glFinish();
    int frames = 0;
    Clock::time_point start = Clock::now();
    while (frames < 5 || secondsSince(start) < 1.0) {
        frame();
        frames++;
    }
    glFinish();
    return frames / secondsSince(start);
}

// The machine may be shared: the two ways take turns for a few rounds and
// each keeps its best.
static void bestOfRounds(Model3ds *model, const Layer *layer, double *immediate, double *batched)
{
    *immediate = *batched = 0;
    for (int round = 0; round < 3; round++) {
        double fps = framesPerSecond(model, layer, 1);
        *immediate = fps > *immediate ? fps : *immediate;
        fps = framesPerSecond(model, layer, 0);
        *batched = fps > *batched ? fps : *batched;
    }
}

static void benchDrawing(const std::string &directory)
{
    gl_defaults();
    glConfig.gl_width = 640;
    glConfig.gl_height = 480;
    replaceString(&demoSystem.demo_name, "bench_models");
    demoSystem.state = 0;
    if (!gl_init()) {
        fprintf(stderr, "bench_models: no window\n");
        exit(1);
    }
    Model3ds *model = loadModel((directory + "/torus.3ds").c_str(), 0);
    model_upload_tex(model, (directory + "/").c_str());
    Camera *camera = camera_new();
    camera_set_position(camera, 0, 5, 10);
    demoSystem.currentCamera = camera;
    glViewport(0, 0, 640, 480);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(60, 640.0 / 480.0, 0.1, 100);
    glEnable(GL_DEPTH_TEST);
    printf("%-8s %12s %12s %8s\n", "mode", "immediate", "batched", "ratio");
    for (const char *mode : {"color", "shaded", "texture", "bump"}) {
        std::string text = std::string("{\nmode ") + mode + "\ncolor 1 1 1 1\ntexture " + directory +
                           "/torus.tga\n}\n";
        writeFile(directory + "/bench.rp", text);
        Layer *layer = loadLayers((directory + "/bench.rp").c_str());
        double immediate, batched;
        bestOfRounds(model, layer, &immediate, &batched);
        printf("%-8s %12.1f %12.1f %8.2f\n", mode, immediate, batched, batched / immediate);
        freeLayers(layer);
    }
    gl_shutdown();
}

int main()
{
    platformSetTap(quiet);
    demoSystem.debug = 1;
    char pattern[] = "/tmp/bench-models-XXXXXX";
    std::string directory = mkdtemp(pattern);
    // 250 x 100 cells of two triangles: 50 000 triangles, 25 351 vertices.
    modelgen::Shape torus = modelgen::torus(2.0f, 0.8f, 250, 100);
    writeFile(directory + "/torus.3ds", modelgen::write3ds(torus, "torus"));
    writeFile(directory + "/torus.lwo", modelgen::writeLwo2(torus));
    writeFile(directory + "/torus.tga", checkerTga());
    printf("torus: %zu triangles\n\n", torus.triangles.size() / 3);
    benchReaders(directory);
    printf("\n");
    benchDrawing(directory);
    std::string clean = "rm -rf " + directory;
    return system(clean.c_str()) == 0 ? 0 : 1;
}
