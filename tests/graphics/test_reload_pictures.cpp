// Live reload of picture sections in a real window: what reloads cost the
// texture table, and that a changed picture file is what is drawn next.
#include <GL/gl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "graphics/texture.h"
#include "graphics/video.h"
#include "kernel/demo.h"
#include "kernel/reload.h"
#include "kernel/script.h"
#include "kernel/timeline.h"
#include "tests/graphics/gl_fixture.h"

class ReloadPictureTest : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        glConfig.gl_panoramic = 0;
        openWindow();
        reload_forget();
        ASSERT_NE(getcwd(startDirectory, sizeof(startDirectory)), nullptr);
        ASSERT_EQ(chdir(scratch.path().c_str()), 0);
    }
    void TearDown() override
    {
        reload_forget();
        EXPECT_EQ(chdir(startDirectory), 0);
        demoSystem.readyQueue = demoSystem.runQueue = nullptr;
        GlTest::TearDown();
    }
    // Writes a file with a modification time later than any before.
    void write(const std::string &path, const std::string &contents)
    {
        scratch.write(path, contents);
        struct timespec times[2] = {{1000000 + ++writes, 0}, {1000000 + writes, 0}};
        utimensat(AT_FDCWD, path.c_str(), times, 0);
    }
    void picture(const Rgba &colour)
    {
        write("data/picture.tga", tgaImage(8, 8, 24, [&](int, int) { return colour; }));
    }
    // Reads and loads the script as start-up does, then plays at second 1.
    void start(const std::string &script)
    {
        write("data/demo.glm", script);
        loadScripts("data");
        for (Section *section = demoSystem.sectionList; section; section = section->next)
            callOperation(section, &SectionType::load);
        demoSystem.state = STATE_PLAYING;
        demoSystem.currentTime = 1.0f;
        demoSystem.demo_end = 0.0f;
        rebuildQueues();
    }
    // The colour in the middle of a frame drawn by the running sections.
    Rgba drawn()
    {
        gl_frame_begin(1);
        retireSections();
        activateSections();
        executeSections();
        glFinish();
        return pixel(glConfig.gl_width / 2, glConfig.gl_height / 2);
    }
    char startDirectory[PATH_MAX];
    int writes = 0;
};

static std::string background(int layer)
{
    return "[background]\nid back\nstart 0\nend 100\nlayer " + std::to_string(layer) +
           "\nstring data/picture.tga\n";
}

TEST_F(ReloadPictureTest, ScriptEditsShareTheLoadedPicture)
{
    picture(red);
    start(background(0));
    ASSERT_EQ(drawn(), red);
    int count = textures.count;
    for (int i = 1; i <= 100; i++) {
        write("data/demo.glm", background(i));
        reload_check();
        ASSERT_EQ(drawn(), red) << i;
    }
    EXPECT_EQ(textures.count, count);
    EXPECT_EQ(errors(), std::vector<std::string>());
}

TEST_F(ReloadPictureTest, AChangedPictureIsReadAgainAndTheOldOneFreed)
{
    picture(red);
    start(background(0) + "[background]\nid same\nstart 0\nend 100\nlayer -1\n"
                          "string data/picture.tga\n");
    int64_t memory = tex_memory();
    const Rgba colours[] = {green, blue, white, red};
    for (const Rgba &colour : colours) {
        picture(colour);
        reload_check();
        EXPECT_EQ(drawn(), colour);
        // Both sections were loaded again and share the new picture.
        EXPECT_EQ(tex_memory(), memory);
    }
    EXPECT_NE(captured.err.find("; changed files: data/picture.tga"), std::string::npos);
}
