// The sound library on its silent driver: opening files from memory,
// seeking to the sample, playing, pausing, stopping across a restart of the
// library, and the spectrum; and the stepped driver recordings play on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "sound/snd_local.h"
#include "sound/sndlib.h"
#include "tests/sound/sound_inputs.h"

static void sleepMilliseconds(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

class SoundLibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(snd_set_driver(SND_DRIVER_SILENT));
        ASSERT_TRUE(snd_init(SND_MIX_RATE, SND_MAX_CHANNELS));
    }
    void TearDown() override
    {
        for (SndStream *stream : streams)
            snd_stream_close(stream);
        snd_close();
    }
    SndStream *open(const std::string &file)
    {
        files.push_back(file);
        SndStream *stream = snd_stream_open(files.back().data(), files.back().size());
        streams.push_back(stream);
        return stream;
    }
    std::vector<std::string> files;     // kept alive as long as their streams
    std::vector<SndStream *> streams;
};

struct BadFile {
    const char *name;
    std::string bytes;
    int error;
};

TEST_F(SoundLibraryTest, FilesThatDoNotDecodeAreRefusedWithTheirReason)
{
    std::string good = toneFile(0.5f);
    const BadFile cases[] = {
        {"empty", "", SND_ERR_FILE_FORMAT},
        {"text", "[sound]\nstring music.ogg\n", SND_ERR_FILE_FORMAT},
        {"wave header", std::string("RIFF\x24\0\0\0WAVEfmt ", 16), SND_ERR_FILE_FORMAT},
        {"Ogg magic, then garbage", "OggS" + std::string(500, '\x5a'), SND_ERR_FILE_BAD},
        {"Ogg cut inside its headers", good.substr(0, 200), SND_ERR_FILE_BAD},
        {"ID3 tag and no frames", "ID3" + std::string(2000, '\0'), SND_ERR_FILE_BAD},
    };
    for (const BadFile &bad : cases) {
        SCOPED_TRACE(bad.name);
        EXPECT_EQ(snd_stream_open(bad.bytes.data(), bad.bytes.size()), nullptr);
        EXPECT_EQ(snd_last_error(), bad.error);
    }
    EXPECT_NE(open(good), nullptr);
}

// MPEG-1 layer III frames of silence: the header (128 kbit/s, 44.1 kHz,
// stereo) and zero side information, 1152 samples a frame.
static std::string silentMp3(int frames)
{
    std::string frame(417, '\0');
    frame[0] = '\xFF';
    frame[1] = '\xFB';
    frame[2] = '\x90';
    std::string file;
    for (int i = 0; i < frames; i++)
        file += frame;
    return file;
}

TEST_F(SoundLibraryTest, Mp3StreamsSeekAndPlay)
{
    SndStream *stream = open(silentMp3(100));   // 2.6 seconds
    ASSERT_NE(stream, nullptr);
    ASSERT_TRUE(snd_stream_set_time(stream, 1000));
    EXPECT_EQ(snd_stream_get_time(stream), 1000);
    ASSERT_GE(snd_stream_play(SND_FREE_CHANNEL, stream), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_GT(snd_stream_get_time(stream), 1000);
    EXPECT_EQ(snd_channels_playing(), 1);
}

// Decoding from a position must give the very samples that decoding from
// the start gives there, also when the file's rate is resampled.
TEST(SoundDecoderTest, SeekingLandsOnTheSample)
{
    for (int rate : {44100, 22050}) {
        SCOPED_TRACE(rate);
        std::string file = oggFile(sineAfterSilence(rate, 0.0f, 3.0f, 523.25f, 0.6f), rate);
        int error = SND_OK;
        SndDecoder *linear = decoder_open(reinterpret_cast<const unsigned char *>(file.data()),
                                          file.size(), &error);
        SndDecoder *seeking = decoder_open(reinterpret_cast<const unsigned char *>(file.data()),
                                           file.size(), &error);
        ASSERT_TRUE(linear && seeking);
        const int milliseconds = 1234, frames = 2048;
        // The first frame of the file's rate at or after the time, in mixed frames.
        int skip = (milliseconds * rate + 999) / 1000 * (44100 / rate);
        std::vector<float> discard(skip * 2), expected(frames * 2), actual(frames * 2);
        ASSERT_EQ(decoder_read(linear, discard.data(), skip), skip);
        ASSERT_EQ(decoder_read(linear, expected.data(), frames), frames);
        ASSERT_TRUE(decoder_seek(seeking, milliseconds));
        EXPECT_EQ(decoder_time(seeking), milliseconds);
        ASSERT_EQ(decoder_read(seeking, actual.data(), frames), frames);
        for (int i = 0; i < frames * 2; i++)
            ASSERT_NEAR(actual[i], expected[i], 1e-4f) << "sample " << i;
        decoder_close(linear);
        decoder_close(seeking);
    }
}

TEST_F(SoundLibraryTest, PausedChannelsHoldTheirPositionAndStoppedStreamsRewind)
{
    SndStream *stream = open(toneFile(3.0f));
    ASSERT_TRUE(snd_stream_set_time(stream, 1000));
    ASSERT_GE(snd_stream_play(SND_FREE_CHANNEL, stream), 0);
    sleepMilliseconds(100);
    snd_update();
    int playing = snd_stream_get_time(stream);
    EXPECT_GT(playing, 1050);
    ASSERT_TRUE(snd_set_paused(SND_ALL_CHANNELS, true));
    int paused = snd_stream_get_time(stream);
    sleepMilliseconds(100);
    snd_update();
    EXPECT_EQ(snd_stream_get_time(stream), paused);
    ASSERT_TRUE(snd_set_paused(SND_ALL_CHANNELS, false));
    sleepMilliseconds(100);
    EXPECT_GT(snd_stream_get_time(stream), paused + 50);
    ASSERT_TRUE(snd_stream_stop(stream));
    EXPECT_EQ(snd_stream_get_time(stream), 0);
    EXPECT_EQ(snd_channels_playing(), 0);
}

TEST_F(SoundLibraryTest, StreamsStayPlayableWhenTheLibraryStartsAgain)
{
    SndStream *stream = open(toneFile(2.0f));
    ASSERT_GE(snd_stream_play(SND_FREE_CHANNEL, stream), 0);
    snd_close();
    EXPECT_LT(snd_stream_play(SND_FREE_CHANNEL, stream), 0);
    EXPECT_EQ(snd_last_error(), SND_ERR_NOT_INITIALISED);
    ASSERT_TRUE(snd_init(SND_MIX_RATE, SND_MAX_CHANNELS));
    EXPECT_EQ(snd_stream_get_time(stream), 0);
    ASSERT_TRUE(snd_stream_set_time(stream, 500));
    EXPECT_GE(snd_stream_play(SND_FREE_CHANNEL, stream), 0);
    EXPECT_EQ(snd_channels_playing(), 1);
    sleepMilliseconds(50);
    EXPECT_GT(snd_stream_get_time(stream), 500);
}

TEST_F(SoundLibraryTest, MusicThatRunsOutFreesItsChannel)
{
    SndStream *stream = open(toneFile(0.1f));
    ASSERT_TRUE(snd_stream_set_time(stream, 60000));   // past the end: nothing left
    ASSERT_GE(snd_stream_play(SND_FREE_CHANNEL, stream), 0);
    SndStream *shortOne = open(toneFile(0.1f));
    ASSERT_GE(snd_stream_play(SND_FREE_CHANNEL, shortOne), 0);
    sleepMilliseconds(250);
    snd_update();
    EXPECT_EQ(snd_channels_playing(), 0);
    EXPECT_EQ(snd_stream_get_time(shortOne), 0);
}

TEST_F(SoundLibraryTest, SpectrumShowsWhatPlaysOnlyWhileAnalysisIsOn)
{
    const float level = 0.5f, frequency = 1033.6f;   // bin 24 of 1024 samples at 44.1 kHz
    SndStream *stream = open(oggFile(sineAfterSilence(44100, 0.0f, 2.0f, frequency, level), 44100));
    ASSERT_GE(snd_stream_play(SND_FREE_CHANNEL, stream), 0);
    EXPECT_EQ(snd_spectrum(), nullptr);
    snd_spectrum_enable(true);
    sleepMilliseconds(100);
    const float *spectrum = snd_spectrum();
    ASSERT_NE(spectrum, nullptr);
    int loudest = 0;
    for (int i = 1; i < SND_SPECTRUM_SIZE; i++)
        if (spectrum[i] > spectrum[loudest])
            loudest = i;
    EXPECT_EQ(loudest, 24);
    EXPECT_NEAR(spectrum[loudest], level, 0.1f);
    snd_close();
    EXPECT_EQ(snd_spectrum(), nullptr);
}

struct FrameSteps {
    float fps;
    int frames;
    int milliseconds;          // where the music is after them
};

// The stepped driver mixes what it is told and nothing else: the position is
// the sum of the steps to the sample (1/25 s as a float is a little short of
// 1764 frames, 1/24 s is 1837.5), however much wall-clock time passes.
TEST_F(SoundLibraryTest, TheSteppedDriverMovesTheMusicByTheStepsOnly)
{
    const FrameSteps cases[] = {
        {25.0f, 50, 2000},
        {24.0f, 240, 10000},
        {60.0f, 7, 116},
        {30.0f, 1, 33},
    };
    SndStream *stream = open(toneFile(12.0f));
    for (const FrameSteps &steps : cases) {
        SCOPED_TRACE(steps.fps);
        snd_close();
        ASSERT_TRUE(snd_set_driver(SND_DRIVER_STEPPED));
        ASSERT_TRUE(snd_init(SND_MIX_RATE, SND_MAX_CHANNELS));
        ASSERT_GE(snd_stream_play(SND_FREE_CHANNEL, stream), 0);
        sleepMilliseconds(30);
        snd_update();
        EXPECT_EQ(snd_stream_get_time(stream), 0);
        for (int frame = 0; frame < steps.frames; frame++)
            snd_advance(1.0f / steps.fps);
        sleepMilliseconds(30);
        snd_update();
        EXPECT_EQ(snd_stream_get_time(stream), steps.milliseconds);
        snd_advance(0.0f);     // a paused frame
        ASSERT_TRUE(snd_set_paused(SND_ALL_CHANNELS, true));
        snd_advance(1.0f);
        EXPECT_EQ(snd_stream_get_time(stream), steps.milliseconds);
        ASSERT_TRUE(snd_stream_stop(stream));
    }
}

TEST_F(SoundLibraryTest, TheRealTimeDriversIgnoreSteps)
{
    SndStream *stream = open(toneFile(12.0f));
    ASSERT_TRUE(snd_stream_set_time(stream, 1000));
    ASSERT_GE(snd_stream_play(SND_FREE_CHANNEL, stream), 0);
    snd_advance(5.0f);
    EXPECT_LT(snd_stream_get_time(stream), 2000);
}
