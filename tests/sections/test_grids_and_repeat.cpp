// The grid and repeat sections without a window: every validation message
// provoked by a script, the timing of repeated runs through a recording
// inner type, and editor edits of repeat sections, whose inner section
// shares the outer one's inputs.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "kernel/demo.h"
#include "kernel/section.h"
#include "kernel/timeline.h"
#include "net/editor.h"
#include "sections/grids.h"
#include "tests/support/kernel_fixture.h"

// A spline file for control point (i, j) of efxDeform, moved by 10 pixels.
static std::string controlSpline(const ScratchDirectory &scratch, const char *name, const char *i,
                                 const char *j)
{
    std::string key = std::string(i) + " " + j + " 10 0 0\n";
    return scratch.write(name, key + key);
}

struct GridValidationCase {
    const char *type;
    const char *lines;   // after the time window; "@" stands for the scratch directory
    const char *message; // the whole error line; empty: loads cleanly
};

// Without a window no driver has been asked for its evaluator order, so
// control grids may be as large as every driver allows: 8.
static const GridValidationCase gridCases[] = {
    {"efxDeform", "param 3 8\n", "efxDeform (3, 0.000000 -> 10.000000): 3 params needed"},
    {"efxDeform", "param 3 8 8 1\n", "efxDeform (3, 0.000000 -> 10.000000): 3 params needed"},
    {"efxDeform", "param 1 8 8\n",
     "efxDeform (3, 0.000000 -> 10.000000): grid size 1 outside 2 to 8 (the evaluator order "
     "limit)"},
    {"efxDeform", "param 9 8 8\n",
     "efxDeform (3, 0.000000 -> 10.000000): grid size 9 outside 2 to 8 (the evaluator order "
     "limit)"},
    {"efxDeform", "param 99999999999 8 8\n",
     "efxDeform (3, 0.000000 -> 10.000000): grid size 2147483647 outside 2 to 8 (the evaluator "
     "order limit)"},
    {"efxDeform", "param 3 8 8\nspline @/inside.spl\nspline @/beyond.spl\n",
     "efxDeform (3, 0.000000 -> 10.000000): spline 1 moves control point (3, 0) outside the 3 x 3 "
     "grid"},
    {"efxDeform", "param 3 8 8\nspline @/negative.spl\n",
     "efxDeform (3, 0.000000 -> 10.000000): spline 0 moves control point (0, -1) outside the 3 x 3 "
     "grid"},
    {"efxDeform", "param 3 8 8\nspline @/inside.spl\n", ""},
    {"efxSwirl", "param 0 1\nspline @/inside.spl\n",
     "efxSwirl (3, 0.000000 -> 10.000000): 3 params needed"},
    {"efxSwirl", "param 0 1 1\n", "efxSwirl (3, 0.000000 -> 10.000000): 1 spline needed"},
    {"efxSwirl", "param 0 1 1\nspline @/inside.spl\nspline @/inside.spl\n",
     "efxSwirl (3, 0.000000 -> 10.000000): 1 spline needed"},
    {"efxRenderMesh", "param 0 1\n", "efxRenderMesh (3, 0.000000 -> 10.000000): 3 params needed"},
    {"efxRenderMesh2", "string u = 1;\n",
     "efxRenderMesh2 (3, 0.000000 -> 10.000000): 2 strings needed (equation for deformation and "
     "RGBA variation)"},
    {"efxRepeat", "param 1 1\nstring image\n",
     "efxRepeat (3, 0.000000 -> 10.000000): 3 float(s) needed"},
    {"efxRepeat", "param 1 1 0\n", "efxRepeat (3, 0.000000 -> 10.000000): 1 string(s) needed"},
    {"efxRepeat", "param 1 1 0\nstring nosuch\n",
     "efxRepeat (3, 0.000000 -> 10.000000): unknown section 'nosuch'"},
    // The inner section reports as itself: its type, the outer layer and
    // its own window, from the outer start for the inner duration.
    {"efxRepeat", "param 2 1.5 0\nstring IMAGE\n",
     "image (3, 0.000000 -> 1.500000): image: 1 string needed"},
    {"efxRepeat", "param 2 1 0 1 0.5 0\nstring efxRepeat\nstring efxSwirl\n",
     "efxSwirl (3, 0.000000 -> 0.500000): 3 params needed"},
};

class GridValidation : public KernelTest
{
};

TEST_F(GridValidation, EachMessageIsProvokedByAScriptAndLaterOperationsDoNothing)
{
    ScratchDirectory scratch;
    controlSpline(scratch, "inside.spl", "2", "2.9");
    controlSpline(scratch, "beyond.spl", "3", "0");
    controlSpline(scratch, "negative.spl", "0", "-1");
    for (const GridValidationCase &test : gridCases) {
        SCOPED_TRACE(std::string(test.type) + ": " + test.lines);
        freeAllSections();
        captured.err.clear();
        std::string lines = test.lines;
        for (size_t at; (at = lines.find('@')) != std::string::npos;)
            lines.replace(at, 1, scratch.path());
        parse(std::string("[") + test.type + "]\nid s\nstart 0\nend 10\nlayer 3\n" + lines);
        Section *section = demoSystem.sectionList;
        ASSERT_NE(section, nullptr);
        setupSplines(section);
        callOperation(section, &SectionType::load);
        std::vector<std::string> expected;
        if (*test.message)
            expected.push_back(test.message);
        EXPECT_EQ(errors(), expected);
        if (*test.message) {
            callOperation(section, &SectionType::init);
            callOperation(section, &SectionType::exec);
            callOperation(section, &SectionType::end);
            EXPECT_EQ(errors(), expected);
        }
    }
}

// efxRenderMesh's texture coordinates stay finite in every mode at every
// moment, mode 7's logarithm of a sine at or below 0 included; modes above
// 8 and below 0 leave the grid as it is, mode 0 shifts it by 1 %.
TEST(RenderMesh, CoordinatesAreFiniteInEveryModeAndOthersAreUndistorted)
{
    int undefinedLogarithms = 0;
    for (int mode = -1; mode <= 9; mode++) {
        for (double seconds = 0; seconds < 10; seconds += 0.013) {
            for (int i = 0; i < RENDER_MESH_SIZE; i++) {
                for (int j = 0; j < RENDER_MESH_SIZE; j++) {
                    double u, v;
                    renderMeshCoordinate(mode, i, j, seconds, 120, &u, &v);
                    ASSERT_TRUE(std::isfinite(u) && std::isfinite(v))
                        << "mode " << mode << " at " << seconds << " s, point " << i << ", " << j;
                    if (mode == -1 || mode == 9) {
                        EXPECT_EQ(u, i / 20.0);
                        EXPECT_EQ(v, j / 20.0);
                    } else if (mode == 0) {
                        EXPECT_DOUBLE_EQ(u, i / 20.0 + 0.01);
                        EXPECT_DOUBLE_EQ(v, j / 20.0 + 0.01);
                    }
                }
            }
            const double phi = 120 * 0.008333334 * seconds;
            if (mode == 7 && std::sin(std::cos(std::tan(phi))) <= 0)
                undefinedLogarithms++;
        }
    }
    // The sweep did reach moments where the logarithm has no finite value.
    EXPECT_GT(undefinedLogarithms, 0);
}

// ---------------------------------------------------------------------------
// Repeated runs, watched through an inner type that records its calls.

static std::vector<std::string> innerCalls;

static void recordInner(const char *operation, bool withSettings = false)
{
    const Section *inner = currentSection;
    char line[160];
    snprintf(line, sizeof line, "%s %g", operation, demoSystem.currentTime);
    std::string text = line;
    if (std::string(operation) == "exec") {
        snprintf(line, sizeof line, " t=%g", inner->elapsed);
        text += line;
    }
    if (withSettings) {
        snprintf(
            line, sizeof line,
            " window %g-%g layer %d blend %d %d %d alpha %d %d %g %g params %d %g strings %d %s",
            inner->startTime, inner->endTime, inner->layer, inner->blendEnabled, inner->sfactor,
            inner->dfactor, inner->alphaEnabled, inner->alphaFunc, inner->alpha1, inner->alpha2,
            inner->paramNum, inner->param[0], inner->stringNum,
            inner->stringNum ? inner->strings[0] : "");
        text += line;
    }
    innerCalls.push_back(text);
}

static void innerLoad() { recordInner("load", true); }
static void innerInit() { recordInner("init"); }
// Samples the shared spline, so that a stale spline would be read here.
static void innerExec()
{
    if (currentSection->splineNum > 0) {
        float values[32];
        sectionSpline(0, currentSection->elapsed, values);
    }
    recordInner("exec");
}
static void innerEnd() { recordInner("end"); }
static void nothing() {}

class RepeatTest : public KernelTest
{
protected:
    void SetUp() override
    {
        KernelTest::SetUp();
        for (int i = 0; i < SECTION_TYPE_COUNT; i++)
            types[i] = sectionTypes[i];
        // "image" stands for any inner type.
        types[findSectionType("image")] = {"image",   nothing,   innerLoad,
                                           innerInit, innerExec, innerEnd};
        useSectionTypes(types);
        innerCalls.clear();
        demoSystem.sound = 0;
        demoSystem.demo_start = 0.0f;
        demoSystem.demo_end = 20.0f;
        demoSystem.state = STATE_PLAYING;
        demoSystem.readyQueue = demoSystem.runQueue = nullptr;
    }
    void TearDown() override
    {
        useSectionTypes(nullptr);
        demoSystem.readyQueue = demoSystem.runQueue = nullptr;
        KernelTest::TearDown();
    }
    // Loads the script's sections and requeues them at `from`.
    void load(const std::string &script, float from = 0.0f)
    {
        parse(script);
        for (Section *section = demoSystem.sectionList; section; section = section->next) {
            setupSplines(section);
            callOperation(section, &SectionType::load);
        }
        demoSystem.currentTime = from;
        rebuildQueues();
    }
    // The section steps of frames from `from` to `to` (inclusive), every
    // quarter second.
    static void frames(float from, float to)
    {
        for (float time = from; time <= to; time += 0.25f) {
            demoSystem.currentTime = time;
            retireSections();
            activateSections();
            executeSections();
        }
    }
    SectionType types[SECTION_TYPE_COUNT];
};

TEST_F(RepeatTest, TheInnerSectionIsBuiltFromTheOuterInputs)
{
    load(
        "[efxRepeat]\nid r\nstart 1\nend 9\nlayer 7\nblend SRC_ALPHA ONE\nalpha GREATER 0.25 0.75\n"
        "param 2 1.5 0.5 42\nstring image\nstring pictures/a.tga\n");
    EXPECT_EQ(innerCalls, (std::vector<std::string>{
                              "load 0 window 1-2.5 layer 7 blend 1 770 1 alpha 1 516 0.25 0.75 "
                              "params 1 42 strings 1 pictures/a.tga"}));
}

struct RunCase {
    const char *name;
    const char *params; // period, inner duration, offset
    float from, to;     // the frames played
    std::vector<std::string> calls;
};

// exec sees the elapsed of the frame before (the timeline's contract), so the outer time lags one
// frame: the inner time starts at the offset on the run's first frame and grows with the outer
// time.
static const RunCase runCases[] = {
    {"period 2, duration 1: one second in two, from the offset each time",
     "2 1 0.5",
     0,
     3.25,
     {"init 0", "exec 0 t=0.5", "exec 0.25 t=0.5", "exec 0.5 t=0.75", "exec 0.75 t=1",
      "exec 1 t=1.25", "init 2", "exec 2 t=0.5", "exec 2.25 t=0.75", "exec 2.5 t=1",
      "exec 2.75 t=1.25", "exec 3 t=1.5"}},
    {"period 1, duration 3: each run is cut at one second, the next starts at once",
     "1 3 0",
     0,
     2.75,
     {"init 0", "exec 0 t=0", "exec 0.25 t=0", "exec 0.5 t=0.25", "exec 0.75 t=0.5",
      "exec 1 t=0.75", "init 1.5", "exec 1.5 t=0", "exec 1.75 t=0.25", "exec 2 t=0.5", "init 2.5",
      "exec 2.5 t=0", "exec 2.75 t=0.25"}},
    // Started at 3.5, the runs are realigned to the whole inner duration
    // under way, [3, 4); the next comes a period after it.
    {"a start inside the window realigns the runs",
     "2 1 0",
     3.5,
     5.25,
     {"init 3.5", "exec 3.5 t=0", "exec 3.75 t=0", "exec 4 t=0.25", "init 5", "exec 5 t=0",
      "exec 5.25 t=0.25"}},
    // An inner duration of 0 has no whole durations to step over: the start
    // stays at the outer start and the runs catch up a period a frame, each
    // ended at once, until one falls on a frame.
    {"an inner duration of 0 catches up without hanging",
     "1 0 0",
     2,
     3,
     {"init 2", "init 2.25", "init 2.5", "init 3", "exec 3 t=0"}},
};

TEST_F(RepeatTest, RunsStartEveryPeriodAndPlayForTheInnerDuration)
{
    for (const RunCase &test : runCases) {
        SCOPED_TRACE(test.name);
        demoSystem.readyQueue = demoSystem.runQueue = nullptr;
        freeAllSections();
        load(std::string("[efxRepeat]\nid r\nstart 0\nend 10\nlayer 1\nparam ") + test.params +
                 "\nstring image\n",
             test.from);
        innerCalls.clear();
        frames(test.from, test.to);
        EXPECT_EQ(innerCalls, test.calls);
    }
}

TEST_F(RepeatTest, TheInnerEndRunsOnlyWhenTheOuterSectionEnds)
{
    load("[efxRepeat]\nid r\nstart 0\nend 1.5\nlayer 1\nparam 0.5 0.25 0\nstring image\n");
    innerCalls.clear();
    frames(0, 1.75);
    ASSERT_FALSE(innerCalls.empty());
    EXPECT_EQ(innerCalls.back(), "end 1.5");
    EXPECT_EQ(std::count(innerCalls.begin(), innerCalls.end(), "end 1.5"), 1);
    EXPECT_EQ(std::count_if(innerCalls.begin(), innerCalls.end(),
                            [](const std::string &call) { return call.rfind("init", 0) == 0; }),
              3);
}

// Deleting, replacing and retiming through the editor free and reload
// repeat sections; the sanitizers would see a spline freed twice, a stale
// spline sampled or the inner section's data left behind.
TEST_F(RepeatTest, EditorEditsOfARepeatSectionFreeItsInnerSectionOnce)
{
    ScratchDirectory scratch;
    const std::string spline = scratch.write("move.spl", "0 0\n1 1\n");
    const std::string repeat = "[efxRepeat]\nid r\nstart 0\nend 10\nlayer 1\nparam 1 0.5 0\n"
                               "string image\nspline " +
                               spline + "\n";
    // A repeat of a repeat, whose innermost section has data of its own
    // (and draws, so its window lies after the frames played).
    const std::string nested = "[efxRepeat]\nid n\nstart 5\nend 10\nlayer 2\nparam 1 0.5 0 "
                               "1 0.5 0 0 1 1\nstring efxRepeat\nstring efxRenderMesh\n";
    load(repeat + nested);
    frames(0, 0.5);
    EXPECT_EQ(handleEditorMessage("1::section::setStartTime::0.25::r"),
              "1::OK::0.000000::2::0.500000::");
    frames(0.5, 1.5);
    EXPECT_EQ(handleEditorMessage(("1::section::update::r::" + repeat).c_str()),
              "1::OK::0.000000::2::1.500000::");
    frames(1.5, 2);
    EXPECT_EQ(handleEditorMessage(("1::section::update::n::" + nested).c_str()),
              "1::OK::0.000000::2::2.000000::");
    EXPECT_EQ(handleEditorMessage("1::section::delete::r"), "1::OK::0.000000::2::2.000000::");
    EXPECT_EQ(handleEditorMessage("1::section::delete::n"), "1::OK::0.000000::2::2.000000::");
    EXPECT_EQ(demoSystem.sectionList, nullptr);
    EXPECT_EQ(errors(), std::vector<std::string>{});
}
