// The pictures and splines of examples/effects: a starry backdrop with a
// bright sun, a logo and an orb that move over it, a tile for the fog
// tunnel, and one caption per effect.
#include <cmath>
#include <cstdio>

#include "tools/assetgen/assetgen.h"

static void loadingScreens()
{
    Canvas back = canvas_new(256, 128, white);
    canvas_vertical_gradient(&back, {0.02f, 0.02f, 0.05f, 1}, {0.15f, 0.05f, 0.1f, 1});
    text(&back, "EFFECTS", 36, 128, 64, {0.35f, 0.2f, 0.3f, 1});
    save(back, "images/loading_back.tga");

    Canvas front = canvas_new(256, 128, white);
    canvas_vertical_gradient(&front, {0.9f, 0.5f, 0.2f, 1}, {0.6f, 0.1f, 0.4f, 1});
    text(&front, "EFFECTS", 36, 128, 64, white);
    save(front, "images/loading_front.tga");
}

// Dark sky, a faint grid, stars and a bright sun: sharp edges for the
// blurs, bright spots for the glows.
static void backdrop()
{
    Canvas sky = canvas_new(256, 256, white);
    canvas_vertical_gradient(&sky, {0.02f, 0.03f, 0.15f, 1}, {0.35f, 0.1f, 0.3f, 1});
    canvas_grid(&sky, 32, 1, {0.3f, 0.5f, 0.9f, 0.35f});
    for (int star = 0; star < 80; star++) {
        float x = nextRandom() * 256, y = nextRandom() * 256, size = 0.8f + nextRandom() * 1.8f;
        canvas_disc(&sky, x, y, size, size, {1, 1, 0.9f, 0.6f + nextRandom() * 0.4f});
    }
    canvas_disc(&sky, 176, 150, 34, 10, {1.0f, 0.75f, 0.35f, 1});
    canvas_disc(&sky, 176, 150, 22, 4, {1, 0.97f, 0.85f, 1});
    save(sky, "images/backdrop.jpg");
}

static void sprites()
{
    Canvas logo = canvas_new(256, 64, clear);
    text(&logo, "GLIMRA", 50, 128, 30, {0.3f, 0.8f, 1.0f, 0.5f});
    text(&logo, "GLIMRA", 46, 128, 30, white);
    save(logo, "images/logo.tga");

    Canvas orb = canvas_new(64, 64, clear);
    canvas_disc(&orb, 32, 32, 30, 24, {0.4f, 0.8f, 1.0f, 1});
    canvas_disc(&orb, 32, 32, 8, 6, {1, 1, 1, 1});
    save(orb, "images/orb.tga");

    // Framed tiles read as separate steps of the fog tunnel.
    Canvas tile = canvas_new(64, 64, white);
    canvas_vertical_gradient(&tile, {1.0f, 0.6f, 0.2f, 1}, {0.9f, 0.2f, 0.5f, 1});
    canvas_ring(&tile, 32, 32, 18, 5, white);
    for (int i = 0; i < 64; i++) {
        for (int edge : {0, 1, 2, 61, 62, 63}) {
            canvas_blend(&tile, i, edge, white, 1);
            canvas_blend(&tile, edge, i, white, 1);
        }
    }
    save(tile, "images/tile.jpg");
}

struct Caption {
    const char *file;
    const char *words;
};

static const Caption effectCaptions[] = {
    {"images/caption_inverse.tga", "efxInverse: colours inverted"},
    {"images/caption_blackwhite.tga", "efxBlackWhite: fading to grey"},
    {"images/caption_fader.tga", "efxFader: a white flash fading out"},
    {"images/caption_color.tga", "efxColor: the colour for later sections"},
    {"images/caption_fog.tga", "efxFog: fog on pictures in depth"},
    {"images/caption_viewport.tga", "efxViewport: a smaller viewport after it"},
    {"images/caption_accum.tga", "efxAccum: the screen over itself"},
    {"images/caption_boxblur.tga", "efxBoxBlur: radius from a spline"},
    {"images/caption_motionblur.tga", "efxMotionBlur: the last frames trail"},
    {"images/caption_motionblur_accum.tga", "efxMotionBlurAccum: accum buffer trail"},
    {"images/caption_glow.tga", "efxGlow: bright parts glow"},
    {"images/caption_glow2.tga", "efxGlow2: glow from a formula"},
    {"images/caption_highpass.tga", "efxHighPassFilter: only bright parts"},
    {"images/caption_radialblur.tga", "efxRadialBlur: zoom to a moving centre"},
    {"images/caption_radialblur2.tga", "efxRadialBlur2: zoom from a formula"},
    {"images/caption_radialglow.tga", "efxRadialGlow: rays from bright parts"},
};

// White words with a dark shadow, legible over any effect.
static void captions()
{
    for (const Caption &caption : effectCaptions) {
        Canvas canvas = canvas_new(512, 32, clear);
        text(&canvas, caption.words, 17, 257.5f, 17.5f, {0, 0, 0, 0.9f});
        text(&canvas, caption.words, 17, 256, 16, white);
        save(canvas, caption.file);
    }
}

// To four decimals: spline readers take plain decimals, not exponents.
static float rounded(float value)
{
    return std::round(value * 10000) / 10000 + 0.0f;
}

// Keys for the 40 seconds of the effects: the logo drifts on a figure of
// eight, the orb swings faster across it.
static Keys loopKeys(int count, float scale, float radiusX, float radiusY, float turns,
                     float spin)
{
    Keys keys;
    for (int i = 0; i < count; i++) {
        float a = turns * 6.2831853f * i / (count - 1);
        keys.push_back({scale, scale, rounded(spin * std::sin(a)), rounded(radiusX * std::sin(a)),
                        rounded(radiusY * std::sin(2 * a))});
    }
    return keys;
}

static void splines()
{
    spline("splines/logo_path.spl", "image2D: scale x y, rotation, translation x y",
           loopKeys(33, 0.35f, 0.55f, 0.3f, 4, 8));
    spline("splines/orb_path.spl", "image2D: scale x y, rotation, translation x y",
           loopKeys(81, 0.45f, 1.0f, 0.5f, 16, 0));
    spline("splines/caption.spl",
           "image2D: scale x y, rotation, translation x y (the view is 2.67 x 2 units)",
           {{0.14f, 0.14f, 0, 0, -0.85f}, {0.14f, 0.14f, 0, 0, -0.85f}});
    spline("splines/fog_camera.spl",
           "camera: eye x y z, angles x y z, target x y z, fov, near, far",
           {{0, 0.5f, 6, 0, 0, 0, 0, 0, -10, 60, 0.1f, 200},
            {1, -0.3f, 4, 0, 0, 0, 0, 0, -10, 60, 0.1f, 200}});
    spline("splines/tunnel_base.spl",
           "imageMatrix first copy: scale x y z, rotation x y z, translation x y z",
           {{0.03f, 0.03f, 0.03f, 0, 0, 0, 0, 0, 0}, {0.03f, 0.03f, 0.03f, 0, 0, 90, 0, 0, 0}});
    spline("splines/tunnel_step.spl",
           "imageMatrix from copy to copy: scale x y z, rotation x y z, translation x y z",
           {{1, 1, 1, 0, 0, 20, 40, 0, -60}, {1, 1, 1, 0, 0, 28, 40, 0, -60}});
    spline("splines/viewport_rect.spl",
           "efxViewport: x y width height, fractions of the window",
           {{0, 0.2f, 1, 0.8f}, {0.3f, 0.3f, 0.4f, 0.5f}, {0.05f, 0.35f, 0.5f, 0.6f}});
    spline("splines/viewport_colour.spl", "efxViewport fill: red green blue alpha",
           {{0.1f, 0.1f, 0.3f, 1}, {0.3f, 0.05f, 0.2f, 1}});
    spline("splines/blur_radius.spl", "efxBoxBlur: radius in texels",
           {{0}, {6}, {20}, {6}, {0}});
}

void effectsAssets()
{
    loadingScreens();
    backdrop();
    sprites();
    captions();
    splines();
}
