// Golden files: each model fixture under golden/ (good, cut short, lying
// about sizes, of another format, empty) beside the glimra-model document
// expected for it. GLIMRA_UPDATE_GOLDEN=1 rewrites the documents.
#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/support/kernel_fixture.h"

static const std::string goldenDirectory = GLIMRA_SOURCE_DIR "/tests/models/golden";

static std::string readText(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

static std::vector<std::string> fixtures()
{
    std::vector<std::string> names;
    if (DIR *listing = opendir(goldenDirectory.c_str())) {
        while (dirent *entry = readdir(listing)) {
            std::string name = entry->d_name;
            if (name.size() > 4 && (name.rfind(".3ds") == name.size() - 4 || name.rfind(".lwo") == name.size() - 4))
                names.push_back(name);
        }
        closedir(listing);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ModelGolden, InspectorDocumentsMatchTheirGoldenFiles)
{
    bool update = getenv("GLIMRA_UPDATE_GOLDEN") != nullptr;
    std::vector<std::string> names = fixtures();
    ASSERT_GE(names.size(), 7u);
    for (const std::string &name : names) {
        SCOPED_TRACE(name);
        std::string out, err;
        int status = runCommand("cd " + goldenDirectory + " && " GLIMRA_BINARY_DIR "/glimra-model " + name,
                                &out, &err);
        std::string expectedPath = goldenDirectory + "/" + name + ".json";
        if (update)
            std::ofstream(expectedPath, std::ios::binary) << out;
        EXPECT_EQ(out, readText(expectedPath));
        bool loaded = out.find("\"loaded\": true") != std::string::npos;
        EXPECT_EQ(status, loaded ? 0 : 1);
        EXPECT_EQ(err, "");
    }
}

TEST(ModelGolden, OneDocumentForManyFilesAndExitOneWhenAnyFails)
{
    std::string out;
    int status = runCommand("cd " + goldenDirectory + " && " GLIMRA_BINARY_DIR
                            "/glimra-model cube.3ds missing.3ds cube.lwo", &out, nullptr);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("\"file\": \"missing.3ds\",\n      \"loaded\": false\n"), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '{') - std::count(out.begin(), out.end(), '}'), 0);
    EXPECT_EQ(runCommand(GLIMRA_BINARY_DIR "/glimra-model", nullptr, nullptr), 2);
}
