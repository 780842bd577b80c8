// Test support for everything that reports through the kernel.
#include "tests/support/kernel_fixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "graphics/video.h"
#include "kernel/capture.h"
#include "kernel/demo.h"
#include "kernel/script.h"
#include "kernel/section.h"
#include "platform/platform.h"

CapturedOutput captured;

static void captureWrite(PlatformChannel channel, const char *text)
{
    switch (channel) {
    case CHANNEL_STDOUT: captured.out += text; break;
    case CHANNEL_STDERR: captured.err += text; break;
    case CHANNEL_DEBUGGER: captured.debugger += text; break;
    case CHANNEL_BOX: captured.boxes += text; break;
    }
}

ScratchDirectory::ScratchDirectory()
{
    char pattern[] = "/tmp/glimra-test-XXXXXX";
    root = mkdtemp(pattern);
}

ScratchDirectory::~ScratchDirectory()
{
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

std::string ScratchDirectory::write(const std::string &relativePath,
                                    const std::string &contents) const
{
    std::filesystem::path path = std::filesystem::path(root) / relativePath;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << contents;
    return path.string();
}

static std::string readAll(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

static void writeImage(const std::string &path, int width, int height, uint8_t red,
                       uint8_t green, uint8_t blue)
{
    std::vector<uint8_t> pixels;
    for (int i = 0; i < width * height; i++)
        pixels.insert(pixels.end(), {red, green, blue});
    writeTGA(path.c_str(), pixels.data(), width, height, 0);
}

void writeDemo(const ScratchDirectory &scratch, const std::string &runDirectory,
               const std::string &settings, const std::string &sections,
               const std::string &loadingWindow)
{
    std::string data = runDirectory + "/data/";
    scratch.write(data + "demo.glm",
                  settings + "\n[loading]\n" + loadingWindow +
                      "string data/back.tga\nstring data/front.tga\n"
                      "param 1 1 1 1  0.1 0.1 0.9 0.15  1 1 1 0.5  0.09 0.09 0.91 0.16  0.005\n" +
                      sections);
    writeImage(scratch.path() + "/" + data + "back.tga", 64, 64, 255, 0, 0);
    writeImage(scratch.path() + "/" + data + "front.tga", 64, 64, 0, 0, 255);
    scratch.write(data + "fonts/.keep", "");
    writeImage(scratch.path() + "/" + data + "fonts/font.tga", 256, 256, 255, 255, 255);
}

int runCommand(const std::string &command, std::string *out, std::string *err)
{
    ScratchDirectory outputs;
    std::string outPath = outputs.path() + "/out", errPath = outputs.path() + "/err";
    int status = system((command + " >" + outPath + " 2>" + errPath).c_str());
    if (out)
        *out = readAll(outPath);
    if (err)
        *err = readAll(errPath);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void KernelTest::SetUp()
{
    captured = CapturedOutput();
    platformSetTap(captureWrite);
    freeAllSections();
    demoSystem.debug = 1;
    demoSystem.slave = 0;
    demoSystem.currentTime = 0.0f;
    gl_defaults();
}

void KernelTest::TearDown()
{
    freeAllSections();
    platformSetTap(nullptr);
}

std::vector<std::string> KernelTest::errors() const
{
    std::vector<std::string> lines;
    const std::string prefix = "Error: ";
    size_t start = 0;
    while (start < captured.err.size()) {
        size_t end = captured.err.find('\n', start);
        if (end == std::string::npos)
            end = captured.err.size();
        std::string line = captured.err.substr(start, end - start);
        if (line.compare(0, prefix.size(), prefix) == 0)
            lines.push_back(line.substr(prefix.size()));
        start = end + 1;
    }
    return lines;
}

void KernelTest::parse(const std::string &text, const char *sourceName)
{
    parseScript(text.c_str(), sourceName);
}

std::vector<std::string> recordedCalls;

static void record(const char *operation)
{
    recordedCalls.push_back(std::string(operation) + " " + currentSection->identifier);
}

static void recordInit() { record("init"); }
static void recordExec() { record("exec"); }
static void recordEnd() { record("end"); }
static void nothing() {}

void RecordingTest::SetUp()
{
    KernelTest::SetUp();
    for (int i = 0; i < SECTION_TYPE_COUNT; i++)
        recorders[i] = {sectionTypes[i].name, nothing, nothing, recordInit, recordExec, recordEnd};
    useSectionTypes(recorders);
    recordedCalls.clear();
    demoSystem.demo_start = 0.0f;
    demoSystem.demo_end = 20.0f;
    demoSystem.sound = 0;
    demoSystem.record = 0;
    demoSystem.loop = 0;
    demoSystem.quit = 0;
    demoSystem.readyQueue = demoSystem.runQueue = nullptr;
}

void RecordingTest::TearDown()
{
    useSectionTypes(nullptr);
    demoSystem.readyQueue = demoSystem.runQueue = nullptr;
    KernelTest::TearDown();
}
