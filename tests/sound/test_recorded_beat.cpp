// The real engine recording a demo whose picture follows the beat: the beat
// lands on the frame of the demo time of a click in the music, however fast
// the frames were drawn.
#include "tests/sections/recorded_demo.h"
#include "tests/sound/sound_inputs.h"

class RecordedBeatTest : public DrawingTest {};

// A quad sized by the beat; the click starts at 0.55 s, so the first frame
// whose music holds it is the one at 0.6 s, frame 7 (see DrawingTest::play).
TEST_F(RecordedBeatTest, TheBeatIsOnTheFrameOfTheClick)
{
    dataFile("click.ogg", oggFile(sineAfterSilence(44100, 0.55f, 0.1f, 1000.0f, 0.9f), 44100));
    std::vector<Frame> frames =
        play(timed("[sound]\nstring " + dataPath("click.ogg") + "\n") +
                 timed("[image2]\nstring data/quadrants.tga\nstring tx=0; ty=0; tz=0;\n"
                       "string rx=0; ry=0; rz=0;\nstring sx=0.01; sy=0.01; sz=1;\n"
                       "string w=100*beat; h=100*beat;\n"),
             1.0f, "sound 1\n");
    ASSERT_EQ(frames.size(), 10u);
    EXPECT_NE(log.find("Sound: stepped (no device, demo time)"), std::string::npos) << log;
    for (int n = 1; n < 10; n++)
        EXPECT_EQ(frames[n].at(330, 230) == black, n < 7) << "frame " << n;
}
