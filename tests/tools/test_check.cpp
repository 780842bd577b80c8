// glimra-check end to end: the document it prints and its exit code.
#include <nlohmann/json.hpp>

#include "tests/support/kernel_fixture.h"

using json = nlohmann::ordered_json;

static int check(const ScratchDirectory &run, json *document, std::string *err = nullptr)
{
    std::string out;
    int status = runCommand("cd " + run.path() + " && " GLIMRA_BINARY_DIR "/glimra-check .",
                            &out, err);
    *document = out.empty() ? json() : json::parse(out);
    return status;
}

TEST(CheckTool, PrintsSettingsAndSectionsOfACleanDemo)
{
    ScratchDirectory run;
    run.write("data/demo.glm", "demo_name \"Quoted\" \\ name\nslave 1\ngl_gamma 1.5\n"
                               "[image]\nid logo\nstart 1\nend 5\nblend ONE ZERO\n"
                               "param 1 2\nstring pic.jpg\nspline path.spl\n");
    run.write("path.spl", "0 0\n1 1\n2 2\n");
    run.write("camera.cam", "kept");
    json document;
    std::string err;
    ASSERT_EQ(check(run, &document, &err), 0) << err;

    const json &settings = document["settings"];
    EXPECT_EQ(settings.size(), 90u);
    EXPECT_EQ(settings.begin().key(), "demo_name");
    EXPECT_EQ(settings["demo_name"], "\"Quoted\" \\ name");
    EXPECT_EQ(settings["slave"], 1);
    EXPECT_EQ(settings["gl_gamma"], 1.5);
    EXPECT_TRUE(settings["fbo_19_format"].is_null());
    EXPECT_NE(err.find("Trace: Morvane: Running in network slave mode"), std::string::npos);

    ASSERT_EQ(document["sections"].size(), 1u);
    const json &section = document["sections"][0];
    EXPECT_EQ(section["type"], "image");
    EXPECT_EQ(section["typeIndex"], 26);
    EXPECT_EQ(section["duration"], 4.0);
    EXPECT_EQ(section["blend"], json::array({1, 0}));
    EXPECT_TRUE(section["alpha"].is_null());
    EXPECT_EQ(section["params"], json::array({1.0, 2.0}));
    EXPECT_EQ(section["splines"][0],
              json({{"file", "path.spl"}, {"duration", 4.0}, {"loaded", true}, {"keys", 3},
                    {"channels", 2}}));
    EXPECT_EQ(runCommand("test -f " + run.path() + "/camera.cam", nullptr, nullptr), 0);
}

TEST(CheckTool, ErrorsStopTheRunUnlessDebugIsSet)
{
    ScratchDirectory run;
    run.write("data/demo.glm", "[imag]\n");
    json document;
    std::string err;
    EXPECT_EQ(check(run, &document, &err), 1);
    EXPECT_TRUE(document.is_null());
    EXPECT_NE(err.find("Error: Unknown section type:  (file 'data/demo.glm', line 1)"),
              std::string::npos);

    run.write("data/demo.glm", "debug 1\n[imag]\nspline missing.spl\n[light]\n");
    EXPECT_EQ(check(run, &document), 1);
    ASSERT_EQ(document["sections"].size(), 2u);
    EXPECT_EQ(document["sections"][0]["type"], "light");
    EXPECT_TRUE(document["sections"][1]["type"].is_null());
    EXPECT_EQ(document["sections"][1]["splines"][0]["loaded"], false);
}
