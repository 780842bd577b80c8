// Every validation message of the buffer and shader sections, each provoked
// by a script, loaded and run in a real window (programs only load where
// the driver offers GLSL); and the limit of uniforms of one kind.
#include <GL/glew.h>

#include <string>
#include <vector>

#include "graphics/glsl.h"
#include "graphics/texture.h"
#include "graphics/video.h"
#include "kernel/demo.h"
#include "kernel/section.h"
#include "sections/buffers.h"
#include "tests/graphics/gl_fixture.h"

static const char vertexShader[] =
    "void main() { gl_TexCoord[0] = gl_MultiTexCoord0; gl_Position = ftransform(); }\n";
// Uses every uniform, so that the compiler keeps them all.
static const char fragmentShader[] =
    "uniform float level; uniform vec2 offset; uniform vec3 tint; uniform vec4 shade;\n"
    "uniform sampler2D picture; uniform samplerCube sky;\n"
    "void main() { gl_FragColor = shade + vec4(tint * level, offset.x) +\n"
    "    texture2D(picture, offset) + textureCube(sky, tint); }\n";

struct ValidationCase {
    const char *type;
    const char *lines;         // after the time window; $V and $F name the shader files
    const char *loadMessage;   // empty: the section loads cleanly
    const char *execMessage;   // reported by the first exec
    const char *trace;         // a trace or warning the load writes, or empty
};

#define SHADERS "string $V\nstring $F\n"
#define NOT_RTT "buffer not correct, it should be 'rttX', where X=>0 and X<=9, you choosed: "

static const ValidationCase validationCases[] = {
    {"saveBuffer", "param 0 1 1 0\n", "saveBuffer: 3 params required.", "", ""},
    {"saveBuffer", "param 10\n", "saveBuffer: Invalid texture buffer number: 10", "", ""},
    {"saveBuffer", "param -1 1 1\n", "saveBuffer: Invalid texture buffer number: -1", "", ""},
    {"saveBuffer", "param 99999999999\n", "saveBuffer: Invalid texture buffer number: 2147483647",
     "", ""},
    // Numbers are truncated toward zero before the range is checked.
    {"saveBuffer", "param 9.9\n", "", "", ""},
    {"saveBuffer", "param -0.5 0 0\n", "", "", ""},
    {"renderBuffer", "param 0 0 0 1 0\n", "renderBuffer: 4 params required.", "", ""},
    {"renderBuffer", "param 10 0 0 1\n", "renderBuffer: Invalid texture buffer number: 10", "", ""},
    {"renderBuffer", "param -2.5 0 0 1\n", "renderBuffer: Invalid texture buffer number: -2", "",
     ""},
    {"renderBuffer", "param -1.5 0 0 1\n", "", "", ""},
    // param[3] 2 makes no formula: the strings are not even read.
    {"renderBuffer", "param 0 0 0 2\n", "", "", ""},
    {"renderBuffer", "param 0 0 0 0\nstring tx=1/0;\nstring ry=0;\nstring sz=1;\n", "",
     "place_object: Expression evaluation Error (20): tx=1/0;ry=0;sz=1;", ""},
    // Fewer placement strings than three: those there are make the formula.
    {"renderBuffer", "param 0 0 0 0\nstring sx=0.5;\n", "", "", ""},
    {"renderFbo", "param 0 0 0 1 0\n", "renderFbo: 4 params required.", "", ""},
    {"renderFbo", "param 20 0 0 1\n", "renderFbo: Invalid texture fbo number: 20", "", ""},
    {"renderFbo", "param -2 0 0 1\n", "renderFbo: Invalid texture fbo number: -2", "", ""},
    // Unconfigured numbers would select another FBO: they are warned about
    // and bind or draw nothing.
    {"fbobind", "param 5 1 1\n", "", "",
     "fbobind: FBO 5 is not configured: set fbo_5_width, fbo_5_height and fbo_5_format"},
    {"renderFbo", "param 19 0 0 1\n", "", "", "renderFbo: FBO 19 is not configured"},
    {"fbobind", "param 0 1\n", "fbobind: 3 params required.", "", ""},
    {"fbobind", "param 20 1 1\n", "fbobind: Invalid fbo buffer number: 20", "", ""},
    {"fbobind", "param -1 0 0\n", "fbobind: Invalid fbo buffer number: -1", "", ""},
    {"fbounbind", "param 1\n", "fbounbind: 2 params required.", "",
     "fbo_unbind [aborted]: System has tried to unbind an fbo, but it has been already unbinded!"},
    {"glslshaderbind", "string $V\n",
     "At least 2 strings are needed: vertex and fragment shader files", "", ""},
    {"glslshaderbind", SHADERS "string sampler2D picture rtt10\n", "sampler2D " NOT_RTT "rtt10",
     "", ""},
    {"glslshaderbind", SHADERS "string sampler2D picture rtt\n", "sampler2D " NOT_RTT "rtt", "",
     ""},
    {"glslshaderbind", SHADERS "string sampler2D picture rtt-1\n", "sampler2D " NOT_RTT "rtt-1",
     "", ""},
    {"glslshaderbind", SHADERS "string sampler2D picture fbo20\n",
     "sampler2D fbo not correct, it should be 'fboX', where X=>0 and X<=19, you choosed: fbo20",
     "", ""},
    {"glslshaderbind", SHADERS "string samplerCube sky rtt10\n", "SamplerCube " NOT_RTT "rtt10", "",
     ""},
    {"glslshaderbind", SHADERS "string sampler2D picture rtt9\nstring samplerCube sky rtt0\n", "",
     "", ""},
    {"glslshaderbind", SHADERS "string float level v1=1/0;\n", "",
     "glslshaderbind: [vfloat] Expression evaluation Error (20): v1=1/0;", ""},
    {"glslshaderbind", SHADERS "string vec2 offset v1=0;v2=1/0;\n", "",
     "glslshaderbind: [vec2] Expression evaluation Error (20): v1=0;v2=1/0;", ""},
    {"glslshaderbind", SHADERS "string vec3 tint v3=1/0;\n", "",
     "glslshaderbind: [vec3] Expression evaluation Error (20): v3=1/0;", ""},
    {"glslshaderbind", SHADERS "string vec4 shade v4=1/0;\n", "",
     "glslshaderbind: [vec4] Expression evaluation Error (20): v4=1/0;", ""},
    // A uniform the program lacks is never evaluated.
    {"glslshaderbind", SHADERS "string float missing v1=1/0;\n", "", "",
     "GLSL: Uniform variable 'missing' not found in vs '$V' or in ps '$F'"},
    {"glslshaderbind", SHADERS "string int level 3\n", "", "",
     "glslshaderbind: string_type [int], string_name [level], string_value [3]"},
    {"glslshaderbind", SHADERS "string vec3\ttint   v1=1;v2=0;v3=0;\n", "", "",
     "glslshaderbind: string_type [vec3], string_name [tint], string_value [v1=1;v2=0;v3=0;]"},
};

class BufferValidation : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        openWindow();
        vertexPath = scratch.write("pass.vert", vertexShader);
        fragmentPath = scratch.write("uniforms.frag", fragmentShader);
    }
    // `text` with $V and $F replaced by the shader paths.
    std::string withPaths(std::string text) const
    {
        for (size_t at; (at = text.find("$V")) != std::string::npos;)
            text.replace(at, 2, vertexPath);
        for (size_t at; (at = text.find("$F")) != std::string::npos;)
            text.replace(at, 2, fragmentPath);
        return text;
    }
    std::string vertexPath, fragmentPath;
};

TEST_F(BufferValidation, EachMessageNamesTheSectionAndLaterOperationsGoOn)
{
    ASSERT_TRUE(glCaps.shaders);
    for (const ValidationCase &test : validationCases) {
        const std::string lines = withPaths(test.lines);
        SCOPED_TRACE(std::string(test.type) + ": " + lines);
        freeAllSections();
        captured.err.clear();
        captured.debugger.clear();
        parse(std::string("[") + test.type + "]\nid s\nstart 0\nend 10\nlayer 3\n" + lines);
        Section *section = demoSystem.sectionList;
        ASSERT_NE(section, nullptr);
        const std::string prefix = std::string(test.type) + " (3, 0.000000 -> 10.000000): ";
        callOperation(section, &SectionType::load);
        std::vector<std::string> expected;
        if (*test.loadMessage)
            expected.push_back(prefix + test.loadMessage);
        EXPECT_EQ(errors(), expected);
        EXPECT_EQ(glslshad_current(), -1) << "no program is left current by a load";

        callOperation(section, &SectionType::init);
        callOperation(section, &SectionType::exec);
        callOperation(section, &SectionType::end);
        if (*test.execMessage)
            expected.push_back(prefix + test.execMessage);
        EXPECT_EQ(errors(), expected);
        EXPECT_NE(captured.debugger.find(withPaths(test.trace)), std::string::npos)
            << captured.debugger;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        glUseProgramObjectARB(0);
        glslshad_forget();
    }
}

// Scripts hold at most 32 strings, so no section reaches the limit; the
// slots are checked on their own. Past the limit every string takes the
// last slot and the count stays at the number of slots, so exec, which
// walks the count, never leaves the table.
TEST_F(BufferValidation, UniformsPastTheLimitReplaceTheLastSlot)
{
    parse("[glslshaderbind]\nid s\nstart 0\nend 10\nlayer 3\n");
    currentSection = demoSystem.sectionList;
    int32_t count = 0;
    for (int string = 0; string < MAX_SHADER_VARS; string++)
        EXPECT_EQ(shader_var_slot(&count), string);
    EXPECT_EQ(count, MAX_SHADER_VARS);
    EXPECT_EQ(errors(), std::vector<std::string>());
    const std::string message =
        "glslshaderbind (3, 0.000000 -> 10.000000): Too many variables! MAX_SHADER_VARS reached!! "
        "you need to recompile the engine or use less variables!";
    for (int string = 0; string < 3; string++) {
        EXPECT_EQ(shader_var_slot(&count), MAX_SHADER_VARS);
        EXPECT_EQ(count, SHADER_VAR_SLOTS);
    }
    EXPECT_EQ(errors(), std::vector<std::string>(3, message));
}

// Without the driver's GLSL the shader types do nothing at all and number
// -1, which would draw with whatever program is current, draws nothing; with
// it the quad shows (white: no texture is bound).
TEST_F(BufferValidation, WithoutShadersTheShaderTypesAndNumberMinusOneDoNothing)
{
    for (int shaders : {0, 1}) {
        SCOPED_TRACE(shaders);
        glCaps.shaders = shaders;
        freeAllSections();
        parse(withPaths("[glslshaderbind]\nid bind\nstart 0\nend 10\nlayer 1\n" SHADERS
                        "string float level v1=1;\n"
                        "[renderBuffer]\nid buffer\nstart 0\nend 10\nlayer 2\nparam -1 0 0 1\n"
                        "[renderFbo]\nid fbo\nstart 0\nend 10\nlayer 3\nparam -1 0 0 1\n"));
        Section *fbo = demoSystem.sectionList, *buffer = fbo->next, *bind = buffer->next;
        callOperation(bind, &SectionType::load);
        EXPECT_EQ(bind->vars != nullptr, shaders == 1);
        callOperation(bind, &SectionType::exec);
        EXPECT_EQ(glslshad_current() != -1, shaders == 1);
        glUseProgramObjectARB(0);
        glslshad_forget();
        for (Section *section : {buffer, fbo}) {
            callOperation(section, &SectionType::load);
            glClearColor(0, 1, 0, 1);
            glClear(GL_COLOR_BUFFER_BIT);
            glBindTexture(GL_TEXTURE_2D, 0);
            tex_reset_cache();
            callOperation(section, &SectionType::exec);
            EXPECT_EQ(pixel(320, 240), shaders ? white : green) << section->identifier;
        }
        EXPECT_EQ(errors(), std::vector<std::string>());
    }
}
