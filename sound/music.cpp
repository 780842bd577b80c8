// Music playback and the sound section: the music is positioned from the
// demo time whenever its section starts, so pausing, seeking and restarting
// the demo all land on the right note.
#include "sound/music.h"

#include <GL/gl.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "graphics/draw2d.h"
#include "kernel/demo.h"
#include "kernel/log.h"
#include "kernel/script.h"
#include "kernel/section.h"
#include "kernel/timeline.h"
#include "sound/sndlib.h"

static const float REQUIRED_SOUND_VERSION = 3.75f;
static const float DEFAULT_HISTORY_START = 0.0f;
static const float DEFAULT_BEAT_THRESHOLD = 1.4f;
static const float DEFAULT_BEAT_DECAY = 4.0f;
static const float SPECTRUM_BIN_WIDTH = 0.0015625f;   // 1/640 of the screen per bin

enum { SOUND_PARAMS = 3 };

struct ErrorText {
    int code;
    const char *text;
};

static const ErrorText errorTexts[] = {
    {SND_OK, "No errors"},
    {SND_ERR_ALREADY_INITIALISED, "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first."},
    {SND_ERR_NOT_INITIALISED, "This command failed because FSOUND_Init was not called"},
    {SND_ERR_INIT, "Error initializing output device."},
    {SND_ERR_DEVICE_BUSY, "The output device is already in use and cannot be reused."},
    {SND_ERR_PLAY, "Playing the sound failed."},
    {SND_ERR_OUTPUT_FORMAT, "Soundcard does not support the features needed for this soundsystem (16bit stereo output)"},
    {SND_ERR_COOPERATIVE_LEVEL, "Error setting cooperative level for hardware."},
    {SND_ERR_CREATE_BUFFER, "Error creating hardware sound buffer."},
    {SND_ERR_FILE_NOT_FOUND, "File not found"},
    {SND_ERR_FILE_FORMAT, "Unknown file format"},
    {SND_ERR_FILE_BAD, "Error loading file"},
    {SND_ERR_MEMORY, "Not enough memory "},
    {SND_ERR_VERSION, "The version number of this file format is not supported"},
    {SND_ERR_INVALID_PARAM, "An invalid parameter was passed to this function"},
    {SND_ERR_NO_EFFECTS, "Tried to use an EAX command on a non EAX enabled channel or output."},
    {SND_ERR_CHANNEL_ALLOC, "Failed to allocate a new channel"},
    {SND_ERR_RECORD, "Recording not supported on this device"},
    {SND_ERR_CODEC, "Required Mediaplayer codec is not installed"},
};

const char *soundErrorText(int code)
{
    for (const ErrorText &entry : errorTexts)
        if (entry.code == code)
            return entry.text;
    return "Unknown error";
}

static const char *lastErrorText()
{
    return soundErrorText(snd_last_error());
}

// ---------------------------------------------------------------------------
// The library

static bool startDriver(int driver)
{
    return snd_set_driver(driver) && snd_init(SND_MIX_RATE, SND_MAX_CHANNELS);
}

// The driver that started, or snd_driver_count() if none did. A recording
// advances by a fixed step, not in real time, so its music is mixed by the
// demo time on the stepped driver and the beat follows the recorded frames.
// Otherwise the first real-time driver that starts wins; the silent one,
// last of them, always does.
static int startFirstDriver()
{
    if (demoSystem.record && startDriver(SND_DRIVER_STEPPED))
        return SND_DRIVER_STEPPED;
    int driver = 0;
    while (driver < snd_driver_count() && (driver == SND_DRIVER_STEPPED || !startDriver(driver)))
        driver++;
    return driver;
}

void startSound()
{
    if (snd_version() < REQUIRED_SOUND_VERSION) {
        engineError("Wrong FMOD version\nIt should be %.02f", REQUIRED_SOUND_VERSION);
        return;
    }
    if (!snd_set_output(SND_OUTPUT_SDL)) {
        engineError("FMod: %s", lastErrorText());
        return;
    }
    int driver = startFirstDriver();
    if (driver == snd_driver_count()) {
        engineError("FMod: %s", lastErrorText());
        return;
    }
    engineTrace("Sound: %s", snd_driver_name(driver));
}

void stopSound()
{
    snd_close();
}

void pauseAllSound()
{
    snd_set_paused(SND_ALL_CHANNELS, true);
}

void resumeAllSound()
{
    snd_set_paused(SND_ALL_CHANNELS, false);
}

void updateSound()
{
    snd_advance(demoSystem.timeStep);
    snd_update();
}

float soundCpuUsage()
{
    return snd_cpu_usage();
}

int soundChannelsPlaying()
{
    return snd_channels_playing();
}

// ---------------------------------------------------------------------------
// The beat detector

void beat_reset(BeatDetector *detector, float historyStart, float beatThreshold, float beatDecay)
{
    for (float &energy : detector->energyHistory)
        energy = historyStart;
    detector->historyStart = historyStart;
    detector->beatThreshold = beatThreshold;
    detector->beatDecay = beatDecay;
    detector->beatValue = 0.0f;
    detector->historyCount = 1;
}

// Until the history is full the divisor counts the frames stored so far
// plus one; then the oldest energy makes room for the newest.
static void rememberEnergy(BeatDetector *detector, float energy)
{
    if (detector->historyCount < BEAT_HISTORY_SIZE) {
        detector->energyHistory[detector->historyCount - 1] = energy;
        detector->historyCount++;
        return;
    }
    memmove(detector->energyHistory, detector->energyHistory + 1,
            (BEAT_HISTORY_SIZE - 1) * sizeof(float));
    detector->energyHistory[BEAT_HISTORY_SIZE - 1] = energy;
}

float beat_detect(BeatDetector *detector, const float *spectrum, float timeStep)
{
    float energy = 0.0f;
    for (int i = 0; i < SND_SPECTRUM_SIZE; i++)
        energy += spectrum[i];
    float historySum = 0.0f;
    for (float past : detector->energyHistory)
        historySum += past;
    float average = historySum / detector->historyCount;
    // An average of 0 makes every frame with some energy a beat.
    bool isBeat = average == 0.0f ? energy > 0.0f : energy / average > detector->beatThreshold;
    if (isBeat) {
        detector->beatValue = 1.0f;
    } else if (detector->beatValue > 0.0f) {
        detector->beatValue -= detector->beatDecay * timeStep;
        if (detector->beatValue < 0.0f)
            detector->beatValue = 0.0f;
    }
    rememberEnergy(detector, energy);
    return detector->beatValue;
}

// ---------------------------------------------------------------------------
// The sound section

// The section's data once its music opened, or null.
static SoundVars *playableVars()
{
    SoundVars *vars = static_cast<SoundVars *>(currentSection->vars);
    return vars && vars->stream ? vars : nullptr;
}

// Whole milliseconds of `seconds`, the fraction dropped.
static int wholeMilliseconds(float seconds)
{
    float milliseconds = seconds * 1000.0f;
    return milliseconds >= static_cast<float>(INT_MAX) ? INT_MAX : static_cast<int>(milliseconds);
}

void soundLoad()
{
    if (!demoSystem.sound)
        return;
    Section *section = currentSection;
    if (section->stringNum != 1) {
        sectionError("1 string needed");
        if (section->stringNum < 1)
            return;            // no file name to go on with
    }
    SoundVars *vars = static_cast<SoundVars *>(calloc(1, sizeof(SoundVars)));
    section->vars = vars;
    const char *name = section->strings[0];
    FILE *file = fopen(name, "rb");
    if (!file) {
        sectionError("file '%s' not found", name);
        return;
    }
    vars->fileData = loadOpenFile(file, &vars->fileSize);
    if (!vars->fileData)
        return;                // loadOpenFile has said why
    vars->stream = snd_stream_open(vars->fileData, vars->fileSize);
    if (!vars->stream) {
        sectionError("FMod: %s", lastErrorText());
        free(vars->fileData);  // nothing will read it
        vars->fileData = nullptr;
    }
    if (section->paramNum != 0 && section->paramNum != SOUND_PARAMS)
        sectionError("sound: 3 params needed");
}

void soundInit()
{
    SoundVars *vars = playableVars();
    if (!demoSystem.sound || demoSystem.state != STATE_PLAYING || !vars)
        return;
    const Section *section = currentSection;
    // A section that starts on time plays from the beginning of the music.
    if (section->elapsed > 0.0f &&
        !snd_stream_set_time(vars->stream, wholeMilliseconds(section->elapsed)))
        sectionError("FMod: %s", lastErrorText());
    vars->channel = snd_stream_play(SND_FREE_CHANNEL, vars->stream);
    if (vars->channel < 0)
        sectionError("FMod: %s", lastErrorText());
    snd_spectrum_enable(true);
    if (section->paramNum == 0)
        beat_reset(&vars->detector, DEFAULT_HISTORY_START, DEFAULT_BEAT_THRESHOLD, DEFAULT_BEAT_DECAY);
    else
        beat_reset(&vars->detector, section->param[0], section->param[1], section->param[2]);
}

// Debug aid: the spectrum as one vertical line per bin along the bottom.
static void drawSpectrum(const Section *section, const float *spectrum)
{
    glDisable(GL_DEPTH_TEST);
    if (section->blendEnabled) {
        glEnable(GL_BLEND);
        glBlendFunc(section->sfactor, section->dfactor);
    }
    ortho_begin();
    glDisable(GL_TEXTURE_2D);
    glColor3f(1.0f, 1.0f, 1.0f);
    glBegin(GL_LINES);
    for (int i = 0; i < SND_SPECTRUM_SIZE; i++) {
        glVertex2f(i * SPECTRUM_BIN_WIDTH, 0.0f);
        glVertex2f(i * SPECTRUM_BIN_WIDTH, spectrum[i]);
    }
    glEnd();
    glEnable(GL_TEXTURE_2D);
    ortho_end();
    if (section->blendEnabled)
        glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
}

void soundExec()
{
    const float *spectrum = snd_spectrum();
    SoundVars *vars = playableVars();
    // A section that became active while the demo was paused has not been
    // started, and its detector has no history to divide by yet.
    if (!spectrum || !vars || vars->detector.historyCount == 0)
        return;
    demoSystem.beat = beat_detect(&vars->detector, spectrum, demoSystem.timeStep);
    if (demoSystem.debug && demoSystem.timing)
        drawSpectrum(currentSection, spectrum);
}

void soundEnd()
{
    SoundVars *vars = playableVars();
    if (demoSystem.sound && vars)
        snd_stream_stop(vars->stream);
}
