// The free camera of debug runs: speeds, the keys that stop it, and the
// positions it records to "camera.cam".
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "graphics/camera.h"
#include "kernel/demo.h"
#include "sections/cameras.h"
#include "tests/support/kernel_fixture.h"

class FreeCamera : public KernelTest {
protected:
    void SetUp() override
    {
        KernelTest::SetUp();
        memset(demoSystem.keys, 0, sizeof demoSystem.keys);
        demoSystem.mouseButtons = 0;
        camera = camera_new();
        // The axes a default view leaves: forward is -z.
        camera->right = {1, 0, 0};
        camera->back = {0, 0, 1};
        fly(1.0f);   // no momentum left over from another test
        camera_reset(camera);
    }
    void TearDown() override
    {
        memset(demoSystem.keys, 0, sizeof demoSystem.keys);
        free(camera);
        KernelTest::TearDown();
    }
    // Flies in frames of 1/100 second.
    void fly(float seconds)
    {
        for (int frame = 0; frame < static_cast<int>(seconds * 100 + 0.5f); frame++)
            camera_fly(camera, 0.01f);
    }
    Camera *camera;
};

TEST_F(FreeCamera, ForwardSpeedIsHeldTo15AndStopsWithin075SecondsOfRelease)
{
    demoSystem.keys['h'] = 1;
    fly(1.0f);
    float before = camera->position.z;
    fly(1.0f);
    // Full speed along -back: 15 units in a second, target alongside.
    EXPECT_NEAR(before - camera->position.z, 15.0f, 0.01f);
    EXPECT_NEAR(camera->target.z - camera->position.z, -100.0f, 0.001f);
    demoSystem.keys['h'] = 0;
    fly(0.76f);
    float stopped = camera->position.z;
    fly(0.5f);
    EXPECT_EQ(camera->position.z, stopped);
}

TEST_F(FreeCamera, SidewaysAlongTheRightAxis)
{
    demoSystem.keys['m'] = 1;
    fly(2.0f);
    EXPECT_GT(camera->position.x, 20.0f);
    EXPECT_EQ(camera->position.z, 0.0f);
}

TEST_F(FreeCamera, ADigitKeyOrADebugOffRunFreezesEverything)
{
    demoSystem.keys['h'] = demoSystem.keys['u'] = 1;
    demoSystem.keys['1'] = 1;
    fly(0.5f);
    demoSystem.keys['1'] = 0;
    demoSystem.debug = 0;
    fly(0.5f);
    EXPECT_EQ(camera->position.z, 0.0f);
    EXPECT_EQ(camera->fov, 90.0f);
}

TEST_F(FreeCamera, MouseLookFollowsTheOffsetWhileTheLeftButtonIsHeld)
{
    demoSystem.mouseDeltaX = 32;
    demoSystem.mouseDeltaY = -16;
    camera_fly(camera, 0.01f);
    EXPECT_EQ(camera->angles.y, 0.0f);
    demoSystem.mouseButtons = 1;
    camera_fly(camera, 0.01f);
    EXPECT_EQ(camera->angles.y, 2.0f);
    EXPECT_EQ(camera->angles.x, -1.0f);
}

TEST_F(FreeCamera, OnePressOfCAppendsOneLineOfThirteenFields)
{
    ScratchDirectory scratch;
    char *previous = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(scratch.path().c_str()), 0);
    camera_set_position(camera, 1, 2, 3);
    camera_set_roll(camera, 4.5f);
    demoSystem.keys['c'] = 1;
    fly(0.05f);
    demoSystem.keys['c'] = 1;
    camera_fly(camera, 0.01f);
    std::ifstream file("camera.cam");
    std::string text((std::istreambuf_iterator<char>(file)), {});
    ASSERT_EQ(chdir(previous), 0);
    free(previous);
    const std::string line = "1.000000\t2.000000\t3.000000\t0.000000\t0.000000\t0.000000\t"
                             "0.000000\t0.000000\t-100.000000\t90.000000\t0.100000\t"
                             "1000.000000\t4.500000\n";
    EXPECT_EQ(text, line + line);
    EXPECT_EQ(demoSystem.keys['c'], 0);
}
