// Reporting: formats, channels, the debug policy and box suppression.
#include <string>

#include "kernel/demo.h"
#include "kernel/log.h"
#include "kernel/section.h"
#include "tests/support/kernel_fixture.h"

using LogTest = KernelTest;

TEST_F(LogTest, TraceGetsExactlyOneLineEndOnTheDebuggerChannel)
{
    engineTrace("Scripts loaded\n");
    engineTrace("Morvane: Cleaning old camera files");
    engineTrace("%s", "");
    EXPECT_EQ(captured.debugger,
              "Engine Kernel Trace: Scripts loaded\n"
              "Engine Kernel Trace: Morvane: Cleaning old camera files\n"
              "Engine Kernel Trace: ");
    EXPECT_EQ(captured.out, "");
}

TEST_F(LogTest, SlaveModeAlsoTracesToStandardOutput)
{
    demoSystem.slave = 1;
    engineTrace("Scripts loaded\n");
    engineTrace("done.%d", 1);
    EXPECT_EQ(captured.out, "Trace: Scripts loaded\n\nTrace: done.1\n");
}

TEST_F(LogTest, WarningGoesToStandardErrorOnlyInDebugRuns)
{
    demoSystem.debug = 0;
    engineWarning("low %s", "memory");
    EXPECT_EQ(captured.err, "");
    EXPECT_EQ(captured.debugger, "Engine Warning: low memory\n");

    demoSystem.debug = 1;
    demoSystem.currentTime = 3.456f;
    engineWarning("again");
    EXPECT_EQ(captured.err, "Warning: second 3.46, message 'again'\n");
}

TEST_F(LogTest, DebugErrorGoesOnAndSuppressesARepeatedBox)
{
    int before = engineErrorCount();
    engineError("first %d", 1);
    engineError("first %d", 1);
    engineError("second");
    engineError("first 1");
    EXPECT_EQ(engineErrorCount() - before, 4);
    EXPECT_EQ(errors(), (std::vector<std::string>{"first 1", "first 1", "second", "first 1"}));
    EXPECT_EQ(captured.boxes,
              "Engine Error: first 1\nEngine Error: second\nEngine Error: first 1\n");
    EXPECT_NE(captured.debugger.find("MORVANE ERROR: second\n"), std::string::npos);
}

TEST_F(LogTest, LongMessagesAreCutNotOverflowed)
{
    std::string huge(5000, 'x');
    engineError("%s", huge.c_str());
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_EQ(errors()[0], std::string(1023, 'x'));
    engineTrace("%s", huge.c_str());
    EXPECT_NE(captured.debugger.find(std::string(1027, 'x') + "\n"), std::string::npos);
    EXPECT_EQ(captured.debugger.find(std::string(1028, 'x')), std::string::npos);
}

TEST_F(LogTest, SectionAndScriptErrorsNameWhereTheyHappened)
{
    Section section = {};
    section.typeIndex = findSectionType("efxRepeat");
    section.layer = 2;
    section.startTime = 10.0f;
    section.endTime = 20.0f;
    strcpy(section.identifier, "rep");
    currentSection = &section;
    sectionError("missing %s", "params");
    scriptError("Invalid start", "data/intro.glm", 12);
    currentSection = nullptr;
    EXPECT_EQ(errors(), (std::vector<std::string>{
                            "efxRepeat (2, 10.000000 -> 20.000000): missing params",
                            "Invalid start (file 'data/intro.glm', line 12)"}));
}

TEST(LogDeathTest, ErrorWithoutDebugShutsDownAndExitsWithOne)
{
    demoSystem.debug = 0;
    EXPECT_EXIT(engineError("broken %s", "demo"), ::testing::ExitedWithCode(1),
                "Error: broken demo\nEngine Error: broken demo\n");
}
