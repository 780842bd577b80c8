// glimra-assetgen: writes the example demos' pictures (TGA and JPEG) and
// spline files under a data directory. Everything is computed, so running
// it again gives the same files.
//
//   glimra-assetgen DATA_DIRECTORY [SET]
//
// SET is "showcase" (the default: the showcase demo's files) or "grids"
// (the grid scenes of the effects demo, under grids/).
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/assetgen/canvas.h"

static const Colour white = {1, 1, 1, 1}, clear = {0, 0, 0, 0};

static std::string dataDirectory;
static bool failed = false;

static std::string pathOf(const char *name)
{
    return dataDirectory + "/" + name;
}

static void save(const Canvas &canvas, const char *name)
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

static void text(Canvas *canvas, const char *words, int pixels, float cx, float cy, Colour colour)
{
    if (!canvas_text(canvas, words, pixels, cx, cy, colour)) {
        fprintf(stderr, "cannot set text: DejaVu Sans Bold is missing\n");
        failed = true;
    }
}

// A fixed pseudo-random sequence, 0 to 1, so the stars land in the same
// places on every run.
static float nextRandom()
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

static void caption(const char *name, const char *words, int width = 256)
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

using Keys = std::vector<std::vector<float>>;

// One key per line; the engine spreads the keys evenly over the time the
// script gives the spline.
static void spline(const char *name, const char *comment, const Keys &keys)
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

// ---------------------------------------------------------------------------
// The grid scenes: a picture with straight lines and a centre mark, so a
// deformation shows, captions naming the effects and the splines that
// drive them.

static void gridPictures()
{
    Canvas board = canvas_new(256, 256, white);
    canvas_vertical_gradient(&board, {0.95f, 0.55f, 0.15f, 1}, {0.35f, 0.1f, 0.45f, 1});
    canvas_grid(&board, 32, 3, {0.05f, 0.05f, 0.15f, 0.8f});
    canvas_ring(&board, 128, 128, 60, 6, white);
    canvas_disc(&board, 128, 128, 14, 4, {0.2f, 0.9f, 1.0f, 1});
    text(&board, "GRIDS", 36, 128, 210, white);
    save(board, "grids/board.jpg");

    caption("grids/caption_deform.tga", "efxDeform: a spline patch", 512);
    caption("grids/caption_swirl.tga", "efxSwirl: a whirl", 512);
    caption("grids/caption_mesh.tga", "efxRenderMesh: modes 3, 4, 6, 8", 512);
    caption("grids/caption_mesh2.tga", "efxRenderMesh2: a formula", 512);
    caption("grids/caption_repeat.tga", "efxRepeat: inverse on the beat", 512);
}

static void gridSplines()
{
    spline("grids/caption.spl", "image2D: scale x y, rotation, translation x y",
           {{0.1f, 0.1f, 0, 0, -0.88f}, {0.1f, 0.1f, 0, 0, -0.88f}});
    // efxDeform on a 4 x 4 grid: each spline moves one inner control point
    // by an offset in window pixels.
    const char *deform = "efxDeform: control point i j, offset x y z (pixels)";
    spline("grids/deform_a.spl", deform,
           {{1, 1, 0, 0, 0}, {1, 1, 90, 60, 0}, {1, 1, -60, 40, 0}, {1, 1, 0, 0, 0}});
    spline("grids/deform_b.spl", deform,
           {{2, 2, 0, 0, 0}, {2, 2, -80, -50, 0}, {2, 2, 70, -30, 0}, {2, 2, 0, 0, 0}});
    spline("grids/deform_c.spl", deform,
           {{1, 2, 0, 0, 0}, {1, 2, 40, -70, 0}, {1, 2, -50, 50, 0}, {1, 2, 0, 0, 0}});
    spline("grids/swirl.spl", "efxSwirl: centre x y, radius (window fractions), strength",
           {{0.5f, 0.5f, 0.45f, 0},
            {0.5f, 0.5f, 0.45f, 7},
            {0.4f, 0.6f, 0.4f, -5},
            {0.5f, 0.5f, 0.45f, 0}});
}

int main(int argc, char **argv)
{
    const std::string set = argc == 3 ? argv[2] : "showcase";
    if ((argc != 2 && argc != 3) || (set != "showcase" && set != "grids")) {
        fprintf(stderr, "usage: %s DATA_DIRECTORY [showcase|grids]\n", argv[0]);
        return 2;
    }
    dataDirectory = argv[1];
    if (set == "grids") {
        mkdir(pathOf("grids").c_str(), 0755);
        gridPictures();
        gridSplines();
        return failed ? 1 : 0;
    }
    mkdir(pathOf("images").c_str(), 0755);
    mkdir(pathOf("splines").c_str(), 0755);
    loadingScreens();
    backgrounds();
    sprites();
    captions();
    splines();
    return failed ? 1 : 0;
}
