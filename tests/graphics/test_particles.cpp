// The particle and ray engines without a window: emission with its carry
// and bursts, the update formula's inputs and outputs, dying without
// leaving the list, and what drawing hands to GL (through the recorder).
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "expr/expr.h"
#include "graphics/particles.h"
#include "graphics/video.h"
#include "kernel/demo.h"
#include "kernel/section.h"
#include "tests/support/gl_recorder.h"
#include "tests/support/kernel_fixture.h"

// Systems live until the process ends, as in the engine; this list keeps
// them reachable for the leak checker.
static std::vector<void *> *const liveSystems = new std::vector<void *>;

static void setFormula(ExprDriver *driver, const char *text)
{
    driver->text = strdup(text);
    initExpression(driver);
}

// One emitter point with its colour.
struct Emitter {
    double position[3], colour[3];
};

class ParticleEngineTest : public KernelTest {
protected:
    void SetUp() override
    {
        KernelTest::SetUp();
        glRecorder.reset();
        parse("[particleMatrix2]\nid p\nstart 0\nend 10\nlayer 3\n");
        section = demoSystem.sectionList;
        currentSection = section;
        demoSystem.timeStep = 0.05f;
        glConfig.aspectRatio = 1.5f;
        exprSeedRandom(1);
    }
    void TearDown() override
    {
        currentSection = nullptr;
        KernelTest::TearDown();
    }
    ParticleSystem *particles(const char *generate, const char *update,
                              const std::vector<Emitter> &emitters = {{{3, 4, 0}, {0.25, 0.5, 0.75}}})
    {
        ParticleSystem *ps = particle_system_new();
        liveSystems->push_back(ps);
        setFormula(&ps->generate, generate);
        setFormula(&ps->update, update);
        ps->emitterCount = static_cast<int>(emitters.size());
        ps->emitterPositions = new double[3 * emitters.size() + 1];
        ps->emitterColours = new double[3 * emitters.size() + 1];
        liveSystems->push_back(ps->emitterPositions);
        liveSystems->push_back(ps->emitterColours);
        for (size_t e = 0; e < emitters.size(); e++) {
            std::memcpy(&ps->emitterPositions[3 * e], emitters[e].position, sizeof(Emitter::position));
            std::memcpy(&ps->emitterColours[3 * e], emitters[e].colour, sizeof(Emitter::colour));
        }
        ps->texU = 0.625f;
        ps->texV = 0.5f;
        return ps;
    }
    // One frame at `elapsed` seconds of the section, as the sections run it.
    void frame(ParticleSystem *ps, float elapsed)
    {
        section->elapsed = elapsed;
        updateEngineVariables(&ps->update);
        updateEngineVariables(&ps->generate);
        particles_generate(ps);
        particles_update(ps);
    }
    void draw(ParticleSystem *ps)
    {
        glRecorder.primitives.clear();
        particles_draw(ps);
    }
    Section *section;
};

// ---------------------------------------------------------------------------
// Emission

struct EmissionCase {
    const char *name;
    const char *generate;
    std::vector<float> steps;  // timeStep of each frame; a negative one restarts the section first
    std::vector<int> emitted;  // new particles per frame
};

static const EmissionCase emissionCases[] = {
    {"rate 30 in steps of 0.05 s carries the half", "rate=30; initialParticles=0;",
     {0.05f, 0.05f, 0.05f, 0.05f, 0.05f}, {0, 1, 2, 1, 2}},
    {"paused, only the initial burst", "rate=30; initialParticles=4;", {0, 0, 0}, {4, 0, 0}},
    {"the burst comes after every start, even at rate 0", "rate=0; initialParticles=3;",
     {0.05f, 0.05f, -0.05f, 0.05f}, {3, 0, 3, 0}},
    {"a fractional burst is carried", "rate=10; initialParticles=1.75;", {0.05f, 0.05f},
     {1, 1}},
    {"a formula without the outputs emits nothing", "a=1;", {0.05f, 0.05f}, {0, 0}},
    {"a failing formula emits nothing", "initialParticles=5; rate=1/0;", {0.05f, 0.05f}, {0, 0}},
};

TEST_F(ParticleEngineTest, EmissionFollowsTheRateWithTheFractionCarried)
{
    for (const EmissionCase &test : emissionCases) {
        SCOPED_TRACE(test.name);
        ParticleSystem *ps = particles(test.generate, "a=1;");
        std::vector<int> emitted;
        float elapsed = 0;
        for (float step : test.steps) {
            if (step < 0) {
                ps->firstBurst = 1;
                particles_clear(ps);
                elapsed = 0;
            }
            demoSystem.timeStep = std::fabs(step);
            int before = ps->particleCount;
            frame(ps, elapsed += std::fabs(step));
            emitted.push_back(ps->particleCount - before);
        }
        EXPECT_EQ(emitted, test.emitted);
    }
}

TEST_F(ParticleEngineTest, FailingFormulasAreReportedWithTheirText)
{
    ParticleSystem *failing = particles("rate=1/0;", "x=1/0;");
    failing->firstBurst = 0;
    frame(failing, 0);
    EXPECT_EQ(failing->particleCount, 0);
    ParticleSystem *moving = particles("initialParticles=2;", "x=1/0;");
    frame(moving, 0);
    EXPECT_EQ(moving->particleCount, 2);
    const std::string prefix = "particleMatrix2 (3, 0.000000 -> 10.000000): ";
    const std::string update =
        prefix + "particleEngine:particles_update: Expression evaluation Error (20): x=1/0;";
    EXPECT_EQ(errors(), (std::vector<std::string>{prefix + "particleEngine: particles_generate: "
                                                           "Expression evaluation Error (20): rate=1/0;",
                                                  update, update}));
}

// Each particle starts at an emitter the formulas' generator picks, with
// its colour, size 1, life 1 and the section's time.
TEST_F(ParticleEngineTest, ParticlesAreBornAtEmittersTheGeneratorPicks)
{
    const std::vector<Emitter> emitters = {
        {{1, 0, 0}, {1, 0, 0}}, {{0, 2, 0}, {0, 1, 0}}, {{0, 0, 3}, {0, 0, 1}}};
    ParticleSystem *ps = particles("rate=0; initialParticles=12;", "a=1;", emitters);
    exprSeedRandom(77);
    frame(ps, 2.5f);
    ASSERT_EQ(ps->particleCount, 12);
    exprSeedRandom(77);
    std::vector<int> picked, expected;
    for (int n = 0; n < 12; n++) {
        const Particle *p = particle_at(ps, n);
        for (int e = 0; e < 3; e++) {
            if (p->birthPosition[0] == emitters[e].position[0] &&
                p->birthPosition[1] == emitters[e].position[1] &&
                p->birthPosition[2] == emitters[e].position[2] &&
                std::memcmp(p->position, p->birthPosition, sizeof p->position) == 0 &&
                std::memcmp(p->birthColour, emitters[e].colour, sizeof p->birthColour) == 0)
                picked.push_back(e);
        }
        expected.push_back(exprRandom() % 3);
        EXPECT_EQ(p->size, 1);
        EXPECT_EQ(p->life, 1);
        EXPECT_EQ(p->colour[3], 0);
        EXPECT_FLOAT_EQ(p->birthTime, 2.5f);
    }
    EXPECT_EQ(picked, expected);

    ParticleSystem *empty = particles("rate=0; initialParticles=5;", "a=1;", {});
    frame(empty, 0);
    EXPECT_EQ(empty->particleCount, 0);
}

// Blocks hold the list in birth order: position n in the links is
// particle_at(n), and the list stays circular across blocks.
TEST_F(ParticleEngineTest, TheListStaysInBirthOrderAcrossBlocks)
{
    const int count = 2 * ELEMENT_BLOCK + 5;
    ParticleSystem *ps = particles(("rate=0; initialParticles=" + std::to_string(count) + ";").c_str(),
                                   "a=1;");
    frame(ps, 0);
    ASSERT_EQ(ps->particleCount, count);
    const Particle *p = ps->first;
    for (int n = 0; n < count; n++, p = p->next) {
        ASSERT_EQ(p, particle_at(ps, n)) << n;
        ASSERT_EQ(p->next->prev, p) << n;
    }
    EXPECT_EQ(p, ps->first);
    EXPECT_EQ(particle_at(ps, count), nullptr);
    particles_clear(ps);
    EXPECT_EQ(ps->particleCount, 0);
    EXPECT_EQ(ps->first, nullptr);
    ps->firstBurst = 1;
    frame(ps, 0);
    EXPECT_EQ(ps->particleCount, count);
}

// ---------------------------------------------------------------------------
// Update

struct InputCase {
    const char *expression;
    double value;
};

// Two particles from the emitter at (3, 4, 0) with colour (0.25, 0.5,
// 0.75), born at 1 s, updated at 3.5 s: what the second one sees.
static const InputCase particleInputCases[] = {
    {"px", 3}, {"py", 4}, {"pz", 0}, {"px0", 3}, {"py0", 4}, {"pz0", 0}, {"r0", 0.25},
    {"g0", 0.5}, {"b0", 0.75}, {"n", 1}, {"r", 5}, {"age", 2.5}, {"count", 2},
};

TEST_F(ParticleEngineTest, TheUpdateFormulaSeesEachParticlesInputs)
{
    for (const InputCase &test : particleInputCases) {
        SCOPED_TRACE(test.expression);
        ParticleSystem *ps =
            particles("rate=0; initialParticles=2;", (std::string("size=") + test.expression + ";").c_str());
        frame(ps, 1);
        particle_at(ps, 0)->size = particle_at(ps, 1)->size = -1;
        frame(ps, 3.5f);
        EXPECT_DOUBLE_EQ(particle_at(ps, 1)->size, test.value);
    }
}

// Every output lands in its field, and a field whose output the formula
// never names keeps its value.
TEST_F(ParticleEngineTest, OutputsAreReadBackOnlyWhenTheFormulaHasThem)
{
    ParticleSystem *all = particles("rate=0; initialParticles=1;",
                                    "red=1; green=2; blue=3; alpha=4; x=5; y=6; z=7; rx=8; ry=9;"
                                    "rz=10; sx=11; sy=12; sz=13; size=14; life=15; ratio=16;");
    frame(all, 0);
    const Particle *p = particle_at(all, 0);
    const double fields[] = {p->colour[0],   p->colour[1],   p->colour[2],   p->colour[3],
                             p->position[0], p->position[1], p->position[2], p->rotation[0],
                             p->rotation[1], p->rotation[2], p->scale[0],    p->scale[1],
                             p->scale[2],    p->size,        p->life,        p->ratio};
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(fields[i], i + 1) << i;

    ParticleSystem *one = particles("rate=0; initialParticles=1;", "x=px+1;");
    frame(one, 0);
    frame(one, 0.5f);
    p = particle_at(one, 0);
    EXPECT_EQ(p->position[0], 5);
    EXPECT_EQ(p->position[1], 4);
    EXPECT_EQ(p->size, 1);
    EXPECT_EQ(p->life, 1);
    EXPECT_EQ(p->colour[0], 0);
    EXPECT_EQ(p->ratio, 0);
}

// life = 1 - age/2: the first particle vanishes from drawing after two
// seconds and is no longer updated, but keeps its place: the second one
// is still number 1.
TEST_F(ParticleEngineTest, ADeadParticleStaysInTheListAndKeepsItsNumber)
{
    ParticleSystem *ps = particles("rate=0; initialParticles=1;", "life = 1 - age/2; x = n;");
    frame(ps, 0);
    ps->firstBurst = 1;
    frame(ps, 1.5f);
    frame(ps, 2.5f);
    ASSERT_EQ(ps->particleCount, 2);
    EXPECT_DOUBLE_EQ(particle_at(ps, 0)->life, -0.25);
    draw(ps);
    std::vector<RecordedShape> quads = glRecorder.quads();
    ASSERT_EQ(quads.size(), 1u);
    EXPECT_DOUBLE_EQ((quads[0].vertices[0].x + quads[0].vertices[1].x) / 2, 1);

    frame(ps, 4);
    EXPECT_DOUBLE_EQ(particle_at(ps, 0)->life, -0.25);
    EXPECT_DOUBLE_EQ(particle_at(ps, 1)->life, -0.25);
    draw(ps);
    EXPECT_TRUE(glRecorder.quads().empty());
}

// ---------------------------------------------------------------------------
// Drawing

// Half-width and half-height of a recorded quad, and its highest texture
// coordinates.
struct QuadSize {
    double halfWidth, halfHeight;
    float u, v;
};

static QuadSize quadSize(const RecordedShape &quad)
{
    const RecordedVertex &topLeft = quad.vertices[0], &topRight = quad.vertices[1],
                         &bottomRight = quad.vertices[2];
    return {(topRight.x - topLeft.x) / 2, (topRight.y - bottomRight.y) / 2, topRight.u, topRight.v};
}

// Size 2 is the half-height; the half-width is size times the aspect
// ratio until a particle has a ratio, which also switches the system to
// the whole texture, for good.
TEST_F(ParticleEngineTest, RatioSetsTheSpriteWidthAndTheWholeTexture)
{
    ParticleSystem *ps = particles("rate=0; initialParticles=1;",
                                   "size = 2; ratio = if(equal(t, 1), 0.5, 0);");
    const struct {
        float time;
        QuadSize size;
    } steps[] = {{0, {3, 2, 0.625f, 0.5f}}, {1, {1, 2, 1, 1}}, {2, {3, 2, 1, 1}}};
    for (const auto &step : steps) {
        SCOPED_TRACE(step.time);
        frame(ps, step.time);
        draw(ps);
        ASSERT_EQ(glRecorder.quads().size(), 1u);
        QuadSize size = quadSize(glRecorder.quads()[0]);
        EXPECT_DOUBLE_EQ(size.halfWidth, step.size.halfWidth);
        EXPECT_DOUBLE_EQ(size.halfHeight, step.size.halfHeight);
        EXPECT_EQ(size.u, step.size.u);
        EXPECT_EQ(size.v, step.size.v);
    }
}

// Particles at z = 0, -4, -2 (x = n): the farthest in eye space is drawn
// first, whatever the list order; turning the view about y reverses it.
TEST_F(ParticleEngineTest, SpritesAreDrawnFarthestFirst)
{
    const struct {
        const char *view;
        std::array<double, 16> modelview;
        std::vector<double> order;      // x of the quads in drawing order
    } cases[] = {
        {"straight", {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, {1, 2, 0}},
        {"turned half round", {-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1}, {-0.0, -2, -1}},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.view);
        ParticleSystem *ps = particles("rate=0; initialParticles=3;",
                                       "x = n; y = 0; z = 3*n*n - 7*n; alpha = 1;");
        frame(ps, 0);
        glRecorder.setModelview(test.modelview);
        draw(ps);
        std::vector<double> order;
        for (const RecordedShape &quad : glRecorder.quads())
            order.push_back((quad.vertices[0].x + quad.vertices[1].x) / 2);
        EXPECT_EQ(order, test.order);
        EXPECT_EQ(glRecorder.modelviewDepth(), 0);
    }
}

// The rotation turns the sprite about the system's origin, not about the
// particle: a quarter turn about z takes (2, 0, 0) to (0, 2, 0). Turns
// about all three axes match glRotated about x, then y, then z.
TEST_F(ParticleEngineTest, RotationTurnsTheSpriteAboutTheOrigin)
{
    ParticleSystem *ps = particles("rate=0; initialParticles=3;",
                                   "last = equal(n, 2); x = if(last, 1, 2); y = if(last, 2, 0);"
                                   "z = if(last, 3, -n); rx = last*30; ry = last*45;"
                                   "rz = if(last, 60, if(n, 0, 90)); size = 0.5;");
    frame(ps, 0);
    draw(ps);
    std::vector<RecordedShape> quads = glRecorder.quads();
    ASSERT_EQ(quads.size(), 3u);
    EXPECT_EQ(glRecorder.modelviewDepth(), 0);

    // The reference turn, from the recorder's own glRotated.
    glRotated(30, 1, 0, 0);
    glRotated(45, 0, 1, 0);
    glRotated(60, 0, 0, 1);
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    const double p[3] = {1, 2, 3};
    double turned[3];
    for (int row = 0; row < 3; row++)
        turned[row] = m[row] * p[0] + m[4 + row] * p[1] + m[8 + row] * p[2];

    // Drawn farthest first: the unturned particle 1, then 0, then 2.
    const double centres[3][3] = {{2, 0, -1}, {0, 2, 0}, {turned[0], turned[1], turned[2]}};
    for (int q = 0; q < 3; q++) {
        for (int axis = 0; axis < 3; axis++) {
            double sum = 0;
            for (const RecordedVertex &v : quads[q].vertices)
                sum += axis == 0 ? v.x : axis == 1 ? v.y : v.z;
            EXPECT_NEAR(sum / 4, centres[q][axis], 1e-6) << q << ", " << axis;
        }
    }
}

// ---------------------------------------------------------------------------
// Rays

class RayEngineTest : public ParticleEngineTest {
protected:
    RaySystem *rays(const char *generate, const char *update, int startCount = 2, int endCount = 3)
    {
        RaySystem *rs = ray_system_new();
        liveSystems->push_back(rs);
        setFormula(&rs->generate, generate);
        setFormula(&rs->update, update);
        rs->startCount = startCount;
        rs->endCount = endCount;
        rs->startPoints = new double[3 * startCount + 1];
        rs->endPoints = new double[3 * endCount + 1];
        liveSystems->push_back(rs->startPoints);
        liveSystems->push_back(rs->endPoints);
        for (int i = 0; i < 3 * startCount; i++)
            rs->startPoints[i] = i / 3 + 1;          // start point s is (s+1, s+1, s+1)
        for (int i = 0; i < 3 * endCount; i++)
            rs->endPoints[i] = -(i / 3 + 1);          // end point d is -(d+1) on each axis
        return rs;
    }
    void frame(RaySystem *rs, float elapsed)
    {
        section->elapsed = elapsed;
        updateEngineVariables(&rs->update);
        updateEngineVariables(&rs->generate);
        rays_generate(rs);
        rays_update(rs);
    }
};

// Each ray takes a start point, then an end point, from the generator.
TEST_F(RayEngineTest, RaysJoinAStartAndAnEndPointTheGeneratorPicks)
{
    RaySystem *rs = rays("rate=0; initialRays=6;", "a=1;");
    exprSeedRandom(5);
    frame(rs, 1);
    ASSERT_EQ(rs->rayCount, 6);
    exprSeedRandom(5);
    const Ray *ray = rs->first;
    for (int n = 0; n < 6; n++, ray = ray->next) {
        const int s = exprRandom() % 2, d = exprRandom() % 3;
        EXPECT_EQ(ray->start[1], s + 1) << n;
        EXPECT_EQ(ray->end[2], -(d + 1)) << n;
        EXPECT_EQ(ray->size, 1);
        EXPECT_EQ(ray->life, 1);
    }
    for (auto counts : {std::pair<int, int>{0, 3}, {2, 0}}) {
        RaySystem *cannot = rays("rate=0; initialRays=6;", "a=1;", counts.first, counts.second);
        frame(cannot, 0);
        EXPECT_EQ(cannot->rayCount, 0);
    }
}

// One ray from (1, 1, 1) to (-1, -1, -1) born at 0 s, updated at 0.5 s.
static const InputCase rayInputCases[] = {
    {"sx", 1}, {"sy", 1}, {"sz", 1}, {"dx", -1}, {"dy", -1}, {"dz", -1},
    {"n", 0},  {"age", 0.5}, {"count", 1},
};

TEST_F(RayEngineTest, TheUpdateFormulaSeesEachRaysInputs)
{
    for (const InputCase &test : rayInputCases) {
        SCOPED_TRACE(test.expression);
        RaySystem *rs = rays("rate=0; initialRays=1;",
                             (std::string("size=") + test.expression + ";").c_str(), 1, 1);
        frame(rs, 0);
        rs->first->size = -7;
        frame(rs, 0.5f);
        EXPECT_DOUBLE_EQ(rs->first->size, test.value);
    }
}

// Living rays are white lines of their own width, in list order; a ray
// with life 0 is updated but not drawn, one below 0 neither.
TEST_F(RayEngineTest, LivingRaysAreDrawnAsLinesOfTheirWidth)
{
    RaySystem *rs = rays("rate=0; initialRays=4;",
                         "size = n + 1 + t; life = if(equal(n, 1), 0, if(equal(n, 2), -1, 1));");
    frame(rs, 0);
    frame(rs, 1);
    glRecorder.primitives.clear();
    rays_draw(rs);
    const Ray *drawn[] = {rs->first, rs->first->prev};
    std::vector<RecordedShape> lines = glRecorder.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].lineWidth, 2);
    EXPECT_EQ(lines[1].lineWidth, 5);
    for (int i = 0; i < 2; i++) {
        EXPECT_EQ(lines[i].vertices[0].colour, (std::array<double, 4>{1, 1, 1, 1}));
        EXPECT_EQ(lines[i].vertices[0].y, drawn[i]->start[1]);
        EXPECT_EQ(lines[i].vertices[1].z, drawn[i]->end[2]);
    }
    // Ray 1 (life 0) was still updated; ray 2 stopped at its first update.
    EXPECT_EQ(rs->first->next->size, 3);
    EXPECT_EQ(rs->first->next->next->size, 3);
}

// ---------------------------------------------------------------------------
// Multiply-with-carry generator

TEST(MultiplyWithCarry, ZeroSeedsGiveTheDefaultSequence)
{
    mwc_seed(0, 0);
    EXPECT_EQ(mwc_random(), 1724332705u);
    mwc_seed(521288629u, 362436069u);
    EXPECT_EQ(mwc_random(), 1724332705u);
}
