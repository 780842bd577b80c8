// GLSL programs: loading, compiling and linking, binding with a cache.
#include "graphics/glsl.h"

#include <GL/glew.h>
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "kernel/demo.h"
#include "kernel/log.h"
#include "kernel/script.h"

GlslTable glslShaders = {{}, 0, -1};

GlslShader *glslshad_get(int index)
{
    if (index < 0 || index >= glslShaders.count)
        return nullptr;
    return glslShaders.entries[index];
}

int glslshad_init()
{
    if (glslShaders.count >= MAX_GLSL_SHADERS) {
        engineError("glslshad_init: Too many GLSL shaders (limited to %d)", MAX_GLSL_SHADERS);
        return -1;
    }
    GlslShader *shader = static_cast<GlslShader *>(calloc(1, sizeof(GlslShader)));
    shader->program = shader->vertexShader = shader->fragmentShader = -1;
    int index = glslShaders.count++;
    glslShaders.entries[index] = shader;
    return index;
}

static int findLoadedShader(const char *vertexPath, const char *fragmentPath)
{
    for (int index = 0; index < glslShaders.count; index++) {
        const GlslShader *shader = glslShaders.entries[index];
        if (strcasecmp(shader->vertexFile, vertexPath) == 0 &&
            strcasecmp(shader->fragmentFile, fragmentPath) == 0)
            return index;
    }
    return -1;
}

int glslshad_load(const char *vertexPath, const char *fragmentPath)
{
    if (demoSystem.state == 0) {
        int loaded = findLoadedShader(vertexPath, fragmentPath);
        if (loaded >= 0)
            return loaded;
    }
    // loadFile gives the sizes too, so a missing file is reported once.
    size_t vertexLength = 0, fragmentLength = 0;
    char *vertexSource = loadFile(vertexPath, &vertexLength);
    char *fragmentSource = loadFile(fragmentPath, &fragmentLength);
    int index = vertexSource && fragmentSource ? glslshad_init() : -1;
    GlslShader *shader = glslshad_get(index);
    if (!shader) {
        free(vertexSource);
        free(fragmentSource);
        return -1;
    }
    shader->vertexFile = strdup(vertexPath);
    shader->vertexSource = vertexSource;
    shader->vertexLength = static_cast<int32_t>(vertexLength);
    shader->fragmentFile = strdup(fragmentPath);
    shader->fragmentSource = fragmentSource;
    shader->fragmentLength = static_cast<int32_t>(fragmentLength);
    return index;
}

// ---------------------------------------------------------------------------
// Compiling and linking

static GLhandleARB compileShader(GLenum type, const char *source, int length)
{
    GLhandleARB shader = glCreateShaderObjectARB(type);
    const GLcharARB *sources[] = {source};
    const GLint lengths[] = {length};
    glShaderSourceARB(shader, 1, sources, lengths);
    glCompileShaderARB(shader);
    return shader;
}

static GLint objectParameter(GLhandleARB object, GLenum parameter)
{
    GLint value = 0;
    glGetObjectParameterivARB(object, parameter, &value);
    return value;
}

// The object's info log; empty when it has none.
static std::string infoLog(GLhandleARB object)
{
    GLint length = objectParameter(object, GL_OBJECT_INFO_LOG_LENGTH_ARB);
    if (length < 2)
        return "";
    std::string log(length, '\0');
    GLsizei written = 0;
    glGetInfoLogARB(object, length, &written, log.data());
    log.resize(written < length ? written : length - 1);
    return log;
}

// Both logs, vertex first: its warnings explain as much as the errors of
// the shader that failed. A failure without any log is still reported.
static void reportCompileFailure(const GlslShader *shader, bool vertexCompiled,
                                 bool fragmentCompiled)
{
    std::string vertexLog = infoLog(shader->vertexShader);
    std::string fragmentLog = infoLog(shader->fragmentShader);
    if (!vertexLog.empty() || !vertexCompiled)
        engineError("glslshad_upload: Error compiling Vertex Shader '%s': %s", shader->vertexFile,
                    vertexLog.c_str());
    if (!fragmentLog.empty() || !fragmentCompiled)
        engineError("glslshad_upload: Error compiling Fragment Shader '%s': %s",
                    shader->fragmentFile, fragmentLog.c_str());
}

static void linkProgram(GlslShader *shader)
{
    GLhandleARB program = glCreateProgramObjectARB();
    glAttachObjectARB(program, shader->vertexShader);
    glAttachObjectARB(program, shader->fragmentShader);
    glLinkProgramARB(program);
    if (objectParameter(program, GL_OBJECT_LINK_STATUS_ARB)) {
        shader->program = static_cast<int32_t>(program);
        glslShaders.currentProgram = -1;
        return;
    }
    // A program that did not link stays unusable: binding the entry then
    // falls back to the fixed-function pipeline.
    engineError("GLSL: Error Linking Shaders [v:'%s'] [f: '%s'] : %s", shader->vertexFile,
                shader->fragmentFile, infoLog(program).c_str());
    glDeleteObjectARB(program);
}

void glslshad_upload(int index)
{
    GlslShader *shader = glslshad_get(index);
    if (!shader)
        return;
    shader->vertexShader = static_cast<int32_t>(
        compileShader(GL_VERTEX_SHADER_ARB, shader->vertexSource, shader->vertexLength));
    shader->fragmentShader = static_cast<int32_t>(
        compileShader(GL_FRAGMENT_SHADER_ARB, shader->fragmentSource, shader->fragmentLength));
    bool vertexCompiled = objectParameter(shader->vertexShader, GL_OBJECT_COMPILE_STATUS_ARB);
    bool fragmentCompiled = objectParameter(shader->fragmentShader, GL_OBJECT_COMPILE_STATUS_ARB);
    if (vertexCompiled && fragmentCompiled)
        linkProgram(shader);
    else
        reportCompileFailure(shader, vertexCompiled, fragmentCompiled);
}

// ---------------------------------------------------------------------------
// Binding and uniforms

void glslshad_bind(int index)
{
    const GlslShader *shader = glslshad_get(index);
    if (!shader)
        return;
    int32_t program = shader->program < 0 ? 0 : shader->program;
    if (program == glslShaders.currentProgram)
        return;
    glUseProgramObjectARB(program);
    glslShaders.currentProgram = program;
}

void glslshad_forget()
{
    glslShaders.currentProgram = -1;
}

int glslshad_current()
{
    return glslShaders.currentProgram;
}

int glslshad_uniform(int index, const char *name)
{
    const GlslShader *shader = glslshad_get(index);
    if (!shader || shader->program < 0)
        return -1;
    int location = glGetUniformLocationARB(shader->program, name);
    if (location == -1)
        engineTrace("GLSL: Uniform variable '%s' not found in vs '%s' or in ps '%s'", name,
                    shader->vertexFile, shader->fragmentFile);
    return location;
}
