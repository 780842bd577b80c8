// Render-properties files: every key, the messages of bad lines with their
// line numbers, and the lines that are ignored.
#include <GL/gl.h>

#include "models/layers.h"
#include "tests/support/kernel_fixture.h"

class LayerFileTest : public KernelTest {
protected:
    void TearDown() override
    {
        freeLayers(layers);
        KernelTest::TearDown();
    }
    Layer *load(const std::string &text)
    {
        path = scratch.write("object.rp", text);
        layers = loadLayers(path.c_str());
        return layers;
    }
    ScratchDirectory scratch;
    std::string path;
    Layer *layers = nullptr;
};

TEST_F(LayerFileTest, EveryKeyOfTwoLayers)
{
    load("mode color\r\n"                    // before the first layer: ignored
         "{\r\n"
         "; a comment\r\n"
         "\tMODE  Shaded\r\n"
         "color 1 0.5 0.25 1\r\n"
         "blend SRC_ALPHA ONE\r\n"
         "alpha GREATER 0.5\r\n"
         "lineWidth 3\r\n"
         "cullface BACK\r\n"
         "node the head\r\n"
         "}\r\n"
         "\r\n"
         "{\n"
         "alpha LESS 0.25 0.75\n"
         "}\n");
    EXPECT_EQ(errors(), std::vector<std::string>());
    ASSERT_NE(layers, nullptr);
    const Layer &first = *layers;
    EXPECT_EQ(first.mode, RENDER_SHADED);
    EXPECT_EQ(first.color[1], 0.5f);
    EXPECT_EQ(first.color[3], 1.0f);
    EXPECT_EQ(first.blendEnabled, 1);
    EXPECT_EQ(first.sfactor, static_cast<uint32_t>(GL_SRC_ALPHA));
    EXPECT_EQ(first.dfactor, static_cast<uint32_t>(GL_ONE));
    EXPECT_EQ(first.alphaEnabled, 1);
    EXPECT_EQ(first.alphaFunc, static_cast<uint32_t>(GL_GREATER));
    EXPECT_EQ(first.alpha1, 0.5f);
    EXPECT_EQ(first.alpha2, 0.5f);
    EXPECT_EQ(first.lineWidth, 3.0f);
    EXPECT_EQ(first.cullEnabled, 1);
    EXPECT_EQ(first.cullFace, static_cast<uint32_t>(GL_BACK));
    EXPECT_STREQ(first.node, "the head");
    ASSERT_NE(first.next, nullptr);
    const Layer &second = *first.next;
    EXPECT_EQ(second.mode, RENDER_NONE);
    EXPECT_EQ(second.lineWidth, 1.0f);
    EXPECT_EQ(second.color[0], 0.0f);
    EXPECT_EQ(second.alpha1, 0.25f);
    EXPECT_EQ(second.alpha2, 0.75f);
    EXPECT_EQ(second.next, nullptr);
}

TEST_F(LayerFileTest, BadLinesReportTheirMessageAndLine)
{
    struct Case {
        const char *line, *message;
    } cases[] = {
        {"mode sparkle", "Unknown render mode"},
        {"blend ONE", "Invalid blend"},
        {"blend ONE NOPE", "Invalid blend factor"},
        {"alpha GREATER", "Invalid alpha"},
        {"alpha GREATER 1 2 3", "Invalid alpha"},
        {"alpha SOMETIMES 0.5", "Invalid alpha function"},
        {"color 1 1 1", "Invalid color"},
        {"color 1 1 1 x", "Invalid color"},
        {"cullface sideways", "Invalid cullface"},
        {"linewidth thick", "Invalid line width"},
        {" {", "Unknown layer variable"},
        {"size 3", "Unknown layer variable"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        captured = CapturedOutput();
        freeLayers(layers);
        load(std::string("; layer\n{\n") + c.line + "\n}\n");
        std::string expected = std::string(c.message) + " (file '" + path + "', line 3)";
        EXPECT_EQ(errors(), std::vector<std::string>({expected}));
        ASSERT_NE(layers, nullptr);
    }
    // What the bad lines still set.
    freeLayers(layers);
    load("{\nmode sparkle\ncullface sideways\nblend ONE NOPE\n}\n");
    EXPECT_EQ(layers->mode, -1);
    EXPECT_EQ(layers->cullEnabled, 1);
    EXPECT_EQ(layers->blendEnabled, 1);
    EXPECT_EQ(layers->dfactor, static_cast<uint32_t>(-1));
}

TEST_F(LayerFileTest, AFileThatDoesNotOpenGivesAnEmptyList)
{
    std::string missing = scratch.path() + "/missing.rp";
    EXPECT_EQ(loadLayers(missing.c_str()), nullptr);
    EXPECT_EQ(errors(), std::vector<std::string>({"Error loading '" + missing + "'"}));
}
