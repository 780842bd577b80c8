// The sound section in the timeline, on the silent driver: the music starts
// where the demo time says, stops while paused, starts again after a
// restart; the beat detector; load errors; and nothing at all with sound off.
// Recordings: the music follows the stepped demo time, and so does the beat.
#include <cstdlib>
#include <string>
#include <thread>

#include "kernel/demo.h"
#include "kernel/section.h"
#include "kernel/timeline.h"
#include "sound/music.h"
#include "sound/sndlib.h"
#include "tests/sound/sound_inputs.h"
#include "tests/support/kernel_fixture.h"

void retireSections();
void activateSections();
void executeSections();

// Positions are read from the wall-clock driven silent driver, so they may
// be a little past the exact value.
static const int LATE_MS = 400;

class MusicTest : public KernelTest {
protected:
    void SetUp() override
    {
        KernelTest::SetUp();
        // SDL cannot open a device of that name, so the silent driver plays.
        setenv("SDL_AUDIODRIVER", "glimra-no-device", 1);
        demoSystem.sound = 1;
        demoSystem.timing = 0;
        demoSystem.state = STATE_PLAYING;
        demoSystem.demo_start = 0.0f;
        demoSystem.demo_end = 60.0f;
        demoSystem.timeStep = 0.0f;
        demoSystem.beat = 0.0f;
        demoSystem.record = 0;
        demoSystem.readyQueue = demoSystem.runQueue = nullptr;
        startSound();
    }
    void TearDown() override
    {
        stopSound();
        demoSystem.readyQueue = demoSystem.runQueue = nullptr;
        KernelTest::TearDown();
    }
    // Ends the running sections, so that no music plays from a freed file,
    // and frees every section.
    void forgetSections()
    {
        for (Section *section = demoSystem.runQueue; section; section = section->runNext)
            callOperation(section, &SectionType::end);
        demoSystem.readyQueue = demoSystem.runQueue = nullptr;
        freeAllSections();
    }
    // A loaded sound section over `file` (written to the scratch directory),
    // with extra lines appended to its text.
    Section *loadSound(const std::string &file, const std::string &extra = "")
    {
        std::string path = scratch.write("music.ogg", file);
        parse("[sound]\nstart 0\nend 60\nstring " + path + "\n" + extra);
        Section *section = demoSystem.sectionList;
        callOperation(section, &SectionType::load);
        return section;
    }
    // The section pass of one frame at `time`, without drawing.
    void frameAt(float time)
    {
        demoSystem.currentTime = time;
        retireSections();
        activateSections();
        executeSections();
    }
    void startAt(float time)
    {
        demoSystem.currentTime = time;
        rebuildQueues();
        frameAt(time);
    }
    static int musicTime(const Section *section)
    {
        return snd_stream_get_time(static_cast<SoundVars *>(section->vars)->stream);
    }
    ScratchDirectory scratch;
};

TEST_F(MusicTest, WithoutADeviceTheSilentDriverPlays)
{
    EXPECT_NE(captured.debugger.find("Sound: silent (no device)"), std::string::npos);
    EXPECT_TRUE(errors().empty());
}

struct LateStart {
    float sectionStart;
    float time;
    int milliseconds;
};

TEST_F(MusicTest, MusicStartsWhereTheSectionTimeIs)
{
    std::string file = toneFile(40.0f, 22050);
    const LateStart cases[] = {
        {0.0f, 30.0f, 30000},
        {0.0f, 12.3456f, 12345},   // the fraction of a millisecond dropped
        {5.0f, 5.0f, 0},           // on time: from the beginning
    };
    for (const LateStart &late : cases) {
        SCOPED_TRACE(late.time);
        forgetSections();
        Section *section = loadSound(file, "start " + std::to_string(late.sectionStart) + "\n");
        startAt(late.time);
        EXPECT_GE(musicTime(section), late.milliseconds);
        EXPECT_LT(musicTime(section), late.milliseconds + LATE_MS);
    }
    EXPECT_TRUE(errors().empty());
}

TEST_F(MusicTest, PausingStopsTheMusicAndPlayingResumesAtThePausedTime)
{
    Section *section = loadSound(toneFile(20.0f));
    startAt(10.0f);
    ASSERT_EQ(soundChannelsPlaying(), 1);
    timeline::pause();
    int paused = musicTime(section);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(musicTime(section), paused);
    // Every paused frame ends and re-inits the section; init waits for play.
    rebuildQueues();
    frameAt(10.0f);
    EXPECT_EQ(soundChannelsPlaying(), 0);
    timeline::play();
    frameAt(10.0f);
    EXPECT_EQ(soundChannelsPlaying(), 1);
    EXPECT_GE(musicTime(section), 10000);
    EXPECT_LT(musicTime(section), 10000 + LATE_MS);
}

TEST_F(MusicTest, RestartPlaysFromTheDemoStartOnTheRestartedLibrary)
{
    Section *section = loadSound(toneFile(30.0f));
    demoSystem.demo_start = 5.0f;
    startAt(20.0f);
    ASSERT_GE(musicTime(section), 20000);
    timeline::restart();
    frameAt(demoSystem.currentTime);
    EXPECT_EQ(soundChannelsPlaying(), 1);
    EXPECT_GE(musicTime(section), 5000);
    EXPECT_LT(musicTime(section), 5000 + LATE_MS);
    EXPECT_TRUE(errors().empty());
}

struct LoadCase {
    const char *name;
    const char *fileText;      // null: no file at all
    const char *extraLines;
    const char *message;
};

TEST_F(MusicTest, FilesAndSettingsThatDoNotLoadGiveTheirMessages)
{
    std::string good = toneFile(1.0f);
    const LoadCase cases[] = {
        {"empty", "", "", "FMod: Unknown file format"},
        {"not music", "hello", "", "FMod: Unknown file format"},
        {"corrupt", "OggS and then nothing that decodes", "", "FMod: Error loading file"},
        {"two params", nullptr, "param 0 1.4\n", "sound: 3 params needed"},
    };
    for (const LoadCase &bad : cases) {
        SCOPED_TRACE(bad.name);
        forgetSections();
        captured.err.clear();
        loadSound(bad.fileText ? bad.fileText : good, bad.extraLines);
        EXPECT_EQ(errors(), std::vector<std::string>{std::string("sound (0, 0.000000 -> 60.000000): ") +
                                                     bad.message});
        startAt(1.0f);   // a section whose music did not open must not play or crash
    }
}

TEST_F(MusicTest, AMissingFileOrNameIsReported)
{
    parse("[sound]\nstart 0\nend 60\nstring nothere/music.ogg\n[sound]\nstart 0\nend 60\n");
    for (Section *section = demoSystem.sectionList; section; section = section->next)
        callOperation(section, &SectionType::load);
    EXPECT_EQ(errors(), (std::vector<std::string>{
                            "sound (0, 0.000000 -> 60.000000): 1 string needed",
                            "sound (0, 0.000000 -> 60.000000): file 'nothere/music.ogg' not found"}));
    startAt(1.0f);
    EXPECT_EQ(soundChannelsPlaying(), 0);
}

// Steady energy e after a start from 0: the average is k e / (k + 1) after
// k frames, so frames 1 to 3 are beats (ratios infinite, 2, 1.5) and then
// the value falls by beatDecay per second; with no time passing it holds.
TEST(BeatDetectorTest, BeatsOnRisingEnergyAndFallsByTheDecay)
{
    float steady[SND_SPECTRUM_SIZE], silent[SND_SPECTRUM_SIZE] = {};
    std::fill(steady, steady + SND_SPECTRUM_SIZE, 0.01f);
    BeatDetector detector;
    beat_reset(&detector, 0.0f, 1.4f, 4.0f);
    EXPECT_EQ(beat_detect(&detector, silent, 1 / 60.0f), 0.0f);
    beat_reset(&detector, 0.0f, 1.4f, 4.0f);
    const float step = 1 / 60.0f;
    for (int frame = 1; frame <= 3; frame++)
        EXPECT_EQ(beat_detect(&detector, steady, step), 1.0f) << "frame " << frame;
    EXPECT_FLOAT_EQ(beat_detect(&detector, steady, step), 1.0f - 4.0f * step);
    EXPECT_FLOAT_EQ(beat_detect(&detector, steady, 0.0f), 1.0f - 4.0f * step);   // paused
    for (int frame = 0; frame < 14; frame++)
        beat_detect(&detector, steady, step);
    EXPECT_NEAR(detector.beatValue, 0.0f, 1e-6f);   // a quarter of a second after the beat
    float spike[SND_SPECTRUM_SIZE];
    std::fill(spike, spike + SND_SPECTRUM_SIZE, 0.015f);   // 1.5 times the average
    EXPECT_EQ(beat_detect(&detector, spike, step), 1.0f);
}

TEST(BeatDetectorTest, AFullHistoryDropsItsOldestEnergy)
{
    float loud[SND_SPECTRUM_SIZE], quiet[SND_SPECTRUM_SIZE];
    std::fill(loud, loud + SND_SPECTRUM_SIZE, 1.0f);
    std::fill(quiet, quiet + SND_SPECTRUM_SIZE, 0.001f);
    BeatDetector detector;
    beat_reset(&detector, 0.0f, 1.4f, 4.0f);
    beat_detect(&detector, loud, 0.0f);
    for (int frame = 0; frame < BEAT_HISTORY_SIZE + 10; frame++)
        beat_detect(&detector, quiet, 0.0f);
    EXPECT_EQ(detector.historyCount, BEAT_HISTORY_SIZE);
    EXPECT_NEAR(detector.energyHistory[0], SND_SPECTRUM_SIZE * 0.001f, 1e-5f);
}

TEST_F(MusicTest, ABurstInTheMusicIsABeat)
{
    std::string file = oggFile(sineAfterSilence(44100, 0.3f, 1.0f, 200.0f, 0.8f), 44100);
    loadSound(file);
    startAt(0.0f);
    EXPECT_EQ(demoSystem.beat, 0.0f);
    demoSystem.timeStep = 0.01f;
    for (int frame = 0; frame < 200 && demoSystem.beat < 1.0f; frame++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        updateSound();
        frameAt(0.0f);
    }
    EXPECT_EQ(demoSystem.beat, 1.0f);
}

TEST_F(MusicTest, WithSoundOffNothingLoadsOrPlays)
{
    stopSound();
    demoSystem.sound = 0;
    Section *section = loadSound(toneFile(2.0f));
    EXPECT_EQ(section->vars, nullptr);
    startAt(0.5f);
    frameAt(0.6f);
    EXPECT_EQ(soundChannelsPlaying(), 0);
    EXPECT_EQ(soundCpuUsage(), 0.0f);
    EXPECT_EQ(demoSystem.beat, 0.0f);
    EXPECT_TRUE(errors().empty());
}

// A recording: the engine's sound starts again with `record` set, and frames
// advance by a fixed step as the main loop does it.
class RecordedMusicTest : public MusicTest {
protected:
    void SetUp() override
    {
        MusicTest::SetUp();
        stopSound();
        demoSystem.record = 1;
        startSound();
    }
    void TearDown() override
    {
        MusicTest::TearDown();
        demoSystem.record = 0;
    }
    // One recorded frame at the current time: the sections run, the time
    // moves on by `step` and the sound library does its frame's work.
    void recordedFrame(float step)
    {
        frameAt(demoSystem.currentTime);
        demoSystem.timeStep = step;
        demoSystem.currentTime += step;
        updateSound();
    }
};

TEST_F(RecordedMusicTest, TheMusicFollowsTheDemoTimeOnThePausesAndRestarts)
{
    EXPECT_NE(captured.debugger.find("Sound: stepped (no device, demo time)"), std::string::npos);
    Section *section = loadSound(toneFile(30.0f));
    demoSystem.demo_start = 2.0f;
    startAt(12.3456f);
    EXPECT_EQ(musicTime(section), 12345);   // a late start, the fraction dropped
    for (int frame = 0; frame < 25; frame++)
        recordedFrame(0.04f);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(musicTime(section), 13345);   // 25 frames of 40 ms, whatever the wall clock did
    timeline::pause();
    rebuildQueues();
    recordedFrame(0.0f);
    EXPECT_EQ(soundChannelsPlaying(), 0);
    timeline::play();
    recordedFrame(0.04f);
    EXPECT_EQ(musicTime(section), 13385);
    timeline::restart();
    EXPECT_NE(captured.debugger.rfind("Sound: stepped (no device, demo time)"),
              captured.debugger.find("Sound: stepped (no device, demo time)"));
    recordedFrame(0.04f);
    EXPECT_EQ(musicTime(section), 2040);
    EXPECT_TRUE(errors().empty());
}

// A loud click at 1.5 s of a silent track is a beat on the first recorded
// frame whose music reaches it, whether frames are drawn faster or slower
// than real time.
TEST_F(RecordedMusicTest, TheBeatComesAtTheDemoSecondOfTheClick)
{
    const float click = 1.5f, step = 0.04f;
    std::string file = oggFile(sineAfterSilence(44100, click, 0.1f, 1000.0f, 0.9f), 44100);
    for (int drawMilliseconds : {0, 60}) {
        SCOPED_TRACE(drawMilliseconds);
        forgetSections();
        // A fresh library, so that no earlier case's music is in the spectrum.
        stopSound();
        startSound();
        loadSound(file);
        demoSystem.beat = 0.0f;
        startAt(0.0f);
        while (demoSystem.beat < 1.0f && demoSystem.currentTime < 3.0f) {
            std::this_thread::sleep_for(std::chrono::milliseconds(drawMilliseconds));
            recordedFrame(step);
        }
        // The frame that saw the beat was drawn one step before the time now.
        float beatTime = demoSystem.currentTime - step;
        EXPECT_GT(beatTime, click);
        EXPECT_LE(beatTime, click + step + 0.001f);
    }
}
