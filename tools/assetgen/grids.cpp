// The grid scenes of the effects demo: a picture with straight lines and a
// centre mark, so that a deformation shows, captions naming the effects
// and the splines that drive them.
#include "tools/assetgen/assetgen.h"

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

void gridsAssets()
{
    gridPictures();
    gridSplines();
}
