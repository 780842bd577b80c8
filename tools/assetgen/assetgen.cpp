// glimra-assetgen: writes the example demos' pictures (TGA and JPEG) and
// spline files under a data directory: the showcase's (the default), the
// effects example's, its grid scenes' or the shaders example's. Everything
// is computed, so running it again gives the same files.
//
//   glimra-assetgen DATA_DIRECTORY [showcase|effects|grids|shaders]
#include "tools/assetgen/assetgen.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

static std::string dataDirectory;
static bool failed = false;

std::string pathOf(const char *name)
{
    return dataDirectory + "/" + name;
}

void save(const Canvas &canvas, const char *name)
{
    std::string path = pathOf(name);
    bool jpeg = path.size() > 4 && path.compare(path.size() - 4, 4, ".jpg") == 0;
    bool written = jpeg ? canvas_write_jpeg(canvas, path.c_str(), 90)
                        : canvas_write_tga(canvas, path.c_str(), true);
    if (!written) {
        fprintf(stderr, "cannot write '%s'\n", path.c_str());
        failed = true;
    }
}

void text(Canvas *canvas, const char *words, int pixels, float cx, float cy, Colour colour)
{
    if (!canvas_text(canvas, words, pixels, cx, cy, colour)) {
        fprintf(stderr, "cannot set text: DejaVu Sans Bold is missing\n");
        failed = true;
    }
}

float nextRandom()
{
    static uint32_t state = 12345;
    state = state * 1103515245u + 12345u;
    return static_cast<float>((state >> 8) & 0xFFFF) / 65535.0f;
}

// ---------------------------------------------------------------------------
// Pictures

static void loadingScreens()
{
    Canvas back = canvas_new(256, 128, white);
    canvas_vertical_gradient(&back, {0.02f, 0.02f, 0.08f, 1}, {0.08f, 0.05f, 0.2f, 1});
    text(&back, "GLIMRA", 40, 128, 64, {0.25f, 0.25f, 0.4f, 1});
    save(back, "images/loading_back.tga");

    Canvas front = canvas_new(256, 128, white);
    canvas_vertical_gradient(&front, {0.1f, 0.3f, 0.6f, 1}, {0.6f, 0.2f, 0.5f, 1});
    text(&front, "GLIMRA", 40, 128, 64, white);
    save(front, "images/loading_front.tga");
}

static void backgrounds()
{
    Canvas sky = canvas_new(256, 256, white);
    canvas_vertical_gradient(&sky, {0.03f, 0.02f, 0.12f, 1}, {0.85f, 0.35f, 0.2f, 1});
    for (int star = 0; star < 60; star++) {
        float x = nextRandom() * 256, y = nextRandom() * 140, size = 0.8f + nextRandom() * 1.5f;
        canvas_disc(&sky, x, y, size, size, {1, 1, 0.9f, 0.5f + nextRandom() * 0.5f});
    }
    save(sky, "images/sky.jpg");

    Canvas grid = canvas_new(256, 256, white);
    canvas_vertical_gradient(&grid, {0.0f, 0.08f, 0.1f, 1}, {0.02f, 0.2f, 0.25f, 1});
    canvas_grid(&grid, 32, 2, {0.2f, 0.8f, 0.9f, 0.6f});
    save(grid, "images/grid.jpg");
}

static void sprites()
{
    Canvas logo = canvas_new(256, 64, clear);
    text(&logo, "GLIMRA", 50, 128, 30, {0.3f, 0.8f, 1.0f, 0.5f});
    text(&logo, "GLIMRA", 46, 128, 30, white);
    save(logo, "images/logo.tga");

    Canvas orb = canvas_new(64, 64, clear);
    canvas_disc(&orb, 32, 32, 30, 24, {1.0f, 0.7f, 0.3f, 1});
    canvas_ring(&orb, 32, 32, 22, 3, {1, 1, 1, 0.8f});
    save(orb, "images/orb.tga");

    // The tile has a hue gradient and a border, so the copies of
    // imageMatrix read as separate tiles.
    Canvas tile = canvas_new(64, 64, white);
    canvas_vertical_gradient(&tile, {0.9f, 0.3f, 0.6f, 1}, {0.2f, 0.5f, 1.0f, 1});
    canvas_ring(&tile, 32, 32, 16, 4, white);
    for (int i = 0; i < 64; i++) {
        for (int edge : {0, 1, 62, 63}) {
            canvas_blend(&tile, i, edge, white, 1);
            canvas_blend(&tile, edge, i, white, 1);
        }
    }
    save(tile, "images/tile.jpg");

    Canvas banner = canvas_new(256, 64, white);
    canvas_vertical_gradient(&banner, {0.95f, 0.75f, 0.2f, 1}, {0.8f, 0.2f, 0.3f, 1});
    text(&banner, "IMAGE LAYERS", 30, 128, 32, {0.1f, 0.02f, 0.1f, 1});
    save(banner, "images/banner.jpg");
}

void caption(const char *name, const char *words, int width)
{
    Canvas canvas = canvas_new(width, 32, clear);
    text(&canvas, words, 18, width / 2.0f, 16, white);
    save(canvas, name);
}

static void captions()
{
    caption("images/caption_spline.tga", "placed by splines");
    caption("images/caption_formula.tga", "placed by formulas");
    caption("images/caption_camera.tga", "spline camera + formula");
    Canvas end = canvas_new(256, 128, clear);
    text(&end, "thank you", 40, 128, 48, white);
    text(&end, "made with glimra", 20, 128, 92, {0.6f, 0.8f, 1, 1});
    save(end, "images/caption_end.tga");
}

// ---------------------------------------------------------------------------
// Splines

void spline(const char *name, const char *comment, const Keys &keys)
{
    std::string path = pathOf(name);
    FILE *file = fopen(path.c_str(), "w");
    if (!file) {
        fprintf(stderr, "cannot write '%s'\n", path.c_str());
        failed = true;
        return;
    }
    fprintf(file, "; %s\n", comment);
    for (const std::vector<float> &key : keys) {
        for (size_t i = 0; i < key.size(); i++)
            fprintf(file, i ? " %g" : "%g", key[i]);
        fputc('\n', file);
    }
    fclose(file);
}

static void splines()
{
    spline("splines/camera_orbit.spl",
           "camera: eye x y z, angles x y z, target x y z, fov, near, far, roll",
           {{-4, 1.5f, 15, 0, 0, 0, 0, 1, 0, 60, 0.1f, 100, -4},
            {-1, 0.5f, 12, 0, 0, 0, 0, 1, 0, 60, 0.1f, 100, 0},
            {3, 1, 13, 0, 0, 0, 0, 1, 0, 60, 0.1f, 100, 3},
            {1, 2, 16, 0, 0, 0, 0, 1, 0, 60, 0.1f, 100, 0},
            {-2, 1, 14, 0, 0, 0, 0, 1, 0, 60, 0.1f, 100, -2}});
    spline("splines/camera_sweep.spl",
           "camera without roll: eye x y z, angles x y z, target x y z, fov, near, far",
           {{-7, 3, 12, 0, 0, 0, 0, 0, 0, 55, 0.1f, 100},
            {0, 1, 10, 0, 0, 0, 0, 0, 0, 55, 0.1f, 100},
            {6, -1, 12, 0, 0, 0, 0, 0, 0, 55, 0.1f, 100}});
    // image placement: scale first, so the translation is in scaled units
    // (texels of the picture): y 100 at scale 0.02 is 2 units up.
    spline("splines/logo_path.spl",
           "image: scale x y z, rotation x y z, translation x y z",
           {{0.02f, 0.02f, 0.02f, 0, 70, 0, 0, 500, 0},
            {0.02f, 0.02f, 0.02f, 0, 20, 0, 0, 160, 0},
            {0.02f, 0.02f, 0.02f, 0, 0, 0, 0, 100, 0},
            {0.02f, 0.02f, 0.02f, 0, 0, 0, 0, 100, 0},
            {0.02f, 0.02f, 0.02f, 0, -10, 0, 0, 110, 0}});
    spline("splines/banner.spl", "imagePart: scale x y z, rotation x y z, translation x y z",
           {{0.025f, 0.025f, 0.025f, 0, 0, 0, 0, 20, 0}, {0.025f, 0.025f, 0.025f, 0, 0, 0, 0, 20, 0}});
    spline("splines/matrix_base.spl",
           "imageMatrix first copy: scale x y z, rotation x y z, translation x y z",
           {{0.02f, 0.02f, 0.02f, 0, 0, 0, 0, 0, 0},
            {0.02f, 0.02f, 0.02f, 0, 0, 90, 0, 0, 0},
            {0.02f, 0.02f, 0.02f, 0, 0, 180, 0, 0, 0},
            {0.02f, 0.02f, 0.02f, 0, 0, 270, 0, 0, 0},
            {0.02f, 0.02f, 0.02f, 0, 0, 360, 0, 0, 0}});
    spline("splines/matrix_step.spl",
           "imageMatrix from copy to copy: scale x y z, rotation x y z, translation x y z",
           {{0.95f, 0.95f, 0.95f, 0, 0, 30, 80, 0, 0},
            {0.95f, 0.95f, 0.95f, 0, 20, 36, 80, 0, 0},
            {0.95f, 0.95f, 0.95f, 0, 0, 30, 80, 0, 0},
            {0.95f, 0.95f, 0.95f, 0, -20, 24, 80, 0, 0},
            {0.95f, 0.95f, 0.95f, 0, 0, 30, 80, 0, 0}});
    spline("splines/caption.spl",
           "image2D: scale x y, rotation, translation x y (the view is 3.2 x 2 units)",
           {{0.15f, 0.15f, 0, -3, -0.8f},
            {0.15f, 0.15f, 0, -0.9f, -0.8f},
            {0.15f, 0.15f, 0, -0.9f, -0.8f},
            {0.15f, 0.15f, 0, -0.9f, -0.8f},
            {0.15f, 0.15f, 0, -3.5f, -0.8f}});
    spline("splines/light_colour.spl",
           "light: ambient r g b, diffuse r g b, specular r g b",
           {{0.2f, 0.2f, 0.25f, 1, 0.9f, 0.8f, 1, 1, 1}, {0.2f, 0.2f, 0.25f, 0.8f, 0.9f, 1, 1, 1, 1}});
    spline("splines/light_direction.spl", "light: the direction it shines from, x y z",
           {{1, 1, 1}, {-1, 1, 1}});
}

// The pictures of the shaders example: a scene for the first FBO, rings
// for the nested one, a sprite for the feedback trails and a grain the
// colour grade samples.
static void shaderPictures()
{
    Canvas nebula = canvas_new(256, 256, white);
    canvas_vertical_gradient(&nebula, {0.02f, 0.03f, 0.1f, 1}, {0.25f, 0.05f, 0.3f, 1});
    for (int cloud = 0; cloud < 12; cloud++) {
        float x = nextRandom() * 256, y = nextRandom() * 256, radius = 30 + nextRandom() * 50;
        canvas_disc(&nebula, x, y, radius, radius, {0.3f + 0.5f * nextRandom(), 0.2f, 0.6f, 0.35f});
    }
    for (int star = 0; star < 80; star++) {
        float x = nextRandom() * 256, y = nextRandom() * 256, size = 0.8f + nextRandom() * 1.2f;
        canvas_disc(&nebula, x, y, size, size, {1, 1, 0.9f, 0.6f + nextRandom() * 0.4f});
    }
    save(nebula, "images/nebula.jpg");

    Canvas rings = canvas_new(256, 256, {0, 0, 0, 1});
    const Colour ringColours[] = {{0.1f, 0.8f, 1, 1}, {1, 0.5f, 0.1f, 1}, {0.9f, 0.2f, 0.6f, 1}};
    for (int ring = 0; ring < 9; ring++)
        canvas_ring(&rings, 128, 128, 14.0f + ring * 13.0f, 4, ringColours[ring % 3]);
    save(rings, "images/rings.jpg");

    Canvas title = canvas_new(256, 64, clear);
    text(&title, "SHADERS", 44, 128, 30, {1.0f, 0.6f, 0.2f, 0.5f});
    text(&title, "SHADERS", 40, 128, 30, white);
    save(title, "images/title.tga");

    Canvas spark = canvas_new(64, 64, clear);
    canvas_disc(&spark, 32, 32, 28, 26, {0.4f, 0.9f, 1.0f, 1});
    canvas_disc(&spark, 32, 32, 8, 6, white);
    save(spark, "images/spark.tga");

    Canvas grain = canvas_new(128, 128, white);
    for (int y = 0; y < 128; y++) {
        for (int x = 0; x < 128; x++) {
            float level = nextRandom();
            canvas_blend(&grain, x, y, {level, level, level, 1}, 1);
        }
    }
    save(grain, "images/grain.jpg");

    caption("images/caption_fbo.tga", "two FBOs, one program");
    caption("images/caption_feedback.tga", "capture buffer feedback");
}

static void shaderAssets()
{
    loadingScreens();
    shaderPictures();
}

static void showcaseAssets()
{
    loadingScreens();
    backgrounds();
    sprites();
    captions();
    splines();
}

// The picture sets by name, with the directories their files go to.
static const struct {
    const char *name;
    void (*write)();
    const char *directories[2];
} pictureSets[] = {
    {"showcase", showcaseAssets, {"images", "splines"}},
    {"effects", effectsAssets, {"images", "splines"}},
    {"grids", gridsAssets, {"grids", nullptr}},     // the effects demo's grid scenes
    {"shaders", shaderAssets, {"images", "splines"}},
};

int main(int argc, char **argv)
{
    const char *name = argc == 3 ? argv[2] : "showcase";
    const auto *chosen = &pictureSets[0];
    for (const auto &set : pictureSets)
        if (strcmp(set.name, name) == 0)
            chosen = &set;
    if (argc < 2 || argc > 3 || strcmp(chosen->name, name) != 0) {
        fprintf(stderr, "usage: %s DATA_DIRECTORY [showcase|effects|grids|shaders]\n", argv[0]);
        return 2;
    }
    dataDirectory = argv[1];
    for (const char *directory : chosen->directories)
        if (directory)
            mkdir(pathOf(directory).c_str(), 0755);
    chosen->write();
    return failed ? 1 : 0;
}
