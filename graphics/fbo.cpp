// Framebuffer objects and capture textures.
#include "graphics/fbo.h"

#include <GL/glew.h>
#include <GL/glu.h>
#include <strings.h>

#include <cstdlib>

#include "graphics/texture.h"
#include "kernel/demo.h"
#include "kernel/log.h"

FboTable fbos = {{}, 0, {}, -1, -1, 0, -1, -1, {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1}};

struct FboFormat {
    const char *name;
    int32_t internalFormat, pixelFormat, pixelType;
};

static const FboFormat fboFormats[] = {
    {"RGBA", GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE},
    {"RGB", GL_RGB8, GL_RGB, GL_UNSIGNED_BYTE},
    {"RGBA16F", GL_RGBA16F_ARB, GL_RGBA, GL_FLOAT},
    {"RGB16F", GL_RGB16F_ARB, GL_RGB, GL_FLOAT},
    {"RGBA32F", GL_RGBA32F_ARB, GL_RGBA, GL_FLOAT},
    {"RGB32F", GL_RGB32F_ARB, GL_RGB, GL_FLOAT},
};

struct StatusName {
    GLenum status;
    const char *name;
};

// Why a framebuffer is incomplete, for the upload error.
static const StatusName statusNames[] = {
    {GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT_EXT, "incomplete attachment"},
    {GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT_EXT, "missing attachment"},
    {GL_FRAMEBUFFER_INCOMPLETE_DIMENSIONS_EXT, "attachments of different sizes"},
    {GL_FRAMEBUFFER_INCOMPLETE_FORMATS_EXT, "attachments of different formats"},
    {GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER_EXT, "incomplete draw buffer"},
    {GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER_EXT, "incomplete read buffer"},
    {GL_FRAMEBUFFER_UNSUPPORTED_EXT, "unsupported format combination"},
};

static const char *statusName(GLenum status)
{
    for (const StatusName &entry : statusNames) {
        if (entry.status == status)
            return entry.name;
    }
    return "framebuffer incomplete";
}

Fbo *fbo_get(int index)
{
    if (index < 0 || index >= fbos.count)
        return nullptr;
    return fbos.entries[index];
}

bool fbo_format(const char *name, int32_t *internalFormat, int32_t *pixelFormat,
                int32_t *pixelType)
{
    *internalFormat = *pixelFormat = *pixelType = -1;
    if (!name)
        return false;
    for (const FboFormat &format : fboFormats) {
        if (strcasecmp(format.name, name) == 0) {
            *internalFormat = format.internalFormat;
            *pixelFormat = format.pixelFormat;
            *pixelType = format.pixelType;
            return true;
        }
    }
    return false;
}

int fbo_new()
{
    if (fbos.count >= MAX_FBOS) {
        engineError("Too many fbo's (limited to %d)", MAX_FBOS);
        return -1;
    }
    Fbo *fbo = static_cast<Fbo *>(calloc(1, sizeof(Fbo)));
    fbo->framebuffer = fbo->depthBuffer = fbo->texture = -1;
    int index = fbos.count++;
    fbos.entries[index] = fbo;
    fbo_properties(index, 0);
    return index;
}

int fbo_create(int width, int height, uint32_t internalFormat, uint32_t pixelFormat,
               uint32_t pixelType)
{
    int index = fbo_new();
    if (Fbo *fbo = fbo_get(index)) {
        fbo->width = width;
        fbo->height = height;
        fbo->internalFormat = internalFormat;
        fbo->pixelFormat = pixelFormat;
        fbo->pixelType = pixelType;
    }
    return index;
}

void fbo_properties(int index, int flags)
{
    Fbo *fbo = fbo_get(index);
    if (!fbo)
        return;
    fbo->flags = flags;
    fbo->target = tex_flag_target(flags);
    fbo->filter = flags & TEX_NO_MIPMAPS ? GL_LINEAR : GL_NEAREST;
    fbo->wrap = tex_flag_wrap(flags);
    fbo->envMode = tex_flag_env_mode(flags);
}

// ---------------------------------------------------------------------------
// Upload

static GLuint generateFramebuffer()
{
    GLuint name;
    glGenFramebuffersEXT(1, &name);
    return name;
}

static GLuint generateRenderbuffer()
{
    GLuint name;
    glGenRenderbuffersEXT(1, &name);
    return name;
}

static GLuint generateTexture()
{
    GLuint name;
    glGenTextures(1, &name);
    return name;
}

// The window is the render target again.
static void bindWindow()
{
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, 0);
    fbos.boundFramebuffer = -1;
}

static void attach(const Fbo *fbo)
{
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo->framebuffer);
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, fbo->depthBuffer);
    glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_TEXTURE_2D,
                              fbo->texture, 0);
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT,
                                 GL_RENDERBUFFER_EXT, fbo->depthBuffer);
}

void fbo_upload(int index, int reuse)
{
    Fbo *fbo = fbo_get(index);
    if (!fbo)
        return;
    if (demoSystem.state == 0 && reuse == 1 && fbo->texture != -1)
        return;
    GLenum error = glGetError();
    if (error != GL_NO_ERROR)
        engineError("fbo_upload: Error before upload fbo '%d': %s", fbo->framebuffer,
                    gluErrorString(error));
    if (!GLEW_EXT_framebuffer_object) {
        engineError("fbo_upload: Error uploading fbo '%d' (id='%d'): %s", index,
                    fbo->framebuffer, "GL_EXT_framebuffer_object not available");
        return;
    }

    fbo->framebuffer = static_cast<int32_t>(generateFramebuffer());
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, fbo->framebuffer);
    fbo->depthBuffer = static_cast<int32_t>(generateRenderbuffer());
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, fbo->depthBuffer);
    glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT, fbo->width, fbo->height);

    fbo->texture = static_cast<int32_t>(generateTexture());
    glBindTexture(GL_TEXTURE_2D, fbo->texture);
    glTexImage2D(GL_TEXTURE_2D, 0, fbo->internalFormat, fbo->width, fbo->height, 0,
                 fbo->pixelFormat, fbo->pixelType, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, fbo->filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, fbo->filter);
    // The texture was bound behind both caches' backs.
    tex_reset_cache();
    fbo_forget_texture();

    attach(fbo);
    GLenum status = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
    if (status != GL_FRAMEBUFFER_COMPLETE_EXT)
        engineError("fbo_upload: Error uploading fbo '%d' (id='%d'): %s", index,
                    fbo->framebuffer, statusName(status));
    bindWindow();
}

// ---------------------------------------------------------------------------
// Binding

void fbo_bind(int index)
{
    const Fbo *fbo = fbo_get(index);
    if (!fbo || fbo->framebuffer == -1 || fbo->framebuffer == fbos.boundFramebuffer)
        return;
    attach(fbo);
    glPushAttrib(GL_VIEWPORT_BIT);
    glViewport(0, 0, fbo->width, fbo->height);
    fbos.bindDepth++;
    fbos.boundFramebuffer = fbo->framebuffer;
}

void fbo_unbind()
{
    if (fbos.bindDepth <= 0) {
        engineTrace("fbo_unbind [aborted]: System has tried to unbind an fbo, but it has been "
                    "already unbinded!");
        return;
    }
    bindWindow();
    glPopAttrib();
    fbos.bindDepth--;
}

void fbo_bind_texture(int index)
{
    const Fbo *fbo = fbo_get(index);
    if (!fbo || fbo->texture == fbos.boundTexture)
        return;
    glBindTexture(GL_TEXTURE_2D, fbo->texture);
    tex_reset_cache();
    fbos.boundTexture = fbo->texture;
}

void fbo_forget_texture()
{
    fbos.boundTexture = -1;
}

void copy_to_texture()
{
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, glConfig.vpX, glConfig.vpY, glConfig.vpWidth,
                        glConfig.vpHeight);
}

// ---------------------------------------------------------------------------
// Capture buffers

static int createCaptureTexture(int flags)
{
    int index = tex_create(glConfig.gl_rttWidth, glConfig.gl_rttHeight, GL_RGB, 3);
    tex_properties(index, flags);
    tex_upload(index, 0);
    return index;
}

static void createConfiguredFbo(int number)
{
    FboDefinition &definition = glConfig.fbo[number];
    const char *name = definition.format ? definition.format : "none";
    if (!fbo_format(definition.format, &definition.internalFormat, &definition.pixelFormat,
                    &definition.pixelType)) {
        engineError("Error in FBO definition: FBO number %i has a non recongised format: '%s', "
                    "please check 'graphics.glm' file.",
                    number, name);
        return;
    }
    int index = fbo_create(definition.width, definition.height, definition.internalFormat,
                           definition.pixelFormat, definition.pixelType);
    if (index < 0)
        return;
    fbos.fboIndex[number] = index;
    fbo_properties(index, TEX_NO_MIPMAPS | TEX_MODULATE);
    fbo_upload(index, 0);
    engineTrace("Fbo %i uploaded: width: %i, height: %i, format: %s (%i), iformat: %i, type: %i",
                number, definition.width, definition.height, name, definition.pixelFormat,
                definition.internalFormat, definition.pixelType);
}

void create_capture_buffers()
{
    fbos.screenTexture = createCaptureTexture(TEX_NO_MIPMAPS);
    fbos.screenTexture2 = createCaptureTexture(TEX_NO_MIPMAPS);
    for (int32_t &buffer : fbos.rttBuffer)
        buffer = createCaptureTexture(TEX_MODULATE);
    for (int number = 0; number < FBO_DEFINITION_COUNT; number++) {
        if (glConfig.fbo[number].width != 0 && glConfig.fbo[number].height != 0)
            createConfiguredFbo(number);
    }
}
