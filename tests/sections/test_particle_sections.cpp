// The particle and ray section types without a window: scripts loaded and
// run through the registry, their drawing caught by the recording GL
// stand-in. Emitters are seen through the particles they give birth to.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "graphics/fbo.h"
#include "graphics/particles.h"
#include "graphics/texture.h"
#include "kernel/capture.h"
#include "kernel/demo.h"
#include "kernel/section.h"
#include "models/layers.h"
#include "tests/models/model_fixture.h"
#include "tests/support/gl_recorder.h"
#include "tests/support/kernel_fixture.h"

// Sections live until the process ends, as in the engine; this list keeps
// them (and their systems) reachable for the leak checker.
static std::vector<Section *> *const keptSections = new std::vector<Section *>;

struct Pixel {
    int column, row;           // row 0 is the picture's top row
    uint8_t r, g, b;
};

class ParticleSectionTest : public KernelTest {
protected:
    void SetUp() override
    {
        KernelTest::SetUp();
        glRecorder.reset();
        demoSystem.timeStep = 0.05f;
        exprSeedRandom(1);
        mwc_seed(0, 0);
    }
    void TearDown() override
    {
        retireSections();
        currentSection = nullptr;
        KernelTest::TearDown();
    }
    // Takes every section out of the list, keeping it alive.
    static void retireSections()
    {
        while (Section *section = demoSystem.sectionList) {
            unlinkSection(section);
            keptSections->push_back(section);
        }
    }
    // Parses one section after its time window, loads its splines and the
    // section, and starts it.
    Section *start(const std::string &type, const std::string &lines)
    {
        parse("[" + type + "]\nid s\nstart 0\nend 10\nlayer 3\n" + lines);
        Section *section = demoSystem.sectionList;
        setupSplines(section);
        callOperation(section, &SectionType::load);
        callOperation(section, &SectionType::init);
        return section;
    }
    // One frame at `elapsed` seconds, recorded afresh.
    void exec(Section *section, float elapsed)
    {
        glRecorder.primitives.clear();
        section->elapsed = elapsed;
        callOperation(section, &SectionType::exec);
    }
    std::string picture(int width, int height, const std::vector<Pixel> &bright)
    {
        std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
        for (const Pixel &p : bright) {
            // writeTGA takes rows bottom first.
            uint8_t *at = &rgb[(static_cast<size_t>(height - 1 - p.row) * width + p.column) * 3];
            at[0] = p.r, at[1] = p.g, at[2] = p.b;
        }
        std::string path = scratch.path() + "/picture.tga";
        writeTGA(path.c_str(), rgb.data(), width, height, 0);
        return path;
    }
    std::string spline(const char *name, const std::string &key)
    {
        return scratch.write(name, key + "\n" + key + "\n");
    }
    ScratchDirectory scratch;
};

// Ten strings of a particle section after the picture: one particle per
// burst, coloured with its emitter's colour, an identity placement.
static const char *const particleStrings =
    "string rate=0; initialParticles=1;\n"
    "string red=r0; green=g0; blue=b0;\nstring alpha=1;\nstring size=0.25;\nstring a=1;\nstring b=1;\n"
    "string tx=0; ty=0; tz=0;\nstring rx=0; ry=0; rz=0;\nstring sx=1; sy=1; sz=1;\n";

static double centre(const RecordedShape &quad, int axis)
{
    double sum = 0;
    for (const RecordedVertex &v : quad.vertices)
        sum += axis == 0 ? v.x : axis == 1 ? v.y : v.z;
    return sum / quad.vertices.size();
}

struct EmitterCase {
    const char *name;
    int width, height, threshold;
    std::vector<Pixel> bright;
    bool emits;
    double position[3], colour[3];
};

// Image mode centres the picture and turns it upright: column k of row j
// emits at (k - width/2, -(j - height/2), 0).
static const EmitterCase emitterCases[] = {
    {"threshold 200, one white pixel at column 3 of row 0 of a 4 x 2 image", 4, 2, 200,
     {{3, 0, 255, 255, 255}}, true, {1, 1, 0}, {1, 1, 1}},
    {"a coloured pixel keeps its colour", 4, 2, 80, {{0, 1, 250, 40, 10}}, true, {-2, 0, 0},
     {250 / 255.0, 40 / 255.0, 10 / 255.0}},
    {"a pixel as bright as the threshold does not emit", 4, 2, 200, {{1, 1, 200, 201, 201}},
     false, {}, {}},
};

TEST_F(ParticleSectionTest, ParticleTex2EmitsFromThePicturesBrightPixels)
{
    for (const EmitterCase &test : emitterCases) {
        SCOPED_TRACE(test.name);
        std::string path = picture(test.width, test.height, test.bright);
        Section *section = start("particleTex2", "param 0 1 " + std::to_string(test.threshold) +
                                                     "\nstring " + path + "\n" + particleStrings);
        exec(section, 0);
        std::vector<RecordedShape> quads = glRecorder.quads();
        ASSERT_EQ(quads.size(), test.emits ? 1u : 0u);
        if (!test.emits)
            continue;
        for (int axis = 0; axis < 3; axis++)
            EXPECT_DOUBLE_EQ(centre(quads[0], axis), test.position[axis]) << axis;
        for (int c = 0; c < 3; c++)
            EXPECT_DOUBLE_EQ(quads[0].vertices[0].colour[c], test.colour[c]) << c;
        EXPECT_EQ(glRecorder.modelviewDepth(), 0);
    }
    EXPECT_EQ(errors(), std::vector<std::string>{});
}

// Live mode reads capture buffer 2 back every frame and emits at the
// pixel coordinates of its bright pixels, in a view of one unit a pixel.
TEST_F(ParticleSectionTest, ParticleTex2LiveModeEmitsFromTheCaptureBufferAsItIsNow)
{
    const int width = 8, height = 4;
    const int buffer = tex_create(width, height, GL_RGB, 3);
    const int saved = fbos.rttBuffer[2];
    fbos.rttBuffer[2] = buffer;
    int lit = -1;              // the pixel the buffer shows lit; -1: all black
    glRecorder.textureImage = [&](GLenum format, void *pixels) {
        ASSERT_EQ(format, static_cast<GLenum>(GL_RGB));
        std::memset(pixels, 0, width * height * 3);
        if (lit >= 0)
            std::memset(static_cast<uint8_t *>(pixels) + lit * 3, 255, 3);
    };
    Section *section = start("particleTex2", "param 0 1 200 1 2\nstring unused.tga\n" +
                                                 std::string(particleStrings));
    exec(section, 0);
    EXPECT_TRUE(glRecorder.quads().empty());

    // The burst was spent on the black frame; a start arms it again.
    callOperation(section, &SectionType::init);
    lit = 1 * width + 5;
    exec(section, 0.1f);
    std::vector<RecordedShape> quads = glRecorder.quads();
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_DOUBLE_EQ(centre(quads[0], 0), 5);
    EXPECT_DOUBLE_EQ(centre(quads[0], 1), 1);
    EXPECT_EQ(glRecorder.modelviewDepth(), 0);
    EXPECT_EQ(errors(), std::vector<std::string>{});
    fbos.rttBuffer[2] = saved;
    tex_delete(buffer);
}

// ---------------------------------------------------------------------------
// particleMatrix2 and rayMatrix

// A mesh of `count` vertices at file (x0 + i, 0, z) with one triangle.
static std::string lineMesh(const char *name, int count, float x0, float z)
{
    std::vector<float> xyz;
    for (int i = 0; i < count; i++)
        xyz.insert(xyz.end(), {x0 + i, 0, z});
    return object3ds(name, vertices3ds(xyz) + faces3ds({0, 1, 2}));
}

// Two meshes of 8 and 4 vertices give 12 white emitters, each vertex one:
// 300 particles are born at exactly those points.
TEST_F(ParticleSectionTest, ParticleMatrix2EmitsFromEveryVertexOfEveryMesh)
{
    const std::string model = scratch.write(
        "two.3ds", file3ds(lineMesh("eight", 8, 1, 0) + lineMesh("four", 4, 9, 0)));
    Section *section = start("particleMatrix2",
                             "param 0 1\nstring " + model +
                                 "\nstring rate=0; initialParticles=300;\n" +
                                 std::string(particleStrings).substr(std::strlen(
                                     "string rate=0; initialParticles=1;\n")));
    exec(section, 0);
    std::set<double> xs;
    for (const RecordedShape &quad : glRecorder.quads()) {
        xs.insert(centre(quad, 0));
        EXPECT_DOUBLE_EQ(centre(quad, 1), 0);
        EXPECT_EQ(quad.vertices[0].colour, (std::array<double, 4>{1, 1, 1, 1}));
    }
    EXPECT_EQ(xs, (std::set<double>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_EQ(errors(), std::vector<std::string>{});
}

// In a debug run a model that failed to load leaves its section without
// emitters or points: it reports and then emits and draws nothing.
TEST_F(ParticleSectionTest, ASectionWhoseModelFailedEmitsNothing)
{
    const std::string missing = scratch.path() + "/missing.3ds";
    const std::string formulas = std::string(particleStrings).substr(std::strlen("string "));
    Section *particles = start("particleMatrix2", "param 0\nstring " + missing + "\nstring " + formulas);
    exec(particles, 0);
    retireSections();
    Section *rays = start("rayMatrix", "param 0\nstring " + missing + "\nstring " + missing +
                                           "\nstring rate=0; initialRays=5;\n" +
                                           formulas.substr(formulas.find('\n') + 1));
    exec(rays, 0);
    EXPECT_TRUE(glRecorder.primitives.empty());
    const std::string window = " (3, 0.000000 -> 10.000000): ";
    EXPECT_EQ(errors(), (std::vector<std::string>{
                            "particleMatrix2" + window + "particleMatrix2: Error loading " + missing,
                            "rayMatrix" + window + "rayMatrix: Error loading " + missing,
                            "rayMatrix" + window + "rayMatrix: Error loading " + missing}));
}

// Rays join vertices of the first mesh of each model (file z is model y),
// and both models are drawn as 10-pixel points.
TEST_F(ParticleSectionTest, RayMatrixJoinsTheFirstMeshesAndShowsTheModelsAsPoints)
{
    const std::string from = scratch.write(
        "from.3ds", file3ds(lineMesh("first", 3, 1, 0) + lineMesh("second", 3, 100, 0)));
    const std::string to = scratch.write("to.3ds", file3ds(lineMesh("only", 4, -4, 5)));
    modelDrawImmediate = 1;
    Section *section = start("rayMatrix", "param 0\nstring " + from + "\nstring " + to +
                                              "\nstring rate=0; initialRays=50;\n"
                                              "string size=2;\nstring a=1;\nstring b=1;\n"
                                              "string c=1;\nstring d=1;\n"
                                              "string tx=0; ty=0; tz=0;\nstring rx=0; ry=0; rz=0;\n"
                                              "string sx=1; sy=1; sz=1;\n");
    exec(section, 0);
    modelDrawImmediate = 0;
    std::set<double> starts, ends;
    for (const RecordedShape &line : glRecorder.lines()) {
        EXPECT_EQ(line.lineWidth, 2);
        starts.insert(line.vertices[0].x);
        EXPECT_DOUBLE_EQ(line.vertices[0].y, 0);
        ends.insert(line.vertices[1].x);
        EXPECT_DOUBLE_EQ(line.vertices[1].y, 5);
    }
    EXPECT_EQ(starts, (std::set<double>{1, 2, 3}));
    EXPECT_EQ(ends, (std::set<double>{-4, -3, -2, -1}));
    int points = 0;
    for (const RecordedPrimitive &primitive : glRecorder.primitives)
        points += primitive.mode == GL_POLYGON && primitive.pointSize == 10;
    EXPECT_EQ(points, 3);      // one triangle in each of the three meshes
    EXPECT_EQ(glRecorder.enabled.count(GL_TEXTURE_2D), 1u);
    EXPECT_EQ(errors(), std::vector<std::string>{});
}

// ---------------------------------------------------------------------------
// ray

struct Segment {
    float from[3], to[3];
    float width, alpha;
};

struct BoltCase {
    const char *name;
    const char *params;
    const char *path;          // start, end, amplitude, width, regeneration, bolts
    std::vector<Segment> lines;
};

// Colour (1, 0.5, 0.25) from the second spline in every case.
static const BoltCase boltCases[] = {
    {"an anchored bolt of one segment runs straight from start to end", "1 1",
     "0 0 0 10 5 0 3 1 0 1", {{{0, 0, 0}, {10, 5, 0}, 1, 1}}},
    {"width 2.5 glows in three lines, the widest the faintest", "1 1", "0 0 0 10 5 0 0 2.5 0 1",
     {{{0, 0, 0}, {10, 5, 0}, 2.5f, 0.4f},
      {{0, 0, 0}, {10, 5, 0}, 1.5f, 0.8f},
      {{0, 0, 0}, {10, 5, 0}, 0.5f, 1.2f}}},
    {"a free bolt adds equal steps from the start", "0 2", "0 0 0 10 5 0 0 1 0 1",
     {{{0, 0, 0}, {5, 2.5f, 0}, 1, 1}, {{5, 2.5f, 0}, {10, 5, 0}, 1, 1}}},
    {"every bolt is drawn", "1 1", "0 0 0 10 5 0 0 1 0 2",
     {{{0, 0, 0}, {10, 5, 0}, 1, 1}, {{0, 0, 0}, {10, 5, 0}, 1, 1}}},
    {"no bolts, no lines", "1 1", "0 0 0 10 5 0 0 1 0 0", {}},
};

TEST_F(ParticleSectionTest, RayBoltsRunFromStartToEndAndGlow)
{
    for (const BoltCase &test : boltCases) {
        SCOPED_TRACE(test.name);
        Section *section = start("ray", std::string("param ") + test.params + "\nspline " +
                                            spline("path.spl", test.path) + "\nspline " +
                                            spline("colour.spl", "1 0.5 0.25") + "\n");
        for (float elapsed : {0.0f, 0.5f}) {
            exec(section, elapsed);
            std::vector<RecordedShape> lines = glRecorder.lines();
            ASSERT_EQ(lines.size(), test.lines.size());
            for (size_t i = 0; i < lines.size(); i++) {
                const Segment &expected = test.lines[i];
                const RecordedVertex &from = lines[i].vertices[0], &to = lines[i].vertices[1];
                EXPECT_NEAR(from.x, expected.from[0], 1e-5) << i;
                EXPECT_NEAR(from.y, expected.from[1], 1e-5) << i;
                EXPECT_NEAR(to.x, expected.to[0], 1e-5) << i;
                EXPECT_NEAR(to.y, expected.to[1], 1e-5) << i;
                EXPECT_FLOAT_EQ(lines[i].lineWidth, expected.width) << i;
                EXPECT_FLOAT_EQ(from.colour[3], expected.alpha) << i;
                EXPECT_FLOAT_EQ(from.colour[1], 0.5f);
            }
            EXPECT_EQ(glRecorder.enabled.count(GL_BLEND), 0u);
            EXPECT_EQ(glRecorder.enabled.count(GL_TEXTURE_2D), 1u);
        }
        retireSections();
    }
}

// Offsets start at 0 and then only wander by a tenth of the amplitude a
// frame, unless the regeneration chance draws new ones of up to the whole
// amplitude before the bolt.
TEST_F(ParticleSectionTest, RayRegenerationDrawsNewOffsetsBeforeABolt)
{
    const struct {
        const char *chance;
        bool wide;             // some joint strays by more than a tenth
    } cases[] = {{"0", false}, {"1", true}};
    for (const auto &test : cases) {
        SCOPED_TRACE(test.chance);
        mwc_seed(0, 0);
        Section *section = start("ray", "param 1 8\nspline " +
                                            spline("path.spl", std::string("0 0 0 80 0 0 10 1 ") +
                                                                   test.chance + " 1") +
                                            "\nspline " + spline("colour.spl", "1 1 1") + "\n");
        exec(section, 0);
        std::vector<RecordedShape> lines = glRecorder.lines();
        ASSERT_EQ(lines.size(), 8u);
        double stray = 0;
        for (size_t j = 0; j + 1 < lines.size(); j++) {
            const RecordedVertex &joint = lines[j].vertices[1];
            stray = std::max({stray, std::fabs(joint.x - 10.0 * (j + 1)), std::fabs(joint.y),
                              std::fabs(joint.z)});
        }
        EXPECT_EQ(stray > 1.0, test.wide) << stray;
        EXPECT_LE(stray, 10.0);
        EXPECT_FLOAT_EQ(lines.back().vertices[1].x, 80);
        retireSections();
    }
}
