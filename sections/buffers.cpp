// Buffer and shader sections. Every number a script gives is checked once
// at load; a section whose load reported an error keeps no private data and
// draws nothing, so debug runs go on past it without indexing outside the
// tables.
#include "sections/buffers.h"

#include <GL/glew.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>

#include "expr/driver.h"
#include "graphics/draw2d.h"
#include "graphics/fbo.h"
#include "graphics/glsl.h"
#include "graphics/texture.h"
#include "graphics/video.h"
#include "kernel/log.h"
#include "kernel/section.h"
#include "sections/section_vars.h"

// A texture to draw or sample: a texture table index, or with `fbo` the FBO
// table index whose colour texture is meant. Index -1: none.
struct TextureRef {
    int32_t index;
    uint8_t fbo;
};

static const TextureRef NO_TEXTURE = {-1, 0};

struct SaveBufferVars {
    int32_t texture;           // the capture buffer's texture index
};

// renderBuffer and renderFbo.
struct DrawVars {
    TextureRef source;         // NO_TEXTURE: number -1, draw with what is bound
    uint8_t unitView;          // param[3] == 1: over the whole drawing rectangle
    uint8_t hasFormula;        // renderBuffer with param[3] == 0
    ExprDriver formula;        // placement
};

struct FboBindVars {
    int32_t fbo;               // FBO table index
};

enum { SHADER_NAME_SIZE = 128, SHADER_VALUE_SIZE = 512, MAX_UNIFORM_COMPONENTS = 4 };

struct Uniform {
    char name[SHADER_NAME_SIZE];
    int32_t location;          // -1: the program lacks it, skipped every frame
    ExprDriver formula;        // its text is the value of the string
    double *values[MAX_UNIFORM_COMPONENTS]; // v1 ... v4 in the formula's table; null without one
};

struct Sampler {
    char name[SHADER_NAME_SIZE];
    int32_t location;
    TextureRef texture;        // NO_TEXTURE after a rejected value
};

struct UniformList {
    int32_t count;             // at most SHADER_VAR_SLOTS
    Uniform entries[SHADER_VAR_SLOTS];
};

struct SamplerList {
    int32_t count;
    Sampler entries[SHADER_VAR_SLOTS];
};

// The uniform kinds in the order exec sets them.
struct UniformKind {
    const char *type;          // the type word of a uniform string
    int components;            // formula outputs v1 ... vN
    const char *tag;           // names the kind in evaluation errors
};

static const UniformKind uniformKinds[] = {
    {"float", 1, "[vfloat]"},
    {"vec2", 2, "[vec2]"},
    {"vec3", 3, "[vec3]"},
    {"vec4", 4, "[vec4]"},
};
enum { UNIFORM_KINDS = sizeof(uniformKinds) / sizeof(uniformKinds[0]) };

static const char *const componentNames[MAX_UNIFORM_COMPONENTS] = {"v1", "v2", "v3", "v4"};

// The sampler kinds in the order exec binds them.
struct SamplerKind {
    const char *type;
    const char *bufferMessage; // "rttX" out of range
    const char *fboMessage;    // "fboX" out of range; null: the kind takes no FBOs
};

static const SamplerKind samplerKinds[] = {
    {"sampler2D",
     "sampler2D buffer not correct, it should be 'rttX', where X=>0 and X<=%d, you choosed: %s",
     "sampler2D fbo not correct, it should be 'fboX', where X=>0 and X<=%d, you choosed: %s"},
    {"samplerCube",
     "SamplerCube buffer not correct, it should be 'rttX', where X=>0 and X<=%d, you choosed: %s",
     nullptr},
};
enum { SAMPLER_KINDS = sizeof(samplerKinds) / sizeof(samplerKinds[0]) };

struct GlslShaderBindVars {
    int32_t program;           // shader table index; -1 when the files did not load
    int32_t textureUnits;      // units the driver lets programs sample
    UniformList uniforms[UNIFORM_KINDS];
    SamplerList samplers[SAMPLER_KINDS];
};

// ---------------------------------------------------------------------------
// Shared steps

// A flag param counts only when it is exactly 1.
static bool flagSet(float param)
{
    return param == 1.0f;
}

// Clears what the two flags ask for in the current render target.
static void clearFlagged(float colour, float depth)
{
    GLbitfield mask = 0;
    if (flagSet(colour))
        mask |= GL_COLOR_BUFFER_BIT;
    if (flagSet(depth))
        mask |= GL_DEPTH_BUFFER_BIT;
    if (mask)
        glClear(mask);
}

// An int for a message about `value` truncated toward zero, defined for
// every float a script can give.
static int truncatedForMessage(double value)
{
    if (std::isnan(value))
        return 0;
    return static_cast<int>(std::clamp(std::trunc(value), static_cast<double>(INT_MIN),
                                       static_cast<double>(INT_MAX)));
}

// The script number `value`, truncated toward zero, when it lies from
// `lowest` to `highest`; otherwise reports `message` (with "%i" for the
// truncated number) and returns false.
static bool numberInRange(float value, int lowest, int highest, const char *message, int *number)
{
    const double truncated = std::trunc(static_cast<double>(value));
    if (truncated >= lowest && truncated <= highest) {
        *number = static_cast<int>(truncated);
        return true;
    }
    sectionError(message, truncatedForMessage(value));
    return false;
}

// The FBO table index of FBO `number` (0 to 19), or -1 with a warning when
// the settings did not make it: unconfigured numbers hold table index 0,
// which is another FBO or none.
static int configuredFbo(int number)
{
    const FboDefinition &definition = glConfig.fbo[number];
    const int index = fbos.fboIndex[number];
    if (definition.width != 0 && definition.height != 0 && definition.pixelFormat > 0 &&
        fbo_get(index))
        return index;
    engineWarning("%s: FBO %i is not configured: set fbo_%i_width, fbo_%i_height and "
                  "fbo_%i_format",
                  sectionTypeName(currentSection), number, number, number, number);
    return -1;
}

static void bindTexture(TextureRef texture)
{
    if (texture.fbo)
        fbo_bind_texture(texture.index);
    else
        tex_bind(texture.index);
}

// Reports `message` when the section has more than `limit` params.
static bool paramsAtMost(int limit, const char *message)
{
    if (currentSection->paramNum <= limit)
        return true;
    sectionError("%s", message);
    return false;
}

static bool paramsAtLeast(int limit, const char *message)
{
    if (currentSection->paramNum >= limit)
        return true;
    sectionError("%s", message);
    return false;
}

// ---------------------------------------------------------------------------
// saveBuffer: the drawing rectangle into capture buffer param[0], then the
// clears of param[1] (colour) and param[2] (depth).

void saveBufferLoad()
{
    const Section *section = currentSection;
    int number;
    if (!paramsAtMost(3, "saveBuffer: 3 params required.") ||
        !numberInRange(section->param[0], 0, RTT_BUFFER_COUNT - 1,
                       "saveBuffer: Invalid texture buffer number: %i", &number))
        return;
    newSectionVars<SaveBufferVars>()->texture = fbos.rttBuffer[number];
}

void saveBufferExec()
{
    const SaveBufferVars *vars = static_cast<const SaveBufferVars *>(currentSection->vars);
    if (!vars)
        return;
    tex_bind(vars->texture);
    copy_to_texture();
    clearFlagged(currentSection->param[1], currentSection->param[2]);
}

// ---------------------------------------------------------------------------
// renderBuffer and renderFbo: clears first, then a capture buffer or an
// FBO's texture (or, with number -1, whatever texture and program are
// current) on a quad over the drawing rectangle or placed in the current
// view.

// The part of a capture texture one frame fills, on the rectangle from
// (left, bottom) to (right, top).
static void frameQuad(float left, float bottom, float right, float top)
{
    const float u = glConfig.rttScaleU, v = glConfig.rttScaleV;
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(left, bottom);
    glTexCoord2f(u, 0);
    glVertex2f(right, bottom);
    glTexCoord2f(u, v);
    glVertex2f(right, top);
    glTexCoord2f(0, v);
    glVertex2f(left, top);
    glEnd();
}

// Loads what the two types share: the count of params, the number in
// param[0] (-1 to `highest`, -1 for no texture) and the view flag. Null
// after an error.
static DrawVars *drawVarsLoad(int highest, const char *countMessage, const char *numberMessage,
                              TextureRef (*source)(int number))
{
    const Section *section = currentSection;
    int number;
    if (!paramsAtMost(4, countMessage) ||
        !numberInRange(section->param[0], -1, highest, numberMessage, &number))
        return nullptr;
    const TextureRef texture = number >= 0 ? source(number) : NO_TEXTURE;
    if (number >= 0 && texture.index < 0)
        return nullptr;
    DrawVars *vars = newSectionVars<DrawVars>();
    vars->source = texture;
    vars->unitView = flagSet(section->param[3]);
    return vars;
}

static TextureRef captureBufferSource(int number)
{
    return {fbos.rttBuffer[number], 0};
}

static TextureRef fboSource(int number)
{
    return {configuredFbo(number), 1};
}

static void drawExec(void (*placedQuad)(DrawVars *))
{
    DrawVars *vars = static_cast<DrawVars *>(currentSection->vars);
    if (!vars)
        return;
    const Section *section = currentSection;
    clearFlagged(section->param[1], section->param[2]);
    if (vars->source.index >= 0)
        bindTexture(vars->source);
    else if (!glCaps.shaders)
        return;
    if (section->blendEnabled) {
        glEnable(GL_BLEND);
        glBlendFunc(section->sfactor, section->dfactor);
    }
    glDisable(GL_DEPTH_TEST);
    if (vars->unitView) {
        ortho_begin();
        quad_rtt();
        ortho_end();
    } else {
        placedQuad(vars);
    }
    glEnable(GL_DEPTH_TEST);
    if (section->blendEnabled)
        glDisable(GL_BLEND);
}

void renderBufferLoad()
{
    DrawVars *vars = drawVarsLoad(RTT_BUFFER_COUNT - 1, "renderBuffer: 4 params required.",
                                  "renderBuffer: Invalid texture buffer number: %i",
                                  captureBufferSource);
    if (!vars || currentSection->param[3] != 0.0f)
        return;
    // The placement is strings 0 to 2; a section with fewer joins those it has.
    initSectionFormula(&vars->formula, 0, std::min(currentSection->stringNum, 3));
    vars->hasFormula = 1;
}

// A 2 aspectRatio x 2 quad centred on the origin, placed by the formula
// in the current (camera) view.
static void renderBufferQuad(DrawVars *vars)
{
    const float a = glConfig.aspectRatio;
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    // A param[3] other than 0 and 1 made no formula: the identity places
    // the quad then.
    if (vars->hasFormula)
        place_object(&vars->formula);
    frameQuad(-a, -1, a, 1);
    glPopMatrix();
}

void renderBufferExec()
{
    drawExec(renderBufferQuad);
}

void renderFboLoad()
{
    drawVarsLoad(FBO_DEFINITION_COUNT - 1, "renderFbo: 4 params required.",
                 "renderFbo: Invalid texture fbo number: %i", fboSource);
}

// From the origin to (aspectRatio, 1), in the current view as it is.
static void renderFboQuad(DrawVars *)
{
    frameQuad(0, 0, glConfig.aspectRatio, 1);
}

void renderFboExec()
{
    drawExec(renderFboQuad);
}

// ---------------------------------------------------------------------------
// fbobind and fbounbind: the sections between them draw into FBO param[0].
// An unbind returns to the window however many binds came before it, so
// nested binds end together.

void fbobindLoad()
{
    int number;
    if (!paramsAtLeast(3, "fbobind: 3 params required.") ||
        !numberInRange(currentSection->param[0], 0, FBO_DEFINITION_COUNT - 1,
                       "fbobind: Invalid fbo buffer number: %i", &number))
        return;
    const int fbo = configuredFbo(number);
    if (fbo >= 0)
        newSectionVars<FboBindVars>()->fbo = fbo;
}

// The clears come after the bind, so they clear the FBO.
void fbobindExec()
{
    const FboBindVars *vars = static_cast<const FboBindVars *>(currentSection->vars);
    if (!vars)
        return;
    fbo_bind(vars->fbo);
    clearFlagged(currentSection->param[1], currentSection->param[2]);
}

void fbounbindLoad()
{
    paramsAtLeast(2, "fbounbind: 2 params required.");
}

// Unbinds even after a load error: it has no number to reject, and keeping
// the FBO bound would send the rest of the demo into it. The clears come
// after the unbind, so they clear the window.
void fbounbindExec()
{
    fbo_unbind();
    clearFlagged(currentSection->param[0], currentSection->param[1]);
}

// ---------------------------------------------------------------------------
// glslshaderbind and glslshaderunbind

int shader_var_slot(int32_t *count)
{
    if (*count < MAX_SHADER_VARS)
        return (*count)++;
    sectionError("Too many variables! MAX_SHADER_VARS reached!! you need to recompile the engine "
                 "or use less variables!");
    *count = SHADER_VAR_SLOTS;
    return MAX_SHADER_VARS;
}

// A uniform string's three blank-separated words. A word longer than its
// field is cut, never carried into the next word.
struct UniformString {
    char type[SHADER_NAME_SIZE];
    char name[SHADER_NAME_SIZE];
    char value[SHADER_VALUE_SIZE];
};

static const char *nextWord(const char *text, char *word, size_t size)
{
    while (isspace(static_cast<unsigned char>(*text)))
        text++;
    size_t length = 0;
    for (; *text && !isspace(static_cast<unsigned char>(*text)); text++) {
        if (length + 1 < size)
            word[length++] = *text;
    }
    word[length] = '\0';
    return text;
}

static UniformString splitUniformString(const char *text)
{
    UniformString words;
    text = nextWord(text, words.type, sizeof words.type);
    text = nextWord(text, words.name, sizeof words.name);
    nextWord(text, words.value, sizeof words.value);
    return words;
}

// The whole number 0 to `highest` that `digits` spells, or -1.
static int numberFromDigits(const char *digits, int highest)
{
    if (!*digits)
        return -1;
    int number = 0;
    for (; *digits; digits++) {
        if (!isdigit(static_cast<unsigned char>(*digits)))
            return -1;
        number = number * 10 + (*digits - '0');
        if (number > highest)
            return -1;
    }
    return number;
}

static void addUniform(GlslShaderBindVars *vars, int kind, const UniformString &words)
{
    UniformList *list = &vars->uniforms[kind];
    Uniform *uniform = &list->entries[shader_var_slot(&list->count)];
    strcpy(uniform->name, words.name);
    uniform->location = glslshad_uniform(vars->program, words.name);
    // A slot taken again after MAX_SHADER_VARS gets a new driver; the old
    // one lives on like every driver.
    uniform->formula = ExprDriver();
    initFormula(&uniform->formula, words.value);
    // Bound by address once; a name the formula never assigns reads 0.
    for (int c = 0; c < MAX_UNIFORM_COMPONENTS; c++)
        uniform->values[c] = driverVariable(&uniform->formula, componentNames[c]);
}

// "rttX", for kinds that take them "fboX", or an image file.
static TextureRef samplerTexture(const SamplerKind &kind, const char *value)
{
    if (strncmp(value, "rtt", 3) == 0) {
        int number = numberFromDigits(value + 3, RTT_BUFFER_COUNT - 1);
        if (number < 0) {
            sectionError(kind.bufferMessage, RTT_BUFFER_COUNT - 1, value);
            return NO_TEXTURE;
        }
        return captureBufferSource(number);
    }
    if (kind.fboMessage && strncmp(value, "fbo", 3) == 0) {
        int number = numberFromDigits(value + 3, FBO_DEFINITION_COUNT - 1);
        if (number < 0) {
            sectionError(kind.fboMessage, FBO_DEFINITION_COUNT - 1, value);
            return NO_TEXTURE;
        }
        return fboSource(number);
    }
    int texture = tex_load(value, 1);
    tex_properties(texture, TEX_NO_MIPMAPS);
    tex_upload(texture, 1);
    return {texture, 0};
}

static void addSampler(GlslShaderBindVars *vars, int kind, const UniformString &words)
{
    SamplerList *list = &vars->samplers[kind];
    Sampler *sampler = &list->entries[shader_var_slot(&list->count)];
    strcpy(sampler->name, words.name);
    sampler->texture = samplerTexture(samplerKinds[kind], words.value);
    sampler->location = glslshad_uniform(vars->program, words.name);
}

// The kind of a type word in `kinds`, compared exactly, or -1.
template <typename Kind, size_t count>
static int findKind(const Kind (&kinds)[count], const char *type)
{
    for (size_t kind = 0; kind < count; kind++) {
        if (strcmp(kinds[kind].type, type) == 0)
            return static_cast<int>(kind);
    }
    return -1;
}

static void addUniformString(GlslShaderBindVars *vars, const char *text)
{
    const UniformString words = splitUniformString(text);
    engineTrace("glslshaderbind: string_type [%s], string_name [%s], string_value [%s]", words.type,
                words.name, words.value);
    const int uniformKind = findKind(uniformKinds, words.type);
    const int samplerKind = findKind(samplerKinds, words.type);
    if (uniformKind >= 0)
        addUniform(vars, uniformKind, words);
    else if (samplerKind >= 0)
        addSampler(vars, samplerKind, words);
}

// The first texture unit of each sampler kind: cube samplers come after
// the 2D ones, since a program whose sampler types share a unit does not
// draw.
static int firstUnit(const GlslShaderBindVars *vars, int kind)
{
    int unit = 0;
    for (int before = 0; before < kind; before++)
        unit += vars->samplers[before].count;
    return unit;
}

// Samplers past the driver's texture units are never bound; the trace
// says which.
static void traceUnboundSamplers(const GlslShaderBindVars *vars)
{
    for (int kind = 0; kind < SAMPLER_KINDS; kind++) {
        const SamplerList &list = vars->samplers[kind];
        for (int k = 0; k < list.count; k++) {
            int unit = firstUnit(vars, kind) + k;
            if (unit >= vars->textureUnits)
                engineTrace("glslshaderbind: sampler '%s' needs texture unit %d, the driver has %d",
                            list.entries[k].name, unit, vars->textureUnits);
        }
    }
}

void glslshaderbindLoad()
{
    if (!glCaps.shaders)
        return;
    const Section *section = currentSection;
    if (section->stringNum < 2) {
        sectionError("At least 2 strings are needed: vertex and fragment shader files");
        return;
    }
    GlslShaderBindVars *vars = newSectionVars<GlslShaderBindVars>();
    vars->program = glslshad_load(section->strings[0], section->strings[1]);
    glslshad_upload(vars->program);
    glslshad_bind(vars->program);
    glGetIntegerv(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS_ARB, &vars->textureUnits);
    for (int i = 2; i < section->stringNum; i++)
        addUniformString(vars, section->strings[i]);
    traceUnboundSamplers(vars);
    // Not left current after loading; the first exec of a frame binds it.
    glslshad_forget();
    glUseProgramObjectARB(0);
}

static void setUniforms(UniformList *list, const UniformKind &kind)
{
    for (int i = 0; i < list->count; i++) {
        Uniform *uniform = &list->entries[i];
        if (uniform->location < 0)
            continue;
        ExprDriver *formula = &uniform->formula;
        updateEngineVariables(formula);
        int code = evaluateDriver(formula);
        if (code != EXPR_OK)
            sectionError("glslshaderbind: %s Expression evaluation Error (%d): %s", kind.tag, code,
                         formula->text);
        float v[MAX_UNIFORM_COMPONENTS] = {};
        for (int c = 0; c < kind.components; c++)
            v[c] = uniform->values[c] ? static_cast<float>(*uniform->values[c]) : 0.0f;
        switch (kind.components) {
        case 1: glUniform1fARB(uniform->location, v[0]); break;
        case 2: glUniform2fARB(uniform->location, v[0], v[1]); break;
        case 3: glUniform3fARB(uniform->location, v[0], v[1], v[2]); break;
        default: glUniform4fARB(uniform->location, v[0], v[1], v[2], v[3]); break;
        }
    }
}

// Entry k of the list goes on texture unit `first` + k, bound from the last
// entry to the first.
static void bindSamplers(const SamplerList *list, int first, int textureUnits)
{
    for (int k = list->count - 1; k >= 0; k--) {
        const Sampler *sampler = &list->entries[k];
        const int unit = first + k;
        if (sampler->location < 0 || sampler->texture.index < 0 || unit >= textureUnits)
            continue;
        glActiveTextureARB(GL_TEXTURE0_ARB + unit);
        // The bind caches know one texture, not one per unit.
        tex_reset_cache();
        fbo_forget_texture();
        bindTexture(sampler->texture);
        glUniform1iARB(sampler->location, unit);
    }
}

void glslshaderbindExec()
{
    GlslShaderBindVars *vars = static_cast<GlslShaderBindVars *>(currentSection->vars);
    if (!glCaps.shaders || !vars)
        return;
    glslshad_bind(vars->program);
    for (int kind = 0; kind < UNIFORM_KINDS; kind++)
        setUniforms(&vars->uniforms[kind], uniformKinds[kind]);
    for (int kind = 0; kind < SAMPLER_KINDS; kind++)
        bindSamplers(&vars->samplers[kind], firstUnit(vars, kind), vars->textureUnits);
    // Later sections texture through unit 0, and the caches hold what
    // another unit got last.
    glActiveTextureARB(GL_TEXTURE0_ARB);
    tex_reset_cache();
    fbo_forget_texture();
}

void glslshaderunbindExec()
{
    if (!glCaps.shaders)
        return;
    glslshad_forget();
    glUseProgramObjectARB(0);
}
