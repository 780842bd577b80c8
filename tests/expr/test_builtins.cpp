// The built-in functions, the math error rule, soft errors, the loop and its
// breaker, the named constants and the random generator.
#include <cmath>
#include <limits>

#include "tests/expr/formula_fixture.h"

static const double pi = 3.141592653589793;

TEST_F(FormulaTest, EveryBuiltinIsRegisteredWithItsArgumentLimits)
{
    struct {
        const char *name;
        int minArgs, maxArgs;
    } expected[] = {
        {"abs", 1, 1},        {"mod", 2, 2},        {"ipart", 1, 1},      {"fpart", 1, 1},
        {"min", 1, -1},       {"max", 1, -1},       {"pow", 2, 2},        {"sqrt", 1, 1},
        {"sin", 1, 1},        {"sinh", 1, 1},       {"asin", 1, 1},       {"cos", 1, 1},
        {"cosh", 1, 1},       {"acos", 1, 1},       {"tan", 1, 1},        {"tanh", 1, 1},
        {"atan", 1, 1},       {"atan2", 2, 2},      {"log", 1, 1},        {"pow10", 1, 1},
        {"ln", 1, 1},         {"exp", 1, 1},        {"logn", 2, 2},       {"ceil", 1, 1},
        {"floor", 1, 1},      {"rand", 0, 0},       {"random", 2, 2},     {"randomize", 0, 0},
        {"srand", 1, 1},      {"deg", 1, 1},        {"rad", 1, 1},        {"recttopolr", 2, 2},
        {"recttopola", 2, 2}, {"poltorectx", 2, 2}, {"poltorecty", 2, 2}, {"if", 3, 3},
        {"select", 3, 4},     {"equal", 2, 2},      {"above", 2, 2},      {"below", 2, 2},
        {"avg", 1, -1},       {"clip", 3, 3},       {"clamp", 3, 3},      {"pntchange", 5, 5},
        {"poly", 2, -1},      {"and", 2, 2},        {"or", 2, 2},         {"not", 1, 1},
        {"for", 4, -1},       {"many", 1, -1},
    };
    static_assert(sizeof(expected) / sizeof(expected[0]) == 50);
    for (const auto &builtin : expected) {
        FormulaRoutine routine = nullptr;
        int limits[4] = {-9, -9, -9, -9};
        ASSERT_EQ(findFunction(functions, builtin.name, &routine, &limits[0], &limits[1],
                               &limits[2], &limits[3]),
                  0)
            << builtin.name;
        EXPECT_NE(routine, nullptr);
        EXPECT_EQ(limits[0], builtin.minArgs) << builtin.name;
        EXPECT_EQ(limits[1], builtin.maxArgs) << builtin.name;
        EXPECT_EQ(limits[2], 0) << builtin.name;
        EXPECT_EQ(limits[3], 0) << builtin.name;
    }
}

TEST_F(FormulaTest, BuiltinsComputeTheirResults)
{
    expectValues({
        {"abs(-2);", 2},
        {"mod(-7,3);", -1},
        {"mod(7,-3);", 1},
        {"ipart(-2.5);", -2},
        {"fpart(-2.5);", -0.5},
        {"min(3,1,2);", 1},
        {"max(3,1,5,2);", 5},
        {"pow(2,10);", 1024},
        {"sqrt(16);", 4},
        {"sin(1);", std::sin(1.0)},
        {"sinh(1);", std::sinh(1.0)},
        {"asin(1);", pi / 2},
        {"cos(0);", 1},
        {"cosh(1);", std::cosh(1.0)},
        {"acos(-1);", pi},
        {"tan(1);", std::tan(1.0)},
        {"tanh(1);", std::tanh(1.0)},
        {"atan(1);", pi / 4},
        {"atan2(1,0);", pi / 2},
        {"atan2(0,-1);", pi},
        {"log(1000);", 3},
        {"pow10(2);", 100},
        {"ln(M_E);", 1},
        {"exp(1);", std::exp(1.0)},
        {"logn(8,2);", 3},
        {"ceil(1.2);", 2},
        {"floor(-1.2);", -2},
        {"deg(M_PI);", 180},
        {"rad(180);", pi},
        {"recttopolr(3,4);", 5},
        {"recttopola(0,-1);", 4.71238898038469},
        {"recttopola(1,0);", 0},
        {"poltorectx(2,M_PI);", -2},
        {"poltorecty(2,M_PI_2);", 2},
        {"if(2,3,4);", 3},
        {"if(0,3,4);", 4},
        {"select(-1,1,2,3);", 1},
        {"select(0,1,2,3);", 2},
        {"select(5,1,2,3);", 3},
        {"select(5,1,2);", 2},
        {"equal(2,2);", 1},
        {"equal(2,3);", 0},
        {"above(3,2);", 1},
        {"above(2,2);", 0},
        {"below(2,3);", 1},
        {"below(3,3);", 0},
        {"avg(1,2,6);", 3},
        {"clip(5,0,1);", 1},
        {"clip(-5,0,1);", 0},
        {"clip(0.5,0,1);", 0.5},
        {"clamp(5,0,2);", 1},
        {"clamp(-1,0,2);", 1},
        {"clamp(7,5,8);", 7},
        {"pntchange(0,10,0,1,5);", 0.5},
        {"pntchange(10,0,0,1,5);", 0.5},
        {"poly(2,1,0,0);", 4},
        {"poly(2,3,1);", 7},
        {"and(1,2);", 1},
        {"and(1,0);", 0},
        {"or(0,0);", 0},
        {"or(0,-3);", 1},
        {"not(0);", 1},
        {"not(5);", 0},
        {"many(1,2,3);", 3},
    });
    Outcome negativeZero = run("fpart(-2);");
    EXPECT_TRUE(negativeZero.value == 0 && std::signbit(negativeZero.value))
        << "fpart keeps the sign of x";
}

TEST_F(FormulaTest, MinAndMaxKeepTheFirstOfEqualArguments)
{
    // Equal zeros of different sign show which one was kept.
    EXPECT_TRUE(std::signbit(run("min(-0,0);").value));
    EXPECT_FALSE(std::signbit(run("max(0,-0);").value));
}

TEST_F(FormulaTest, MathErrorsFailOrYieldZeroWithSoftErrors)
{
    const char *mathErrors[] = {
        "sqrt(-1);",
        "ln(0);",
        "ln(-1);",
        "log(0);",
        "asin(2);",
        "acos(2);",
        "pow(-1,0.5);",
        "pow(0,-1);",
        "pow(10,400);",
        "exp(1000);",
        "cosh(1000);",
        "pow10(400);",
        "mod(1,0);",
        "logn(8,1);",
        "logn(0,2);",
        "clamp(1,2,2);",
        "poly(pow10(200), 1, 0, 0);",
    };
    for (const char *text : mathErrors) {
        EXPECT_EQ(run(text).evaluateCode, EXPR_MATH_ERROR) << text;
        setSoftErrors(expression, true);
        Outcome soft = run(text);
        EXPECT_EQ(soft.evaluateCode, 0) << text;
        EXPECT_EQ(soft.value, 0) << text;
        setSoftErrors(expression, false);
    }
}

TEST_F(FormulaTest, SoftErrorsCoverDivisionButNotAnEmptySourceRange)
{
    ASSERT_FALSE(expressionSoftErrors(expression));
    expectFailures({
        {"1/0;", 0, EXPR_DIVISION_BY_ZERO},
        {"1/-0;", 0, EXPR_DIVISION_BY_ZERO},
        {"abs(1/0);", 0, EXPR_DIVISION_BY_ZERO},
        {"pntchange(1,1,0,1,0);", 0, EXPR_MATH_ERROR},
    });
    ASSERT_EQ(setSoftErrors(expression, true), 0);
    expectValues({{"1/0;", 0}, {"sin(sqrt(-1)) + 2;", 2}});
    expectFailures({{"pntchange(1,1,0,1,0);", 0, EXPR_MATH_ERROR}});
}

// An assignment stores only when its value is computed: a failure anywhere
// inside leaves the variable as it was, and with soft errors on the failing
// step yields 0 and the assignment goes on.
TEST_F(FormulaTest, AFailureInsideAnAssignmentLeavesItsTargetUnchanged)
{
    struct {
        const char *text;
        int code;
        double softValue;
    } cases[] = {
        {"y = 1/0;", EXPR_DIVISION_BY_ZERO, 0},
        {"y = 2*3 + 1/0;", EXPR_DIVISION_BY_ZERO, 6},
        {"y = 2*(1/0) - 1;", EXPR_DIVISION_BY_ZERO, -1},
        {"y = 1 - 2*sqrt(-1);", EXPR_MATH_ERROR, 1},
        {"y = 1 + (1/0)*2;", EXPR_DIVISION_BY_ZERO, 1},
        {"y = sqrt(-1)*2 - 1;", EXPR_MATH_ERROR, -1},
        {"y = exp(1000) + 1;", EXPR_MATH_ERROR, 1},
        {"y = pow(0, -1);", EXPR_MATH_ERROR, 0},
        {"y = -(1/0);", EXPR_DIVISION_BY_ZERO, 0},
        {"y = abs(ln(0));", EXPR_MATH_ERROR, 0},
        {"y = clip(1/0, -1, 1);", EXPR_DIVISION_BY_ZERO, 0},
        {"y = if(0, 1, ln(-1));", EXPR_MATH_ERROR, 0},
        {"y = if(1/0, 2, 3);", EXPR_DIVISION_BY_ZERO, 3},
        {"y = max(1, 2/0);", EXPR_DIVISION_BY_ZERO, 1},
        {"y = z = 4/0;", EXPR_DIVISION_BY_ZERO, 0},
    };
    for (const auto &c : cases) {
        setValue(variables, "y", 5);
        EXPECT_EQ(run(c.text).evaluateCode, c.code) << c.text;
        EXPECT_EQ(variable("y"), 5) << c.text;
        setSoftErrors(expression, true);
        Outcome soft = run(c.text);
        EXPECT_EQ(soft.evaluateCode, 0) << c.text;
        EXPECT_EQ(soft.value, c.softValue) << c.text;
        EXPECT_EQ(variable("y"), c.softValue) << c.text;
        setSoftErrors(expression, false);
    }
}

TEST_F(FormulaTest, PolyStopsAtAFailingPowerBeforeLaterCoefficients)
{
    setSoftErrors(expression, true);
    expectValues({{"poly(pow10(200), a=1, b=1, c=1);", 0}});
    EXPECT_EQ(variable("a"), 1);
    EXPECT_EQ(variable("b"), 0);
    EXPECT_EQ(variable("c"), 0);
}

TEST_F(FormulaTest, ConditionalsEvaluateOnlyTheChosenArgument)
{
    expectValues({{"if(0, a=1, b=1);", 1}, {"select(-1, c=1, d=1, e=1);", 1}});
    EXPECT_EQ(variable("a"), 0);
    EXPECT_EQ(variable("b"), 1);
    EXPECT_EQ(variable("c"), 1);
    EXPECT_EQ(variable("d"), 0);
    EXPECT_EQ(variable("e"), 0);

    // A NaN selector chooses nothing.
    setValue(variables, "n", std::numeric_limits<double>::quiet_NaN());
    expectValues({{"select(n, f=1, g=1, h=1);", 0}});
    EXPECT_EQ(variable("f") + variable("g") + variable("h"), 0);

    // and, or and the arithmetic operators evaluate every operand.
    expectValues({{"and(0, i=1) + or(1, j=1);", 1}});
    EXPECT_EQ(variable("i"), 1);
    EXPECT_EQ(variable("j"), 1);
    expectFailures({{"if(1, 2, 1/0) + if(0, 2, 1/0);", 0, EXPR_DIVISION_BY_ZERO}});
}

TEST_F(FormulaTest, ForLoopsRunTheirBodyUntilTheTestIsZero)
{
    expectValues({
        {"for(i=0, below(i,3), i=i+1, s=s+i);", 3},
        {"for(k=0, below(k,4), k=k+1, p=k, q=k*10);", 30},
        {"for(m=5, below(m,3), m=m+1, r=1);", 0},
    });
    EXPECT_EQ(variable("i"), 3);
    EXPECT_EQ(variable("s"), 3);
    EXPECT_EQ(variable("p"), 3);
    EXPECT_EQ(variable("r"), 0) << "a loop whose test starts at 0 runs no pass";
    expectFailures({{"for(i=0, below(i,3), i=i+1, 1/0);", 0, EXPR_DIVISION_BY_ZERO}});
}

static int stopAfterTenPasses(Expression *expression)
{
    int *passes = static_cast<int *>(expressionUserData(expression));
    return ++*passes >= 10;
}

TEST_F(FormulaTest, TheBreakerStopsALoopThatNeverEnds)
{
    int passes = 0;
    Expression *bounded = nullptr;
    ASSERT_EQ(createExpression(functions, variables, constants, &passes, stopAfterTenPasses,
                               nullptr, &bounded),
              0);
    EXPECT_EQ(expressionBreaker(bounded), stopAfterTenPasses);
    ASSERT_EQ(setValue(variables, "nan", std::numeric_limits<double>::quiet_NaN()), 0);
    ASSERT_EQ(parseExpression(bounded, "n=0; for(0, nan, 0, n=n+1);"), 0);
    double result;
    EXPECT_EQ(evaluateExpression(bounded, &result), EXPR_BREAK);
    EXPECT_EQ(passes, 10);
    EXPECT_EQ(variable("n"), 10) << "a NaN test counts as true; passes run stay assigned";
    destroyExpression(bounded);
}

TEST_F(FormulaTest, NamedConstantsHaveTheirValues)
{
    struct {
        const char *name;
        double value;
    } expected[] = {
        {"M_E", 2.718281828459045},       {"M_LOG2E", 1.4426950408889634},
        {"M_LOG10E", 0.4342944819032518}, {"M_LN2", 0.6931471805599453},
        {"M_LN10", 2.302585092994046},    {"M_PI", 3.141592653589793},
        {"M_PI_2", 1.5707963267948966},   {"M_PI_4", 0.7853981633974483},
        {"M_1_PI", 0.3183098861837907},   {"M_2_PI", 0.6366197723675814},
        {"M_1_SQRTPI", 0.56418958354776}, {"M_2_SQRTPI", 1.1283791670955126},
        {"M_SQRT2", 1.4142135623730951},  {"M_1_SQRT2", 0.7071067811865476},
    };
    for (const auto &constant : expected) {
        double value = 0;
        ASSERT_EQ(getValue(constants, constant.name, &value), 0) << constant.name;
        EXPECT_EQ(value, constant.value) << constant.name;
    }
}

TEST_F(FormulaTest, TheGeneratorIsTheFifteenBitLinearCongruence)
{
    // srand(0) seeds state 0; the draws follow state * 214013 + 2531011.
    expectValues({
        {"srand(0); rand();", 38 / 32768.0},
        {"srand(0); rand(); rand();", 7719 / 32768.0},
        {"srand(0); randomize(); rand();", 38 / 32768.0},
        {"srand(0); random(10, 20);", 38 * (1.0 / 32767) * 10 + 10},
        {"srand(-1); rand();", 24107 / 32768.0},
    });
    exprSeedRandom(0);
    EXPECT_EQ(exprRandom(), 38);
    EXPECT_EQ(exprRandom(), 7719);
    EXPECT_EQ(exprRandom(), 21238);

    // Seeds beyond any integer still give a defined state.
    setValue(variables, "huge", std::numeric_limits<double>::infinity());
    setValue(variables, "nan", std::numeric_limits<double>::quiet_NaN());
    expectValues({
        {"srand(huge); rand();", 38 / 32768.0},
        {"srand(nan); rand();", 38 / 32768.0},
        {"srand(pow10(300)); below(rand(), 1);", 1},
    });
}
