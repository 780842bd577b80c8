// The window and its OpenGL context: opening, driver capabilities, the
// default state, the drawing rectangle and the frame brackets.
#include "graphics/video.h"

#include <GL/glew.h>
#include <GL/glu.h>
#include <SDL/SDL.h>

#include <cmath>
#include <cstring>
#include <string>

#include "graphics/fbo.h"
#include "graphics/texture.h"
#include "kernel/demo.h"
#include "kernel/log.h"
#include "platform/platform.h"

GlConfig glConfig;
GlCaps glCaps;

static const char separatorLine[] =
    "============================================================\n";

// The picture's aspect ratio with and without the letterbox.
static const float panoramicAspect = 1.6f;
static const float standardAspect = 1.3333334f;

void gl_defaults()
{
    glConfig.gl_fullscreen = 0;
    glConfig.gl_panoramic = 1;
    glConfig.gl_info = 0;
    glConfig.gl_width = 640;
    glConfig.gl_height = 480;
    glConfig.gl_bpp = 32;
    glConfig.gl_zbuffer = 16;
    glConfig.gl_stencil = 0;
    glConfig.gl_accum = 0;
    glConfig.gl_multisampling = 0;
    glConfig.gl_rttWidth = 1024;
    glConfig.gl_rttHeight = 512;
    glConfig.gl_lowquality = 0;
    glConfig.gl_gamma = 1.0f;
    glConfig.aspectRatio = panoramicAspect;
    for (FboDefinition &definition : glConfig.fbo) {
        definition.width = 0;
        definition.height = 0;
    }
}

// ---------------------------------------------------------------------------
// Opening the window

static void requestBuffers()
{
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, glConfig.gl_zbuffer);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, glConfig.gl_stencil);
    if (glConfig.gl_accum) {
        SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, 8);
        SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, 8);
    }
    // Setting 1 asks for 2 samples, 2 for 4; anything else for none.
    if (glConfig.gl_multisampling == 1 || glConfig.gl_multisampling == 2) {
        SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 1);
        SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, glConfig.gl_multisampling * 2);
    } else {
        glConfig.gl_multisampling = 0;
    }
}

static bool openVideoMode(const SDL_VideoInfo *info)
{
    Uint32 flags = SDL_OPENGL | SDL_HWSURFACE;
    if (glConfig.gl_fullscreen)
        flags |= SDL_FULLSCREEN;
    else
        glConfig.gl_bpp = info->vfmt->BitsPerPixel;    // a window takes the desktop's depth
    if (!SDL_SetVideoMode(glConfig.gl_width, glConfig.gl_height, glConfig.gl_bpp, flags)) {
        engineError("Set video mode failed: %s", SDL_GetError());
        return false;
    }
    return true;
}

static GLbitfield frameClearBits()
{
    GLbitfield bits = GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT;
    if (glConfig.gl_stencil > 0)
        bits |= GL_STENCIL_BUFFER_BIT;
    return bits;
}

// Derives the rectangle of the window every frame is drawn into. Panoramic
// pictures are letterboxed to the aspect ratio; low quality draws at the
// capture size and stretches the picture at frame end.
static void deriveDrawingRectangle()
{
    GlConfig &config = glConfig;
    int pictureHeight = static_cast<int>(ceilf(config.gl_width / config.aspectRatio));
    config.vpX = 0;
    if (config.gl_lowquality) {
        config.vpWidth = config.gl_rttWidth;
        config.vpHeight = config.gl_rttHeight;
        config.vpY = 0;
        config.letterboxHeight = pictureHeight;
        config.rttScaleU = config.rttScaleV = 1.0f;
        return;
    }
    config.vpWidth = config.gl_width;
    if (config.gl_panoramic) {
        config.vpHeight = pictureHeight;
        config.vpY = static_cast<int>((config.gl_height - config.vpHeight) * 0.5f);
    } else {
        config.vpHeight = config.gl_height;
        config.vpY = 0;
    }
    config.rttScaleU = static_cast<float>(config.vpWidth) / config.gl_rttWidth;
    config.rttScaleV = static_cast<float>(config.vpHeight) / config.gl_rttHeight;
}

// Steps up to the open window with its context; false after a failure.
static bool openWindow()
{
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        engineError("Video initialization failed: %s", SDL_GetError());
        return false;
    }
    const SDL_VideoInfo *info = SDL_GetVideoInfo();
    if (!info) {
        engineError("Get video info failed: %s", SDL_GetError());
        return false;
    }
    SDL_ShowCursor(demoSystem.debug ? 1 : 0);
    requestBuffers();
    SDL_WM_SetCaption(demoSystem.demo_name, nullptr);
    // Debug runs draw as fast as they can; demos wait for the retrace.
    if (!demoSystem.debug)
        SDL_GL_SetAttribute(SDL_GL_SWAP_CONTROL, 1);
    return openVideoMode(info);
}

bool gl_init()
{
    // Nothing below can work without a context, even when errors go on.
    if (!openWindow())
        return false;
    SDL_SetGamma(glConfig.gl_gamma, glConfig.gl_gamma, glConfig.gl_gamma);
    glClear(frameClearBits() | GL_ACCUM_BUFFER_BIT);

    gl_detect_caps();
    GLenum glewResult = glewInit();
    if (glewResult != GLEW_OK) {
        engineError("GLEW INIT failed: %s", glewGetErrorString(glewResult));
        return false;
    }
    if (glConfig.gl_info)
        gl_driver_info();
    gl_default_state();

    if (glConfig.gl_rttWidth < glConfig.gl_width || glConfig.gl_rttHeight < glConfig.gl_height)
        glConfig.gl_lowquality = 1;
    glConfig.aspectRatio = glConfig.gl_panoramic ? panoramicAspect : standardAspect;
    deriveDrawingRectangle();
    create_capture_buffers();
    return true;
}

// ---------------------------------------------------------------------------
// Capabilities

bool gl_has_extension(const char *name)
{
    const char *extensions = reinterpret_cast<const char *>(glGetString(GL_EXTENSIONS));
    return extensions && name && strstr(extensions, name);
}

// A capability: every extension named must be offered and every entry
// point named must resolve.
struct CapabilityTest {
    int32_t GlCaps::*flag;
    const char *extensions[4];
    const char *entryPoints[6];
};

// In the order of detection. The window-system extension string does not
// exist under GLX, so wglExtensionsString is never set.
static const CapabilityTest capabilityTests[] = {
    {&GlCaps::multitexture, {"GL_ARB_multitexture"},
     {"glActiveTextureARB", "glClientActiveTextureARB", "glMultiTexCoord2fARB",
      "glMultiTexCoord2fvARB", "glMultiTexCoord3fARB", "glMultiTexCoord3fvARB"}},
    {&GlCaps::shaders,
     {"GL_ARB_vertex_program", "GL_ARB_vertex_shader", "GL_ARB_fragment_program",
      "GL_ARB_fragment_shader"},
     {}},
    {&GlCaps::multisample, {"GL_ARB_multisample"}, {}},
    {&GlCaps::textureCompression, {"GL_ARB_texture_compression"}, {"glCompressedTexImage2DARB"}},
    {&GlCaps::cubeMap, {"GL_ARB_texture_cube_map"}, {}},
    {&GlCaps::envAdd, {"GL_ARB_texture_env_add"}, {}},
    {&GlCaps::envCombine, {"GL_ARB_texture_env_combine"}, {}},
    {&GlCaps::envDot3, {"GL_ARB_texture_env_dot3"}, {}},
    {&GlCaps::anisotropic, {"GL_EXT_texture_filter_anisotropic"}, {}},
    {&GlCaps::compiledVertexArray, {"GL_EXT_compiled_vertex_array"},
     {"glLockArraysEXT", "glUnlockArraysEXT"}},
    {&GlCaps::blendSubtract, {"GL_EXT_blend_subtract"}, {"glBlendEquationEXT"}},
    {&GlCaps::generateMipmap, {"GL_SGIS_generate_mipmap"}, {}},
};

static bool capabilityPresent(const CapabilityTest &test)
{
    for (const char *extension : test.extensions) {
        if (extension && !gl_has_extension(extension))
            return false;
    }
    for (const char *entryPoint : test.entryPoints) {
        if (entryPoint && !SDL_GL_GetProcAddress(entryPoint))
            return false;
    }
    return true;
}

struct CapabilityLine {
    const char *format;
    int32_t GlCaps::*flag;
};

static const CapabilityLine capabilityLines[] = {
    {"GL_ARB_multitexture: %s\n", &GlCaps::multitexture},
    {"GL_ARB_vertex/program: %s\n", &GlCaps::shaders},
    {"GL_ARB_multisample: %s\n", &GlCaps::multisample},
    {"GL_ARB_texture_compression: %s\n", &GlCaps::textureCompression},
    {"GL_ARB_texture_cube_map: %s\n", &GlCaps::cubeMap},
    {"GL_ARB_texture_env_add: %s\n", &GlCaps::envAdd},
    {"GL_ARB_texture_env_combine: %s\n", &GlCaps::envCombine},
    {"GL_ARB_texture_env_dot3: %s\n", &GlCaps::envDot3},
    {"GL_EXT_texture_filter_anisotropic: %s\n", &GlCaps::anisotropic},
    {"GL_EXT_compiled_vertex_array: %s\n", &GlCaps::compiledVertexArray},
    {"GL_EXT_blend_subtract: %s\n", &GlCaps::blendSubtract},
    {"GL_SGIS_generate_mipmap: %s\n", &GlCaps::generateMipmap},
    {"WGL_EXT_extensions_string: %s\n", &GlCaps::wglExtensionsString},
    {"WGL_ARB_pbuffer... : %s\n", &GlCaps::pbuffer},
};

static void traceCapabilities()
{
    engineTrace("\n%s", separatorLine);
    engineTrace("Maximum texture size: %d\n", glCaps.maxTextureSize);
    engineTrace("Number of TUs: %d\n", glCaps.textureUnits);
    engineTrace("Maximum Color Attachments (buffers): %d\n", glCaps.maxColorAttachments);
    engineTrace("Max draw buffers: %d\n", glCaps.maxDrawBuffers);
    engineTrace("%s", separatorLine);
    for (const CapabilityLine &line : capabilityLines)
        engineTrace(line.format, glCaps.*line.flag ? "yes" : "no");
}

static void requireCapabilities()
{
    if (!glCaps.multitexture || !glCaps.cubeMap || !glCaps.envAdd || !glCaps.envCombine ||
        !glCaps.blendSubtract || !glCaps.generateMipmap)
        engineError("Required extension not available. OpenGL 1.5 required");
    if (!glCaps.shaders) {
        showErrorBox("GLSL shader support not available",
                     "Pixel shader 2.0 support not available.\nThe demo will run with disabled "
                     "shaders, so aome scenes may appear badly.");
        engineWarning("Vertex/Pixel shader support not available, running demo with disabled "
                      "shaders.");
    }
}

void gl_detect_caps()
{
    glCaps = GlCaps();
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &glCaps.maxTextureSize);
    glGetIntegerv(GL_MAX_TEXTURE_UNITS_ARB, &glCaps.textureUnits);
    glGetIntegerv(GL_MAX_COLOR_ATTACHMENTS_EXT, &glCaps.maxColorAttachments);
    glGetIntegerv(GL_MAX_DRAW_BUFFERS_ARB, &glCaps.maxDrawBuffers);
    for (const CapabilityTest &test : capabilityTests)
        glCaps.*test.flag = capabilityPresent(test);
    glCaps.pbuffer = 1;
    if (demoSystem.debug)
        traceCapabilities();
    requireCapabilities();
}

void gl_driver_info()
{
    engineTrace("\n%sOpenGL driver information\n", separatorLine);
    engineTrace("vendor: %s\n", glGetString(GL_VENDOR));
    engineTrace("renderer: %s\n", glGetString(GL_RENDERER));
    engineTrace("version: %s\n", glGetString(GL_VERSION));
    platformWrite(CHANNEL_STDOUT, "standard extensions:\n");
    const char *extensions = reinterpret_cast<const char *>(glGetString(GL_EXTENSIONS));
    std::string list = extensions ? extensions : "";
    const char *separators = " ,\t\n";
    for (char *token = strtok(list.data(), separators); token; token = strtok(nullptr, separators))
        engineTrace("   %s\n", token);
    engineTrace("WGL extensions:\n");
}

// ---------------------------------------------------------------------------
// Default state and frames

void gl_default_state()
{
    GLenum error = glGetError();
    if (error != GL_NO_ERROR && demoSystem.debug)
        engineWarning("Error before init OpenGL state: %s", gluErrorString(error));
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClearColor(0, 0, 0, 0);
    glDisable(GL_BLEND);
    glDisable(GL_ALPHA_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_LIGHT0);
    glDisable(GL_CULL_FACE);
    glEnable(GL_TEXTURE_2D);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glShadeModel(GL_SMOOTH);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    if (glConfig.gl_multisampling && glCaps.multisample)
        glEnable(GL_MULTISAMPLE_ARB);
    error = glGetError();
    if (error != GL_NO_ERROR)
        engineError("Error setting OpenGL default state: %s", gluErrorString(error));
    deriveDrawingRectangle();
}

void gl_frame_begin(int clear)
{
    if (glConfig.gl_lowquality)
        glViewport(0, 0, glConfig.gl_rttWidth, glConfig.gl_rttHeight);
    else
        glViewport(glConfig.vpX, glConfig.vpY, glConfig.vpWidth, glConfig.vpHeight);
    if (clear)
        glClear(frameClearBits());
    gl_default_state();
}

static void loadOrtho(double right, double top)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, right, 0, top, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// Copies the frame drawn at the capture size and stretches it over the
// window (or its letterboxed middle).
static void stretchLowQualityFrame()
{
    const GlConfig &config = glConfig;
    tex_bind(fbos.screenTexture);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, config.gl_rttWidth, config.gl_rttHeight);
    glClear(GL_COLOR_BUFFER_BIT);
    loadOrtho(1, 1);
    if (config.gl_panoramic)
        glViewport(0, static_cast<int>((config.gl_height - config.letterboxHeight) * 0.5f),
                   config.gl_width, config.letterboxHeight);
    else
        glViewport(0, 0, config.gl_width, config.gl_height);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0); glVertex2f(0, 0);
    glTexCoord2f(1, 0); glVertex2f(1, 0);
    glTexCoord2f(1, 1); glVertex2f(1, 1);
    glTexCoord2f(0, 1); glVertex2f(0, 1);
    glEnd();
}

// The bars themselves stay as the clear left them; only their edges get a
// line, white in debug runs so the picture's bounds can be seen.
static void drawLetterboxLines()
{
    const GlConfig &config = glConfig;
    loadOrtho(config.gl_width, config.gl_height);
    glViewport(0, 0, config.gl_width, config.gl_height);
    if (!config.gl_panoramic)
        return;
    glDisable(GL_TEXTURE_2D);
    float lineColour = demoSystem.debug ? 1.0f : 0.0f;
    glColor4f(lineColour, lineColour, lineColour, 0);
    // Through the centres of the rows just below and just above the
    // picture: on the rows' edge, a line would take the picture's top row.
    float below = config.vpY - 0.5f, above = config.vpY + config.vpHeight + 0.5f;
    glBegin(GL_LINES);
    glVertex2f(0, below);
    glVertex2f(config.vpWidth, below);
    glVertex2f(0, above);
    glVertex2f(config.vpWidth, above);
    glEnd();
    glEnable(GL_TEXTURE_2D);
}

void gl_frame_end()
{
    GLenum error = glGetError();
    if (error != GL_NO_ERROR)
        engineWarning("Error in OpenGL: %s", gluErrorString(error));
    if (glConfig.gl_lowquality)
        stretchLowQualityFrame();
    else
        drawLetterboxLines();
}

void gl_swap()
{
    glFlush();
    SDL_GL_SwapBuffers();
}

void gl_shutdown()
{
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}
