// Test support: captures everything the engine reports, keeps errors
// non-fatal, and gives each test an empty section list and a scratch
// directory.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/section.h"

// What went to each channel since the fixture started.
struct CapturedOutput {
    std::string out, err, debugger, boxes;
};

extern CapturedOutput captured;

// A scratch directory, removed with everything in it when the object goes.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    const std::string &path() const { return root; }
    // Writes `contents` to `relativePath`, creating its directories.
    std::string write(const std::string &relativePath, const std::string &contents) const;
private:
    std::string root;
};

// Writes a playable demo under `runDirectory` of the scratch directory: a
// red back and a blue front loading image, a font image, and `script` as
// data/demo.glm after a loading section spanning `loadingWindow`.
void writeDemo(const ScratchDirectory &scratch, const std::string &runDirectory,
               const std::string &settings, const std::string &sections,
               const std::string &loadingWindow = "start 0\nend 1000\n");

// Runs a command and returns its exit code; its standard output and error go
// to the given strings.
int runCommand(const std::string &command, std::string *out, std::string *err);

class KernelTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // The "Error: ..." lines written to standard error, without the prefix.
    std::vector<std::string> errors() const;
    // Parses `text` as if read from the file `sourceName`.
    void parse(const std::string &text, const char *sourceName = "data/test.glm");
};

// A kernel test whose section types record their init, exec and end as
// "<operation> <section id>" in `recordedCalls` (preload and load do
// nothing), with a 20-second demo playing silently.
extern std::vector<std::string> recordedCalls;

class RecordingTest : public KernelTest {
protected:
    void SetUp() override;
    void TearDown() override;
    SectionType recorders[SECTION_TYPE_COUNT];
};

