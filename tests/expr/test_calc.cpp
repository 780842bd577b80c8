// glimra-calc end to end: what it prints and its exit codes.
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

// Runs the calculator through the shell; returns its exit code.
static int calc(const std::string &arguments, std::string *output, const std::string &input = "")
{
    std::string command = "printf '%s' '" + input + "' | " GLIMRA_CALC " " + arguments;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    output->clear();
    char buffer[256];
    size_t count;
    while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output->append(buffer, count);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CalcTool, PrintsTheResultAndEveryVariableInByteOrder)
{
    std::string output;
    EXPECT_EQ(calc("--var x=2 --var B=0.5 'y = x*3; z = y+B;'", &output), 0);
    EXPECT_EQ(output, "result 6.5\nB = 0.5\nx = 2\ny = 6\nz = 6.5\n");

    EXPECT_EQ(calc("--repeat 3 'n=n+1; 0.1;'", &output), 0);
    EXPECT_EQ(output, "result 0.10000000000000001\nn = 3\n");

    EXPECT_EQ(calc("-", &output, "<from standard input> -2*3;"), 0);
    EXPECT_EQ(output, "result -6\n");

    // A fresh process starts the generator at its first value.
    EXPECT_EQ(calc("'rand();'", &output), 0);
    EXPECT_EQ(output, "result 0.001251220703125\n");
}

TEST(CalcTool, PrintsNonFiniteValuesPortably)
{
    std::string output;
    EXPECT_EQ(calc("--var big=1e308 --var n=nan 'a=big*10; b=-a; c=0-n;'", &output), 0);
    EXPECT_EQ(output, "result nan\na = inf\nb = -inf\nbig = 1e+308\nc = nan\nn = nan\n");
}

TEST(CalcTool, ReportsFailuresWithTheValuesStoredBeforeThem)
{
    std::string output;
    EXPECT_EQ(calc("'a=5; b=1/0; c=1;'", &output), 1);
    EXPECT_EQ(output, "error 20 evaluate\na = 5\nb = 0\nc = 0\n");

    EXPECT_EQ(calc("--soft 'a=5; b=1/0; c=1;'", &output), 0);
    EXPECT_EQ(output, "result 1\na = 5\nb = 0\nc = 1\n");

    EXPECT_EQ(calc("--var a=4 'a=1; b=2+;'", &output), 1);
    EXPECT_EQ(output, "error 12 parse\na = 4\nb = 0\n");
}

TEST(CalcTool, RejectsBadUsage)
{
    std::string output;
    EXPECT_EQ(calc("", &output), 2);
    EXPECT_EQ(calc("'1;' '2;'", &output), 2);
    EXPECT_EQ(calc("--repeat 0 '1;'", &output), 2);
    EXPECT_EQ(calc("--var 1x=2 '1;'", &output), 2);
    EXPECT_EQ(calc("--var x=two '1;'", &output), 2);
    EXPECT_EQ(calc("--verbose '1;'", &output), 2);       // two formulas
    EXPECT_EQ(calc("--var x=1 --repeat", &output), 2);
    EXPECT_EQ(calc("-- '1;' '2;'", &output), 2);
    EXPECT_EQ(output, "");
}

// "--" ends the options; a formula may itself start with "--".
TEST(CalcTool, FormulasStartingWithTwoMinusSignsAreFormulas)
{
    const struct {
        const char *arguments, *output;
    } cases[] = {
        {"'--2;'", "result 2\n"},
        {"--var x=3 '--x*2;'", "result 6\nx = 3\n"},
        {"-- '--soft;'", "result 0\nsoft = 0\n"},
        {"--soft -- '--1/0;'", "result 0\n"},
    };
    for (const auto &test : cases) {
        std::string output;
        EXPECT_EQ(calc(test.arguments, &output), 0) << test.arguments;
        EXPECT_EQ(output, test.output) << test.arguments;
    }
}
