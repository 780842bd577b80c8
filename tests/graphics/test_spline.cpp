// Spline files and evaluation.
#include <cmath>

#include "graphics/spline.h"
#include "tests/support/kernel_fixture.h"

using namespace std::string_literals;
using SplineTest = KernelTest;

static Spline *loadText(const ScratchDirectory &scratch, const std::string &text, float duration)
{
    Spline *spline = spline_load(scratch.write("test.spl", text).c_str());
    if (spline)
        spline_set_duration(spline, duration);
    return spline;
}

TEST_F(SplineTest, FilesLoadOrReportWhatIsWrong)
{
    struct Case {
        std::string text;
        int keys, channels;
        const char *error;   // with the path after it
    };
    const Case cases[] = {
        {"0 0\n10, 5\n{20, 0}\n", 3, 2, nullptr},
        {"; only a comment\n\n\r\n", 0, 0, nullptr},
        {"1 2 3\r\n;c\r\n4 5 6", 2, 3, nullptr},
        {" ;not a comment\n", 0, 0, "Spline: incorrect format in '"},
        {"1 2 3\n4 5\n", 0, 0, "Spline: incorrect channel in '"},
        {"x\n", 0, 0, "Spline: incorrect format in '"},
        // A zero byte neither ends the text nor splits its line.
        {"\0 1 2\n3 4\n"s, 0, 0, "Spline: incorrect format in '"},
        {"; note\0\n1 2\n"s, 0, 0, "Spline: incorrect format in '"},
        {"1 2\n3 4\0 5 6\n"s, 0, 0, "Spline: incorrect channel in '"},
        {"1 2\n\0 3 4\n"s, 0, 0, "Spline: incorrect channel in '"},
    };
    ScratchDirectory scratch;
    for (const Case &c : cases) {
        captured.err.clear();
        Spline *spline = loadText(scratch, c.text, 1.0f);
        if (c.error) {
            EXPECT_EQ(spline, nullptr) << c.text;
            ASSERT_EQ(errors().size(), 1u) << c.text;
            EXPECT_EQ(errors()[0], c.error + scratch.path() + "/test.spl'");
        } else {
            ASSERT_NE(spline, nullptr) << c.text;
            EXPECT_EQ(spline->keyCount, c.keys);
            EXPECT_EQ(spline->channels, c.channels);
            EXPECT_TRUE(errors().empty());
        }
        spline_free(spline);
    }
}

TEST_F(SplineTest, MoreThanThirtyTwoChannelsIsTooManyFloats)
{
    ScratchDirectory scratch;
    std::string row;
    for (int i = 0; i < 33; i++)
        row += std::to_string(i) + " ";
    Spline *spline = loadText(scratch, row + "\n", 1.0f);
    ASSERT_NE(spline, nullptr);
    EXPECT_EQ(spline->channels, 32);
    EXPECT_EQ(errors(), std::vector<std::string>{"Script parser: too many floats in vector '" + row + "'"});
    spline_free(spline);
}

TEST_F(SplineTest, EvaluationFollowsTheKeys)
{
    ScratchDirectory scratch;
    Spline *line = loadText(scratch, "0 10\n4 30\n", 4.0f);
    Spline *curve = loadText(scratch, "0\n10\n0\n10\n0\n", 10.0f);
    Spline *single = loadText(scratch, "7 8 9\n", 5.0f);
    Spline *empty = loadText(scratch, ";\n", 5.0f);
    Spline *ramp = loadText(scratch, "0\n10\n30\n", 2.0f);

    struct Case {
        const Spline *spline;
        float time;
        std::vector<float> expected;
    };
    const Case cases[] = {
        {line, 1.0f, {1.0f, 15.0f}},        // two keys: a straight line
        {line, 12.0f, {4.0f, 30.0f}},       // past the end: the last key
        {curve, 2.5f, {10.0f}},             // at a key: its values
        {curve, 5.0f, {0.0f}},
        {curve, 10.0f, {0.0f}},
        {curve, 1.25f, {6.25f}},            // first segment: tangent from its own difference
        {ramp, 0.5f, {4.375f}},             // inner tangent from both neighbours
        {ramp, 1.5f, {19.375f}},
        {single, 3.0f, {7.0f, 8.0f, 9.0f}},
    };
    for (const Case &c : cases) {
        float out[32] = {};
        spline_evaluate(c.spline, c.time, out);
        for (size_t i = 0; i < c.expected.size(); i++)
            EXPECT_NEAR(out[i], c.expected[i], 1e-5f) << "t=" << c.time << " channel " << i;
    }

    // Before the first key the first segment's cubic goes on.
    float before[32];
    spline_evaluate(line, -1.0f, before);
    EXPECT_FLOAT_EQ(before[0], -1.0f);

    float untouched[32] = {42.0f};
    spline_evaluate(empty, 1.0f, untouched);
    EXPECT_EQ(untouched[0], 42.0f);
    for (Spline *spline : {line, curve, single, empty, ramp})
        spline_free(spline);
}
