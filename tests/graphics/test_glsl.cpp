// GLSL programs: loading and sharing, compile and link reports with their
// logs, binding, uniforms.
#include <GL/glew.h>

#include "graphics/draw2d.h"
#include "graphics/glsl.h"
#include "kernel/demo.h"
#include "tests/graphics/gl_fixture.h"

static const char vertexSource[] =
    "void main() { gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex; }";   // no final newline
static const char greenSource[] =
    "uniform float level;\nvoid main() { gl_FragColor = vec4(0.0, level, 0.0, 1.0); }\n";

class GlslTest : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        openWindow();
    }
    int load(const std::string &vertex, const std::string &fragment)
    {
        std::string vertexPath = scratch.write("shader.vert", vertex);
        std::string fragmentPath = scratch.write("shader.frag", fragment);
        return glslshad_load(vertexPath.c_str(), fragmentPath.c_str());
    }
    // The whole text written to standard error: logs span several lines.
    const std::string &reported() const { return captured.err; }
};

TEST_F(GlslTest, ProgramCompilesLinksAndDraws)
{
    int index = load(vertexSource, greenSource);
    ASSERT_GE(index, 0);
    glslshad_upload(index);
    EXPECT_EQ(errors(), std::vector<std::string>());
    const GlslShader *shader = glslshad_get(index);
    ASSERT_GE(shader->program, 0);
    glslshad_bind(index);
    EXPECT_EQ(glslshad_current(), shader->program);
    glUniform1fARB(glslshad_uniform(index, "level"), 1.0f);
    fillDrawingRectangle(1, 0, 0);
    EXPECT_EQ(pixel(320, 240), green);
    glUseProgramObjectARB(0);
    glslshad_forget();
    EXPECT_EQ(glslshad_current(), -1);
}

TEST_F(GlslTest, SamePairIsSharedWhileLoading)
{
    std::string vertex = scratch.write("a.vert", vertexSource);
    std::string fragment = scratch.write("a.frag", greenSource);
    std::string upper = scratch.path() + "/A.VERT";
    int first = glslshad_load(vertex.c_str(), fragment.c_str());
    EXPECT_EQ(glslshad_load(upper.c_str(), fragment.c_str()), first);
    demoSystem.state = 1;
    EXPECT_NE(glslshad_load(vertex.c_str(), fragment.c_str()), first);
}

TEST_F(GlslTest, MissingFileGivesNoEntry)
{
    std::string vertex = scratch.write("b.vert", vertexSource);
    std::string missing = scratch.path() + "/missing.frag";
    EXPECT_EQ(glslshad_load(vertex.c_str(), missing.c_str()), -1);
    EXPECT_EQ(glslShaders.count, 0);
    EXPECT_EQ(errors(), std::vector<std::string>{"loadFile: File error: '" + missing + "'"});
}

TEST_F(GlslTest, CompileErrorsReportBothLogsVertexFirst)
{
    // The vertex shader compiles with a warning; the fragment shader fails.
    // The driver's shader cache skips compiling (and warning about) sources
    // it has seen, so this one is new every run.
    std::string unique = "// " + scratch.path() + "\n";
    int index = load(unique + "#extension GL_GLIMRA_nothing : warn\n" + vertexSource,
                     "void main() { gl_FragColor = undeclared; }\n");
    glslshad_upload(index);
    const GlslShader *shader = glslshad_get(index);
    EXPECT_EQ(shader->program, -1);
    std::string vertexReport = "Error: glslshad_upload: Error compiling Vertex Shader '" +
                               std::string(shader->vertexFile) + "': ";
    std::string fragmentReport = "Error: glslshad_upload: Error compiling Fragment Shader '" +
                                 std::string(shader->fragmentFile) + "': ";
    size_t vertexAt = reported().find(vertexReport);
    size_t fragmentAt = reported().find(fragmentReport);
    ASSERT_NE(vertexAt, std::string::npos) << reported();
    ASSERT_NE(fragmentAt, std::string::npos) << reported();
    EXPECT_LT(vertexAt, fragmentAt);
    EXPECT_NE(reported().find("GL_GLIMRA_nothing", vertexAt), std::string::npos);
    EXPECT_NE(reported().find("undeclared", fragmentAt), std::string::npos);
    // Binding the broken entry falls back to the fixed-function pipeline.
    glslshad_bind(index);
    EXPECT_EQ(glslshad_current(), 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GlslTest, LinkErrorReportsTheProgramLog)
{
    // Compiles alone, but a program needs a main.
    int index = load("float helper() { return 1.0; }\n", greenSource);
    glslshad_upload(index);
    const GlslShader *shader = glslshad_get(index);
    EXPECT_EQ(shader->program, -1);
    std::string report = "Error: GLSL: Error Linking Shaders [v:'" + std::string(shader->vertexFile) +
                         "'] [f: '" + shader->fragmentFile + "'] : ";
    size_t at = reported().find(report);
    ASSERT_NE(at, std::string::npos) << reported();
    EXPECT_NE(reported().find("main", at + report.size()), std::string::npos) << reported();
}

TEST_F(GlslTest, UniformOptimisedAwayIsTraced)
{
    int index = load(vertexSource, "uniform float unused;\nvoid main() { gl_FragColor = vec4(1.0); }");
    glslshad_upload(index);
    EXPECT_EQ(glslshad_uniform(index, "unused"), -1);
    const GlslShader *shader = glslshad_get(index);
    std::string trace = "GLSL: Uniform variable 'unused' not found in vs '" +
                        std::string(shader->vertexFile) + "' or in ps '" + shader->fragmentFile + "'";
    EXPECT_NE(captured.debugger.find(trace), std::string::npos);
    EXPECT_EQ(glslshad_uniform(-1, "unused"), -1);
}

TEST_F(GlslTest, TableHoldsAtMost256Shaders)
{
    while (glslShaders.count < MAX_GLSL_SHADERS)
        ASSERT_GE(glslshad_init(), 0);
    EXPECT_EQ(glslshad_init(), -1);
    EXPECT_EQ(errors(),
              std::vector<std::string>{"glslshad_init: Too many GLSL shaders (limited to 256)"});
}
