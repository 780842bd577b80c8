// The object section types and the object extruder in a real window:
// every validation message provoked by a script, the models they build
// (read back from their private data) and where their drawing lands
// (vertices read back through GL feedback, in the view's units).
#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "graphics/camera.h"
#include "graphics/fbo.h"
#include "graphics/texture.h"
#include "kernel/demo.h"
#include "kernel/section.h"
#include "models/extruder.h"
#include "models/layers.h"
#include "models/model.h"
#include "sections/objects.h"
#include "tests/graphics/gl_fixture.h"
#include "tests/models/model_fixture.h"

using namespace modelgen;

// Ortho view of x from -4 to 4 and y from -3 to 3: 80 pixels a unit.
static float unitsX(float column) { return column / 80.0f - 4.0f; }
static float unitsY(float row) { return row / 80.0f - 3.0f; }

struct Point {
    float x, y;
};

// A drawn polygon's corners in view units.
using Polygon = std::vector<Point>;

// The smallest and largest x and y of a polygon's corners.
struct Extent {
    float minX, maxX, minY, maxY;
    float height() const { return maxY - minY; }
};

static Extent extent(const Polygon &polygon)
{
    Extent e = {1e9f, -1e9f, 1e9f, -1e9f};
    for (const Point &p : polygon) {
        e.minX = std::min(e.minX, p.x), e.maxX = std::max(e.maxX, p.x);
        e.minY = std::min(e.minY, p.y), e.maxY = std::max(e.maxY, p.y);
    }
    return e;
}

static Point centroid(const Polygon &polygon)
{
    Point sum = {0, 0};
    for (const Point &p : polygon)
        sum.x += p.x / polygon.size(), sum.y += p.y / polygon.size();
    return sum;
}

// A triangle per three positions (model axes, y up), with texture
// coordinates when given.
static Shape triangles(const std::vector<float> &positions, const std::vector<float> &uvs = {})
{
    Shape shape;
    shape.positions = positions;
    shape.uvs = uvs;
    for (uint32_t i = 0; i < positions.size() / 3; i++)
        shape.triangles.push_back(i);
    return shape;
}

// A small triangle around the origin: what copies and particles are made of.
static const Shape marker = triangles({-0.1f, -0.1f, 0, 0.1f, -0.1f, 0, 0, 0.1f, 0});

class ObjectSectionTest : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        openWindow();
        glViewport(0, 0, 640, 480);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-4, 4, -3, 3, -50, 50);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_LIGHTING);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        layersFile = scratch.write("color.rp", "{\nmode color\ncolor 1 1 1 1\n}\n");
    }
    void TearDown() override
    {
        demoSystem.currentCamera = nullptr;
        GlTest::TearDown();
    }
    std::string model(const std::string &name, const Shape &shape)
    {
        return scratch.write(name, write3ds(shape, "object"));
    }
    // Parses one section after its ten-second window, loads its splines and
    // the section, and starts it.
    Section *start(const std::string &type, const std::string &lines)
    {
        parse("[" + type + "]\nid s\nstart 0\nend 10\nlayer 3\n" + lines);
        Section *section = demoSystem.sectionList;
        setupSplines(section);
        callOperation(section, &SectionType::load);
        callOperation(section, &SectionType::init);
        return section;
    }
    static void exec(Section *section, float elapsed)
    {
        section->elapsed = elapsed;
        callOperation(section, &SectionType::exec);
    }
    // The polygons one exec draws, caught by GL feedback.
    static std::vector<Polygon> drawn(Section *section, float elapsed)
    {
        std::vector<GLfloat> buffer(1 << 20);
        glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D, buffer.data());
        glRenderMode(GL_FEEDBACK);
        exec(section, elapsed);
        const int size = glRenderMode(GL_RENDER);
        EXPECT_GE(size, 0) << "feedback buffer too small";
        std::vector<Polygon> polygons;
        for (int i = 0; i < size;) {
            const int token = static_cast<int>(buffer[i++]);
            int corners = 0;
            if (token == GL_POLYGON_TOKEN)
                corners = static_cast<int>(buffer[i++]);
            else if (token == GL_POINT_TOKEN)
                corners = 1;
            else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN)
                corners = 2;
            else if (token == GL_PASS_THROUGH_TOKEN) {
                i++;
                continue;
            }
            Polygon polygon;
            for (int c = 0; c < corners; c++, i += 3)
                polygon.push_back({unitsX(buffer[i]), unitsY(buffer[i + 1])});
            polygons.push_back(polygon);
        }
        return polygons;
    }
    // Everything the engine traced, one message a line.
    static std::string traces() { return captured.debugger; }
    std::string layersFile;
};

// ---------------------------------------------------------------------------
// Validation: every message of the load checks and load errors

struct ValidationCase {
    const char *type;
    const char *lines;         // after the time window; %D is the scratch directory
    std::vector<std::string> messages;   // after the section's prefix; %D as above
};

static std::string expand(std::string text, const std::string &directory)
{
    for (size_t at; (at = text.find("%D")) != std::string::npos;)
        text.replace(at, 2, directory);
    return text;
}

#define S(text) "string " text "\n"
#define FORMULA3 S("tx=0;ty=0;tz=0;") S("rx=0;ry=0;rz=0;") S("sx=1;sy=1;sz=1;")

static const ValidationCase validationCases[] = {
    {"objectMorph", "param 0\n" S("%D/a.3ds") S("%D/a.3ds"), {"2 params needed"}},
    {"objectMorph", "param 0 1\n" S("%D/a.3ds"), {"at least 2 strings needed"}},
    {"objectMorph", "param 0 1\n" S("%D/none.3ds") S("%D/a.3ds") S("%D/color.rp"),
     {"objectMorph: Error loading start object %D/none.3ds"}},
    {"objectMorph", "param 0 1\n" S("%D/a.3ds") S("%D/none.3ds") S("%D/color.rp"),
     {"objectMorph: Error loading end object %D/none.3ds"}},
    {"objectMorph2", "param 0 1\n", {"objectMorph2: 1 param needed (2 passed)"}},
    {"objectMorph2", "param 0\n" S("a") S("b"), {"objectMorph2: 8 strings needed (2 passed)"}},
    {"objectMorph2",
     "param 0\n" S("%D/none.3ds") S("%D/a.3ds") S("%D/") S("%D/color.rp") FORMULA3 S("value=1;"),
     {"ObjectMorph2: Error loading start object %D/none.3ds"}},
    {"objectMorph2",
     "param 0\n" S("%D/a.3ds") S("%D/none.3ds") S("%D/") S("%D/color.rp") FORMULA3 S("value=1;"),
     {"ObjectMorph2: Error loading end object %D/none.3ds"}},
    {"objectShader", "param 0 1\n", {"1 param needed"}},
    {"objectShader", "param 0\n" S("a"), {"10 strings needed"}},
    {"objectShader", "param 0\n" S("%D/") S("none.3ds") S("%D/color.rp") S("default") FORMULA3 FORMULA3,
     {"ObjectShader: Error loading object %D/none.3ds for drawing"}},
    {"objectShader", "param 0\n" S("%D/") S("a.3ds") S("%D/color.rp") S("%D/none.3ds") FORMULA3 FORMULA3,
     {"ObjectShader: Error loading object %D/none.3ds for sources positioning"}},
    {"objectShader2", "param 0 0\n", {"ObjectShader: 1 param needed"}},
    {"objectShader2", "param 0\n" S("a"), {"ObjectShader: 9 strings needed"}},
    {"objectShader2", "param 0\n" S("%D/") S("none.3ds") S("%D/color.rp") S("x=x;") S("y=y;") S("z=z;") FORMULA3,
     {"ObjectShader2: Error loading %D/none.3ds", "ObjectShader2: Error loading %D/none.3ds"}},
    {"objectMatrix", S("a"), {"at least 1 param needed"}},
    {"objectMatrix", "param 0\n" S("a"), {"14 strings needed"}},
    {"objectMatrix",
     "param 0\n" S("%D/none.3ds") S("%D/") S("%D/a.3ds") S("%D/color.rp") S("rate=0;") S("x=0;") S("y=0;") S("z=0;")
         S("size=1;") S("red=1;") S("life=1;") FORMULA3,
     {"objectMatrix: Error loading object sources: %D/none.3ds"}},
    {"objectMatrix",
     "param 0\n" S("%D/a.3ds") S("%D/") S("%D/none.3ds") S("%D/color.rp") S("rate=0;") S("x=0;") S("y=0;") S("z=0;")
         S("size=1;") S("red=1;") S("life=1;") FORMULA3,
     {"objectMatrix: Error loading particle object: %D/none.3ds"}},
    {"macroBox", "param 1 1 1 0 1\n" S("%D/sky.tga"), {"macrobox: 6 params needed"}},
    {"macroBox", "param 1 1 1 0 1 0\n", {"macrobox: 1 string needed"}},
    {"macroBox", "param 1 1 1 0 2 10\n" S("%D/sky.tga"),
     {"Invalid capture buffer 10: the buffers are 0 to 9"}},
    {"objectExtruder", "param 0 0 0 0 0\n" S("%D/") S("a.3ds") S("%D/color.rp") S("step=1;") S("") S("") S(""),
     {"6 param needed, 5 provided"}},
    {"objectExtruder", "param 0 0 0 0 0 0\n" S("%D/") S("a.3ds") S("%D/color.rp") S("step=1;") S("") S(""),
     {"7 strings needed, 6 provided"}},
    {"objectExtruder", "param 0 0 0 0 0 0\n" S("%D/") S("none.3ds") S("%D/color.rp") S("step=1;") S("") S("") S(""),
     {"objectExtruder: Error loading %D/none.3ds"}},
};

TEST_F(ObjectSectionTest, EachLoadMessageNamesTheSectionAndItsSectionDrawsNothing)
{
    model("a.3ds", marker);
    scratch.write("sky.tga", tgaImage(4, 4, 24, [](int, int) { return red; }));
    for (const ValidationCase &test : validationCases) {
        const std::string lines = expand(test.lines, scratch.path());
        SCOPED_TRACE(std::string(test.type) + ": " + lines);
        freeAllSections();
        captured.err.clear();
        Section *section = start(test.type, lines);
        std::vector<std::string> expected;
        for (const std::string &message : test.messages)
            expected.push_back(std::string(test.type) + " (3, 0.000000 -> 10.000000): " +
                               expand(message, scratch.path()));
        EXPECT_EQ(errors(), expected);
        // Count errors stop the load, except the extruder's, which goes on
        // with what is there; a missing model leaves nothing to draw.
        const bool goesOn = std::string(test.type) == "objectExtruder" &&
                            expected[0].find("Error loading") == std::string::npos;
        EXPECT_EQ(drawn(section, 1).empty(), !goesOn);
        callOperation(section, &SectionType::end);
        EXPECT_EQ(errors(), expected);
    }
}

// ---------------------------------------------------------------------------
// objectMorph and objectMorph2

static const ModelVertex *vertices(const Model3ds *model, int mesh = 0)
{
    return model->meshes[mesh].vertices;
}

struct MorphCase {
    int mode;
    float elapsed;             // of a ten-second section
    double b;
};

static const MorphCase morphCases[] = {
    {0, 0, 1},   {0, 7, 1},      {3, 2.5f, 1},        // any other mode: the end model
    {1, 2.5f, 0.25}, {2, 5, 0.5}, {2, 2.5f, 0.15625},
    {1, 15, 1.5},                                    // not clamped: past the end it extrapolates
};

TEST_F(ObjectSectionTest, ObjectMorphMovesVerticesAndTextureCoordinatesByItsFactor)
{
    const std::string from = model("from.3ds", triangles({0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 0, 1, 0, 0, 1}));
    const std::string to = model("to.3ds", triangles({4, 0, 0, 5, 0, 0, 4, 1, 2}, {1, 0, 1, 0, 1, 1}));
    for (const MorphCase &test : morphCases) {
        SCOPED_TRACE("mode " + std::to_string(test.mode) + " at " + std::to_string(test.elapsed));
        freeAllSections();
        Section *section = start("objectMorph", "param 0 " + std::to_string(test.mode) + "\nstring " +
                                                    from + "\nstring " + to + "\nstring " + layersFile + "\n");
        exec(section, test.elapsed);
        const ObjectMorphVars *vars = static_cast<ObjectMorphVars *>(section->vars);
        EXPECT_NEAR(vertices(vars->current)[0].position[0], 4 * test.b, 1e-5);
        EXPECT_NEAR(vertices(vars->current)[2].position[2], 2 * test.b, 1e-5);
        EXPECT_NEAR(vars->current->meshes[0].polygons[0].corners[0].u, test.b, 1e-5);
        // The start and end models stay as read.
        EXPECT_EQ(vertices(vars->start)[0].position[0], 0);
        EXPECT_EQ(vertices(vars->end)[0].position[0], 4);
    }
    EXPECT_EQ(errors(), std::vector<std::string>{});
}

// The morph visits what all three models have: a vertex or mesh only one
// of them has keeps its own position, and nothing outside a model is read.
TEST_F(ObjectSectionTest, MorphingModelsThatDifferTouchesOnlyWhatBothHave)
{
    Shape quad = triangles({0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0});
    quad.triangles = {0, 1, 2, 1, 3, 2};
    const std::string four = model("four.3ds", quad);
    const std::string three = model("three.3ds", triangles({2, 0, 0, 3, 0, 0, 2, 1, 0}));
    for (bool largerStart : {true, false}) {
        SCOPED_TRACE(largerStart ? "four vertices to three" : "three vertices to four");
        freeAllSections();
        const std::string &from = largerStart ? four : three, &to = largerStart ? three : four;
        Section *section = start("objectMorph", "param 0 0\nstring " + from + "\nstring " + to +
                                                    "\nstring " + layersFile + "\n");
        exec(section, 1);
        const ObjectMorphVars *vars = static_cast<ObjectMorphVars *>(section->vars);
        EXPECT_EQ(vertices(vars->current)[0].position[0], largerStart ? 2 : 0);
        if (largerStart) {
            EXPECT_EQ(vertices(vars->current)[3].position[0], 1);
        }
        EXPECT_FALSE(drawn(section, 1).empty());
    }
    EXPECT_EQ(errors(), std::vector<std::string>{});
}

TEST_F(ObjectSectionTest, ObjectMorphUploadsTexturesOfTheCurrentModelOnlyWithAFourthString)
{
    Shape skinned = triangles({0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 0, 1, 0, 0, 1});
    skinned.materials = {{"skin", {1, 1, 1}, 0, "skin.tga"}};
    skinned.triangleMaterials = {0};
    const std::string path = model("skinned.3ds", skinned);
    scratch.write("skin.tga", tgaImage(4, 4, 24, [](int, int) { return green; }));
    const std::string three = "param 0 1\nstring " + path + "\nstring " + path + "\nstring " + layersFile + "\n";

    start("objectMorph", three);
    EXPECT_EQ(traces().find("Base directory"), std::string::npos);
    EXPECT_NE(traces().find("objectMorph: No base directory found (String 4). Bypassing textures.\n"),
              std::string::npos);
    EXPECT_EQ(traces().find("model_upload_tex"), std::string::npos);

    captured.debugger.clear();
    start("objectMorph", three + "string " + scratch.path() + "/\n");
    const std::string base = "objectMorph: Base directory found in script. Loading textures...\n";
    const std::string upload = "model_upload_tex: Uploading texture: " + scratch.path() + "/skin.tga\n";
    const size_t found = traces().find(base), uploaded = traces().find(upload);
    ASSERT_NE(found, std::string::npos);
    ASSERT_NE(uploaded, std::string::npos);
    EXPECT_LT(found, uploaded);
    EXPECT_EQ(traces().find(upload, uploaded + 1), std::string::npos) << "one model's textures only";
    EXPECT_NE(traces().find("done.\n", uploaded), std::string::npos);
    EXPECT_EQ(traces().find("Bypassing"), std::string::npos);
    EXPECT_EQ(errors(), std::vector<std::string>{});
}

// Splines place the model, each inside the ones before it: spline 0 moves
// by 1, spline 1 scales by 2 and moves by 0.5, so x goes to 1 + 2 (x + 0.5).
TEST_F(ObjectSectionTest, ObjectMorphPlacesWithEverySplineInsideThePreviousOne)
{
    const std::string path = model("dot.3ds", marker);
    const std::string first = scratch.write("first.spl", "1 1 1 0 0 0 1 0 0\n1 1 1 0 0 0 1 0 0\n");
    const std::string second = scratch.write("second.spl", "2 2 2 0 0 0 0.5 0 0\n2 2 2 0 0 0 0.5 0 0\n");
    const std::string base = "param 0 0\nstring " + path + "\nstring " + path + "\nstring " + layersFile + "\n";
    struct {
        std::string splines;
        float x;               // the centre of the drawn marker
        float height;          // of the marker, 0.2 unscaled
    } cases[] = {
        {"", 0, 0.2f},
        {"spline " + first + " 10\n", 1, 0.2f},
        {"spline " + first + " 10\nspline " + second + " 10\n", 2, 0.4f},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.splines);
        freeAllSections();
        Section *section = start("objectMorph", base + test.splines);
        std::vector<Polygon> polygons = drawn(section, 1);
        ASSERT_EQ(polygons.size(), 1u);
        const Polygon &triangle = polygons[0];
        EXPECT_NEAR(centroid(triangle).x, test.x, 0.02);
        EXPECT_NEAR(extent(triangle).height(), test.height, 0.02);
    }
    EXPECT_EQ(errors(), std::vector<std::string>{});
}

TEST_F(ObjectSectionTest, ObjectMorph2MorphsByTheFormulasValueAndPlacesByIt)
{
    const std::string from = model("from.3ds", triangles({0, 0, 0, 0.2f, 0, 0, 0, 0.2f, 0}));
    const std::string to = model("to.3ds", triangles({2, 0, 0, 2.2f, 0, 0, 2, 0.2f, 0}));
    Section *section = start("objectMorph2", "param 0\nstring " + from + "\nstring " + to + "\nstring " +
                                                 scratch.path() + "/\nstring " + layersFile +
                                                 "\nstring tx=0;ty=-1;tz=0;\nstring rx=0;ry=0;rz=0;\n"
                                                 "string sx=1;sy=1;sz=1;\nstring value=t/4;\n");
    std::vector<Polygon> polygons = drawn(section, 1);
    ASSERT_EQ(polygons.size(), 1u);
    EXPECT_NEAR(extent(polygons[0]).minX, 0.5, 0.02);   // a quarter of the way
    EXPECT_NEAR(extent(polygons[0]).minY, -1, 0.02);
    EXPECT_EQ(errors(), std::vector<std::string>{});
}

// ---------------------------------------------------------------------------
// objectShader and objectShader2

// Copies at the three vertices of the source, each raised by n / 2 (n from
// 1); "default" draws one copy placed by the copy formula alone.
TEST_F(ObjectSectionTest, ObjectShaderDrawsOnceOrOneCopyPerSourceVertex)
{
    model("dot.3ds", marker);
    const std::string source = model("source.3ds", triangles({-2, 0, 0, 0, 1, 0, 2, 0, 0}));
    const std::string formulas =
        "string tx=0.5;ty=n/2;tz=0;\nstring rx=0;ry=0;rz=0;\nstring sx=1;sy=1;sz=1;\n"
        "string tx=0;ty=-1;tz=0;\nstring rx=0;ry=0;rz=0;\nstring sx=1;sy=1;sz=1;\n";
    struct {
        std::string source;
        std::vector<Point> centres;
    } cases[] = {
        {"default", {{0.5f, 0}}},
        {source, {{-1.5f, -0.5f}, {0.5f, 1}, {2.5f, 0.5f}}},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.source);
        freeAllSections();
        Section *section = start("objectShader", "param 0\nstring " + scratch.path() + "/\nstring dot.3ds\n"
                                                 "string " + layersFile + "\nstring " + test.source +
                                                     "\n" + formulas);
        std::vector<Polygon> polygons = drawn(section, 1);
        ASSERT_EQ(polygons.size(), test.centres.size());
        for (size_t i = 0; i < polygons.size(); i++) {
            // The marker's centroid is 1/30 below its origin.
            EXPECT_NEAR(centroid(polygons[i]).x, test.centres[i].x, 0.02) << i;
            EXPECT_NEAR(centroid(polygons[i]).y + 0.1f / 3, test.centres[i].y, 0.02) << i;
        }
    }
    EXPECT_EQ(errors(), std::vector<std::string>{});
}

// x and v add up from frame to frame, y and u start from the model's own
// values every time; init starts the positions over.
TEST_F(ObjectSectionTest, ObjectShader2DeformationAccumulatesAndInitResetsIt)
{
    model("tri.3ds", triangles({0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 0, 1, 0, 0, 1}));
    Section *section = start("objectShader2", "param 0\nstring " + scratch.path() + "/\nstring tri.3ds\n"
                                              "string " + layersFile + "\nstring x=x+0.5;\nstring y=y0+n+n0;\n"
                                              "string u=u0+n0;v=v+0.25;\n"
                                              "string tx=0;ty=0;tz=0;\nstring rx=0;ry=0;rz=0;\n"
                                              "string sx=1;sy=1;sz=1;\n");
    const ObjectShader2Vars *vars = static_cast<ObjectShader2Vars *>(section->vars);
    exec(section, 0);
    exec(section, 0.1f);
    const ModelMesh &mesh = vars->deformed->meshes[0];
    for (int j = 0; j < 3; j++) {
        SCOPED_TRACE(j);
        EXPECT_FLOAT_EQ(mesh.vertices[j].position[0], vertices(vars->model)[j].position[0] + 1.0f);
        EXPECT_FLOAT_EQ(mesh.vertices[j].position[1], vertices(vars->model)[j].position[1] + j + 3);
    }
    const ModelCorner &corner = mesh.polygons[0].corners[1];
    EXPECT_FLOAT_EQ(corner.u, vars->model->meshes[0].polygons[0].corners[1].u + 1);   // one polygon
    EXPECT_FLOAT_EQ(corner.v, vars->model->meshes[0].polygons[0].corners[1].v + 0.5f);
    // The shared model itself is never deformed.
    EXPECT_EQ(vertices(vars->model)[1].position[0], 1);

    callOperation(section, &SectionType::init);
    exec(section, 0);
    EXPECT_FLOAT_EQ(mesh.vertices[1].position[0], 1.5f);
    EXPECT_EQ(errors(), std::vector<std::string>{});
}

// A formula that does not parse is reported at load and then once a frame,
// not once per vertex.
TEST_F(ObjectSectionTest, FormulaErrorsAreReportedWithTheSectionsMessage)
{
    model("tri.3ds", triangles({0, 0, 0, 1, 0, 0, 0, 1, 0}));
    Section *section = start("objectShader2", "param 0\nstring " + scratch.path() + "/\nstring tri.3ds\n"
                                              "string " + layersFile + "\nstring x=;\nstring y=1;\nstring z=1;\n"
                                              "string tx=;\nstring ty=0;\nstring tz=0;\n");
    captured.err.clear();
    exec(section, 0);
    const std::string prefix = "objectShader2 (3, 0.000000 -> 10.000000): ";
    EXPECT_EQ(errors(), (std::vector<std::string>{
                            prefix + "place_object: Expression evaluation Error (2): tx=;ty=0;tz=0;",
                            prefix + "objectShader2: prepare_object: Expression evaluation Error (2): x=;y=1;z=1;"}));
}

// ---------------------------------------------------------------------------
// objectMatrix

// Three particles at x = -2, 0 and 2; the middle one is dead and the walk
// goes on past it.
TEST_F(ObjectSectionTest, ObjectMatrixDrawsEveryLivingParticleAfterADeadOne)
{
    model("dot.3ds", marker);
    const std::string source = model("source.3ds", triangles({0, 0, 0, 1, 0, 0, 0, 1, 0}));
    Section *section = start("objectMatrix", "param 0\nstring " + source + "\nstring " + scratch.path() +
                                                 "/\nstring " + scratch.path() + "/dot.3ds\nstring " +
                                                 layersFile + "\nstring rate=0;initialParticles=3;\n"
                                                 "string x=n*2-2;y=1;z=0;\nstring rx=0;ry=0;rz=0;\n"
                                                 "string sx=1;sy=1;sz=1;\nstring size=2;\n"
                                                 "string life=abs(n-1)-0.5;\nstring red=1;\n"
                                                 "string tx=0;ty=-1;tz=0;\nstring rx=0;ry=0;rz=0;\n"
                                                 "string sx=1;sy=1;sz=1;\n");
    std::vector<Polygon> polygons = drawn(section, 0);
    ASSERT_EQ(polygons.size(), 2u);
    EXPECT_NEAR(centroid(polygons[0]).x, -2, 0.02);
    EXPECT_NEAR(centroid(polygons[1]).x, 2, 0.02);
    // Placed at y = 1 - 1 and scaled by the size: twice the marker's height.
    EXPECT_NEAR(extent(polygons[0]).height(), 0.4, 0.02);
    EXPECT_NEAR(centroid(polygons[0]).y, -0.2f / 3, 0.02);

    // End empties the system; the next start bursts again.
    callOperation(section, &SectionType::end);
    EXPECT_TRUE(drawn(section, 0.1f).empty());
    callOperation(section, &SectionType::init);
    EXPECT_EQ(drawn(section, 0).size(), 2u);
    EXPECT_EQ(errors(), std::vector<std::string>{});
}

// ---------------------------------------------------------------------------
// macroBox

class MacroBoxTest : public ObjectSectionTest {
protected:
    void SetUp() override
    {
        ObjectSectionTest::SetUp();
        scratch.write("sky.tga", tgaImage(8, 8, 24, [](int, int) { return red; }));
        camera = camera_new();
        camera_set_position(camera, 0, 0, 5);
        camera_set_target(camera, 0, 0, 0);
        camera_set_fov(camera, 60, 640.0f / 480);
        camera_apply_projection(camera);
        camera_apply_view(camera);
        glGetFloatv(GL_PROJECTION_MATRIX, projection);
        glGetFloatv(GL_MODELVIEW_MATRIX, view);
    }
    void TearDown() override
    {
        free(camera);
        ObjectSectionTest::TearDown();
    }
    // Projection and modelview reset, so that only the section's camera
    // calls bring the camera back.
    static void resetMatrices()
    {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }
    static void expectMatrix(GLenum which, const float *expected)
    {
        float m[16];
        glGetFloatv(which, m);
        for (int i = 0; i < 16; i++)
            EXPECT_NEAR(m[i], expected[i], 1e-5) << i;
    }
    static int depth(GLenum which)
    {
        GLint value = 0;
        glGetIntegerv(which, &value);
        return value;
    }
    Camera *camera;
    float projection[16], view[16];
};

TEST_F(MacroBoxTest, WithoutATextureSourceItDrawsNothingButRestoresTheCamera)
{
    Section *section = start("macroBox", "param 3 1 1 0 0 0\nstring " + scratch.path() + "/sky.tga\n");
    demoSystem.currentCamera = camera;
    resetMatrices();
    EXPECT_TRUE(drawn(section, 1).empty());
    expectMatrix(GL_PROJECTION_MATRIX, projection);
    expectMatrix(GL_MODELVIEW_MATRIX, view);
    EXPECT_EQ(depth(GL_PROJECTION_STACK_DEPTH), 1);
    EXPECT_EQ(depth(GL_MODELVIEW_STACK_DEPTH), 1);
    EXPECT_EQ(errors(), std::vector<std::string>{});
}

TEST_F(MacroBoxTest, TheImageSurroundsTheCameraOnceACopy)
{
    Section *section = start("macroBox", "param 2 1 1 0 1 0\nstring " + scratch.path() + "/sky.tga\n");
    demoSystem.currentCamera = camera;
    fillDrawingRectangle(0, 0, 0);
    glClear(GL_DEPTH_BUFFER_BIT);
    camera_apply_projection(camera);
    camera_apply_view(camera);
    exec(section, 1);
    for (int x : {10, 320, 630})
        EXPECT_EQ(pixel(x, 240), red) << x;
    EXPECT_EQ(depth(GL_PROJECTION_STACK_DEPTH), 1);
    EXPECT_EQ(errors(), std::vector<std::string>{});
}

TEST_F(MacroBoxTest, WithoutACameraOrASkyboxItTracesAndTouchesNothing)
{
    Section *section = start("macroBox", "param 2 1 1 0 1 0\nstring " + scratch.path() + "/sky.tga\n");
    resetMatrices();
    EXPECT_TRUE(drawn(section, 1).empty());
    EXPECT_NE(traces().find("macrobox: no camera is present"), std::string::npos);
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    expectMatrix(GL_PROJECTION_MATRIX, identity);

    freeAllSections();
    section = start("macroBox", "param 2 1 1 0 1 0\nstring " + scratch.path() + "/none.tga\n");
    captured.err.clear();
    demoSystem.currentCamera = camera;
    EXPECT_TRUE(drawn(section, 1).empty());
    EXPECT_NE(traces().find("macrobox: skybox does not exist"), std::string::npos);
    expectMatrix(GL_PROJECTION_MATRIX, identity);
}

// ---------------------------------------------------------------------------
// The object extruder

class ExtruderTest : public ObjectSectionTest {
protected:
    // An extruder section over `shape`, current while the test runs.
    Section *extruderSection(const Shape &shape, const char *noExtrusion = "0")
    {
        model("shape.3ds", shape);
        parse(std::string("[objectExtruder]\nid e\nstart 0\nend 10\nlayer 3\nparam 0 0 0 0 ") + noExtrusion +
              " 0\nstring " + scratch.path() + "/\nstring shape.3ds\nstring " + layersFile +
              "\nstring step=1;\nstring vx=0;\nstring vy=0;\nstring vz=0;\n");
        currentSection = demoSystem.sectionList;
        return currentSection;
    }
};

// One triangle in the z = 0 plane facing +z: eight layers of three new
// vertices and seven triangles each, the k-th cap 0.3 k above the last.
TEST_F(ExtruderTest, OneTriangleGrowsTo27VerticesAnd57Polygons)
{
    extruderSection(triangles({0, 0, 0, 1, 0, 0, 0, 1, 0}));
    ObjectExtruder extruder;
    extruder.load();
    const ModelMesh &mesh = *extruder.working.mesh;
    ASSERT_EQ(mesh.vertexCount, 27);
    ASSERT_EQ(mesh.polygonCount, 57);
    float height = 0;
    for (int k = 1; k <= EXTRUSION_STEPS; k++) {
        height += 0.3f * k;
        // The caps are the last polygon of each step's seven.
        const ModelPolygon &cap = mesh.polygons[7 * k];
        for (int c = 0; c < 3; c++)
            EXPECT_NEAR(std::fabs(mesh.vertices[cap.corners[c].vertex].position[2]), height, 1e-4) << k;
    }
    EXPECT_NEAR(height, 10.8, 1e-4);
    for (int p = 0; p < mesh.polygonCount; p++) {
        ASSERT_EQ(mesh.polygons[p].cornerCount, 3);
        for (int c = 0; c < 3; c++)
            ASSERT_LT(mesh.polygons[p].corners[c].vertex, 27);
    }
    EXPECT_EQ(errors(), std::vector<std::string>{});
}

// With no extrusion the unwelded mesh is drawn alone; two seconds in, it
// has turned 21 degrees about y: the corner at x = 2 is seen at 2 cos 21.
TEST_F(ExtruderTest, WithoutExtrusionTheUnweldedMeshTurns10AndAHalfDegreesASecond)
{
    Section *section = extruderSection(triangles({2, 0, 0, 2, 1, 0, 1, 0, 0}), "1");
    callOperation(section, &SectionType::load);
    std::vector<Polygon> at0 = drawn(section, 0), at2 = drawn(section, 2);
    ASSERT_EQ(at0.size(), 1u);
    ASSERT_EQ(at2.size(), 1u);
    EXPECT_NEAR(extent(at0[0]).maxX, 2, 0.01);
    EXPECT_NEAR(extent(at2[0]).maxX, 2 * std::cos(21 * M_PI / 180), 0.01);
    EXPECT_NEAR(extent(at2[0]).minX, std::cos(21 * M_PI / 180), 0.01);
    EXPECT_EQ(errors(), std::vector<std::string>{});
}

TEST_F(ExtruderTest, UnweldGivesEveryTriangleItsOwnVerticesWithTheTrianglesNormal)
{
    Shape quad = triangles({0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0});
    quad.triangles = {0, 1, 2, 1, 3, 2};
    ReadModel read(write3ds(quad, "quad"));
    proxy_3ds_mesh view(&read.model->meshes[0]), target;
    view.unweld(target);
    ASSERT_EQ(target.mesh->vertexCount, 6);
    ASSERT_EQ(target.mesh->polygonCount, 2);
    for (int i = 0; i < 6; i++) {
        const ModelPolygon &polygon = target.polygon(i / 3);
        EXPECT_EQ(polygon.corners[i % 3].vertex, i);
        const int source = read.model->meshes[0].polygons[i / 3].corners[i % 3].vertex;
        for (int axis = 0; axis < 3; axis++) {
            EXPECT_EQ(target.vertex(i).position[axis], read.model->meshes[0].vertices[source].position[axis]);
            EXPECT_FLOAT_EQ(target.vertex(i).normal[axis], polygon.normal[axis]);
        }
        EXPECT_FLOAT_EQ(std::fabs(polygon.normal[2]), 1);
    }
}

TEST_F(ExtruderTest, GetUVFindsTheFirstCornerOfAVertexOrReports)
{
    ReadModel read(write3ds(triangles({0, 0, 0, 1, 0, 0, 0, 1, 0}, {0.25f, 0.5f, 0.75f, 0, 0, 1}), "t"));
    proxy_3ds_mesh view(&read.model->meshes[0]);
    float u = -1, v = -1;
    view.GetUV(1, &u, &v);
    const ModelCorner &corner = read.model->meshes[0].polygons[0].corners[1];
    ASSERT_EQ(corner.vertex, 1);
    EXPECT_FLOAT_EQ(u, corner.u);
    EXPECT_FLOAT_EQ(v, corner.v);
    EXPECT_FLOAT_EQ(u, 0.75f);
    view.GetUV(7, &u, &v);
    EXPECT_EQ(u, 0);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(errors(), std::vector<std::string>{"proxy_3ds_mesh::GetUV : Invalid index"});
}

TEST_F(ExtruderTest, GetMeshPastTheMeshesThrowsAndSetMeshGrowsTheScene)
{
    proxy_3ds_scene empty;
    EXPECT_THROW(empty.GetMesh(0), std::runtime_error);
    proxy_3ds_mesh own;
    own.setPolygonCount(3);
    own.setVertexCount(5);
    EXPECT_EQ(own.polygon(2).cornerCount, 3);
    EXPECT_GE(own.vertexCapacity, 5);
    empty.SetMesh(1, own);
    ASSERT_NE(empty.model, nullptr);
    EXPECT_EQ(empty.model->meshCount, 2);
    EXPECT_EQ(empty.model->meshes[1].vertices, own.mesh->vertices);
    EXPECT_EQ(empty.model->meshes[1].polygonCount, 3);
}

// A formula that does not parse is reported at load, then by every
// evaluation: the eight of the extrusion and one a frame.
TEST_F(ExtruderTest, SolverErrorsNameTheFormula)
{
    model("shape.3ds", triangles({0, 0, 0, 1, 0, 0, 0, 1, 0}));
    parse("[objectExtruder]\nid e\nstart 0\nend 10\nlayer 3\nparam 0 0 0 0 0 0\nstring " + scratch.path() +
          "/\nstring shape.3ds\nstring " + layersFile + "\nstring step=;\nstring vx=0;\nstring vy=0;\nstring vz=0;\n");
    Section *section = demoSystem.sectionList;
    callOperation(section, &SectionType::load);
    std::vector<std::string> reported = errors();
    ASSERT_EQ(reported.size(), 9u);
    EXPECT_EQ(reported[0].rfind("Expression Parse Error ", 0), 0u) << reported[0];
    const std::string solver =
        "objectExtruder (3, 0.000000 -> 10.000000): Error #2 in evaluator::Solver : 'step=;vx=0;vy=0;vz=0;'";
    for (size_t i = 1; i < reported.size(); i++)
        EXPECT_EQ(reported[i], solver);
    captured.err.clear();
    EXPECT_FALSE(drawn(section, 1).empty());
    EXPECT_EQ(errors(), std::vector<std::string>{solver});
}

// Every vertex index is 16 bits: a first mesh that would need more than
// 65 536 vertices once extruded is refused, and the section draws nothing.
TEST_F(ExtruderTest, AMeshTooLargeToExtrudeIsRefused)
{
    Section *section = extruderSection(sphere(2, 30, 50));   // 3000 triangles
    callOperation(section, &SectionType::load);
    EXPECT_EQ(errors(), std::vector<std::string>{"objectExtruder (3, 0.000000 -> 10.000000): objectExtruder: " +
                                                 scratch.path() + "/shape.3ds has 3000 triangles, more "
                                                 "than 2427 can be extruded"});
    EXPECT_TRUE(drawn(section, 1).empty());
}
