// Video configuration and the window's lifetime.
#include "graphics/video.h"

#include <SDL/SDL.h>

GlConfig glConfig;

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
    glConfig.aspectRatio = 1.6f;
    for (FboDefinition &definition : glConfig.fbo) {
        definition.width = 0;
        definition.height = 0;
    }
}

void gl_shutdown()
{
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}
