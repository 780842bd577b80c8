// Formulas bound to the engine: building drivers, engine variables, solvers.
#include <cstring>

#include "expr/driver.h"
#include "graphics/camera.h"
#include "graphics/video.h"
#include "kernel/demo.h"
#include "kernel/section.h"
#include "tests/support/kernel_fixture.h"

class DriverTest : public KernelTest {
protected:
    void SetUp() override
    {
        KernelTest::SetUp();
        section = newSection();
        section->elapsed = 1.5f;
        section->duration = 4.0f;
        currentSection = section;
        demoSystem.currentCamera = nullptr;
    }
    void TearDown() override
    {
        for (ExprDriver *driver : drivers) {
            destroyExpression(driver->expression);
            destroyValueTable(driver->constants);
            destroyValueTable(driver->variables);
            destroyFunctionTable(driver->functions);
            free(driver->text);
            delete driver;
        }
        currentSection = nullptr;
        freeSection(section);
        KernelTest::TearDown();
    }
    // Drivers live for the whole run in the engine; tests keep theirs here.
    ExprDriver *build(const char *text)
    {
        ExprDriver *driver = new ExprDriver();
        driver->text = strdup(text);
        initExpression(driver);
        drivers.push_back(driver);
        return driver;
    }
    double value(ExprDriver *driver, const char *name)
    {
        double result = -12345;
        getValue(driver->variables, name, &result);
        return result;
    }
    Section *section;
    std::vector<ExprDriver *> drivers;
};

TEST_F(DriverTest, BuildingTracesTheCleanedText)
{
    char text[] = " a = 1; \tb=2 ;";
    EXPECT_EQ(removeSpaces(text), 5);
    EXPECT_STREQ(text, "a=1;\tb=2;");
    build("a = 1;");
    EXPECT_NE(captured.debugger.find("exprevaldriver: initExpression: [a=1;] (2 spaces removed)\n"),
              std::string::npos);
}

TEST_F(DriverTest, EngineVariablesAreThereAfterTheFirstUpdate)
{
    ExprDriver *driver = build("x = 2;");
    glConfig.vpWidth = 640;
    glConfig.vpHeight = 400;
    demoSystem.beat = 0.75f;
    updateEngineVariables(driver);
    struct Case {
        const char *name;
        double expected;
    };
    const Case cases[] = {
        {"t", 1.5},         {"tend", 4.0},       {"beat", 0.75},       {"cam_eye_x", 0},
        {"cam_target_z", 100}, {"cam_angle_y", 0}, {"vpWidth", 640},   {"vpHeight", 400},
        {"rttWidth", 1024}, {"rttHeight", 512},  {"aspectRatio", 1.6f},
    };
    for (const Case &c : cases)
        EXPECT_DOUBLE_EQ(value(driver, c.name), c.expected) << c.name;

    Camera camera = {};
    camera_reset(&camera);
    camera_set_position(&camera, 1, 2, 3);
    camera_set_angles(&camera, 10, 20, 30);
    demoSystem.currentCamera = &camera;
    updateEngineVariables(driver);
    EXPECT_DOUBLE_EQ(value(driver, "cam_eye_z"), 3);
    EXPECT_DOUBLE_EQ(value(driver, "cam_target_z"), -100);
    EXPECT_DOUBLE_EQ(value(driver, "cam_angle_y"), 20);
    demoSystem.currentCamera = nullptr;
}

TEST_F(DriverTest, AssignedEngineVariablesHoldUntilTheNextUpdate)
{
    ExprDriver *driver = build("t = 5; u = t * 2;");
    updateEngineVariables(driver);
    ASSERT_EQ(evaluateDriver(driver), EXPR_OK);
    EXPECT_DOUBLE_EQ(value(driver, "u"), 10);
    updateEngineVariables(driver);
    EXPECT_DOUBLE_EQ(value(driver, "t"), 1.5);
}

TEST_F(DriverTest, ASyntaxErrorIsReportedOnceAndEvaluationThenFails)
{
    ExprDriver *driver = build("a = (1;");
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_EQ(errors()[0].rfind("Expression Parse Error ", 0), 0u);
    EXPECT_EQ(driver->expression, nullptr);
    updateEngineVariables(driver);
    EXPECT_EQ(evaluateDriver(driver), EXPR_MISSING);
}

TEST_F(DriverTest, PerElementInputsNeedNoLookup)
{
    ExprDriver *driver = build("y = x * x;");
    double *x = driverVariable(driver, "x");
    double *y = driverVariable(driver, "y");
    for (int i = 0; i < 4; i++) {
        *x = i;
        ASSERT_EQ(evaluateDriver(driver), EXPR_OK);
        EXPECT_DOUBLE_EQ(*y, i * i);
    }
}

TEST_F(DriverTest, SolverJoinsTheListedStrings)
{
    const char *strings[] = {"unused", "a=100;", "", "p=1;", "q=p+1;", "r=q*t;", "s=r;"};
    for (const char *text : strings)
        section->strings[section->stringNum++] = strdup(text);
    {
        evaluator::Solver solver(3, 4, 5, 6, -1, 1);
        ASSERT_TRUE(solver.evaluate());
        EXPECT_DOUBLE_EQ(solver.value("s"), 3.0);
        EXPECT_DOUBLE_EQ(solver.value("a"), 0.0);
        EXPECT_TRUE(solver.set("p", 2));
        EXPECT_FALSE(solver.set("nosuch", 2));
        EXPECT_DOUBLE_EQ(solver.value("nosuch"), 0.0);
    }
    {
        evaluator::Solver broken(40, 1);
        EXPECT_TRUE(broken.evaluate());
        EXPECT_DOUBLE_EQ(broken.value("a"), 100.0);
    }
    EXPECT_TRUE(errors().empty());
}
