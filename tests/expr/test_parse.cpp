// The parser: operators and precedence, blanks and comments, statements,
// binding of names, parse states, limits and the syntax error codes.
#include <string>

#include "tests/expr/formula_fixture.h"

TEST_F(FormulaTest, OperatorsAssociateAndBindAsDocumented)
{
    expectValues({
        {"2*-3;", -6},  {"-2*3;", -6},   {"2--3;", 5},      {"2-3-4;", -5},    {"8/2/2;", 2},
        {"2+3*4;", 14}, {"-(2+3);", -5}, {"7-2*3;", 1},     {"2*-3-4;", -10},  {"-2*-2;", 4},
        {"+-+3;", -3},  {"--3;", 3},     {"((2));", 2},     {"2*(3+4);", 14},  {"6/-2/3;", -1},
        {"1-(-1);", 2}, {"1;2;", 2},     {".5;", 0.5},      {"5.;", 5},        {"5.25;", 5.25},
        {"007;", 7},    {"0.1;", 0.1},   {"abs(-2)*3;", 6}, {"-abs(-2);", -2},
    });
}

TEST_F(FormulaTest, BlanksAndNestedCommentsVanishBeforeParsing)
{
    expectValues({
        {"<note> 1;", 1},
        {"<a<b>c> 2;", 2},
        {"1 2;", 12},
        {"1\t+\n2\r;\v", 3},
        {"a b = 4; ab;", 4},
        {"1<comment>2;", 12},
        {"<; ( &>3;", 3},
    });
}

TEST_F(FormulaTest, AssignmentChainsAndVariablesPersistBetweenEvaluations)
{
    expectValues({{"a=b=3;", 3}});
    EXPECT_EQ(variable("a"), 3);
    EXPECT_EQ(variable("b"), 3);

    ASSERT_EQ(clearExpression(expression), 0);
    ASSERT_EQ(parseExpression(expression, "x=x+1;"), 0);
    double result = 0;
    for (int i = 0; i < 3; i++)
        ASSERT_EQ(evaluateExpression(expression, &result), 0);
    EXPECT_EQ(result, 3);
    EXPECT_EQ(variable("x"), 3);

    expectValues({{"c=-b;", -3}});
}

// An operand is read when the tree reaches it: an assignment in a later
// operand changes neither the value already read nor the product already
// formed from it.
TEST_F(FormulaTest, OperandsKeepTheValueTheyHadWhenRead)
{
    expectValues({
        {"a=1; a + (a=5);", 6},
        {"a=1; (a=5) + a;", 10},
        {"a=1; (a=2) + (a=3);", 5},
        {"a=1; a*2 + (a=5);", 7},
        {"a=1; b=2; a - b*(a=10);", -19},
        {"a=1; 3 - a*(a=10);", -7},
        {"a=2; pow(a, a=3);", 8},
        {"a=1; clip(a, a=-5, 9);", 1},
        {"a=1; clip(0, a, a=-1);", 1},
        {"a=1; if(a, a=0, 2) + a;", 0},
        {"a=3; a = a*a - (a=1);", 8},
        {"a=2; a = a*3 + a;", 8},
        {"a=1; b = -a; b;", -1},
    });
}

TEST_F(FormulaTest, VariablesAreBoundOnceAndReadAtEachEvaluation)
{
    ASSERT_EQ(parseExpression(expression, "y=x*2;"), 0);
    EXPECT_EQ(variable("x"), 0) << "a name is created with 0 when the formula is parsed";
    double result;
    for (double x : {5.0, -1.5}) {
        ASSERT_EQ(setValue(variables, "x", x), 0);
        ASSERT_EQ(evaluateExpression(expression, &result), 0);
        EXPECT_EQ(result, 2 * x);
        EXPECT_EQ(variable("y"), 2 * x);
    }
}

TEST_F(FormulaTest, ConstantsAreFoldedAtParseTimeAndNeverAssigned)
{
    expectValues({{"M_PI;", 3.141592653589793}, {"M_PI=3; M_PI;", 3.141592653589793}});
    EXPECT_EQ(variable("M_PI"), 3);

    ASSERT_EQ(clearExpression(expression), 0);
    ASSERT_EQ(parseExpression(expression, "M_E;"), 0);
    ASSERT_EQ(setValue(constants, "M_E", 0), 0);
    double result;
    ASSERT_EQ(evaluateExpression(expression, &result), 0);
    EXPECT_EQ(result, 2.718281828459045);
}

TEST_F(FormulaTest, MalformedTextsGiveTheirCodes)
{
    expectFailures({
        // text, statements and characters
        {"", EXPR_EMPTY_TEXT, -1},
        {"  ", EXPR_NO_FINAL_SEMICOLON, -1},
        {";", EXPR_SYNTAX, -1},
        {"1", EXPR_NO_FINAL_SEMICOLON, -1},
        {"1;2", EXPR_NO_FINAL_SEMICOLON, -1},
        {"a;;b;", EXPR_SYNTAX, -1},
        {"(1;2);", EXPR_SYNTAX, -1},
        {"a>1;", EXPR_UNMATCHED_COMMENT, -1},
        {"<a;", EXPR_UNMATCHED_COMMENT, -1},
        {"a#b>;", EXPR_UNMATCHED_COMMENT, -1},
        {"a#b;", EXPR_BAD_CHARACTER, -1},
        {"a\xc3\xa9;", EXPR_BAD_CHARACTER, -1},
        {")1;", EXPR_UNMATCHED_PARENTHESIS, -1},
        {"(1;", EXPR_SYNTAX, -1},
        {"(1));", EXPR_UNMATCHED_PARENTHESIS, -1},
        // operators and parentheses
        {"1+;", EXPR_SYNTAX, -1},
        {"*1;", EXPR_SYNTAX, -1},
        {"-;", EXPR_SYNTAX, -1},
        {"2*+;", EXPR_SYNTAX, -1},
        {"();", EXPR_SYNTAX, -1},
        {"(1)(2);", EXPR_SYNTAX, -1},
        {"abs(1)2;", EXPR_SYNTAX, -1},
        {"=1;", EXPR_SYNTAX, -1},
        {"a=;", EXPR_SYNTAX, -1},
        // operands and names
        {"1=2;", EXPR_BAD_OPERAND, -1},
        {"a+b=3;", EXPR_BAD_OPERAND, -1},
        {"1e3;", EXPR_BAD_OPERAND, -1},
        {"1.2.3;", EXPR_BAD_OPERAND, -1},
        {".;", EXPR_BAD_OPERAND, -1},
        {"a.b;", EXPR_BAD_OPERAND, -1},
        {"&x;", EXPR_BAD_OPERAND, -1},
        {"1,2;", EXPR_BAD_OPERAND, -1},
        {"2(3);", EXPR_BAD_OPERAND, -1},
        // calls
        {"Sin(0);", EXPR_NO_FUNCTION, -1},
        {"abs(1,2);", EXPR_ARGUMENT_COUNT, -1},
        {"max();", EXPR_ARGUMENT_COUNT, -1},
        {"abs(&x);", EXPR_ARGUMENT_COUNT, -1},
        {"max(1,,2);", EXPR_SYNTAX, -1},
        {"max(1,);", EXPR_SYNTAX, -1},
        {"max(1&x);", EXPR_SYNTAX, -1},
        // evaluation
        {"1/0;", 0, EXPR_DIVISION_BY_ZERO},
        {"a=2; b=a/(a-2); c=1;", 0, EXPR_DIVISION_BY_ZERO},
    });
    EXPECT_EQ(variable("a"), 2) << "assignments before a failure stay";
    EXPECT_EQ(variable("c"), 0);
}

TEST_F(FormulaTest, ParseStatesGuardParsingAndEvaluation)
{
    double result = 0;
    EXPECT_EQ(evaluateExpression(expression, &result), EXPR_NOT_PARSED);

    // Cleaning the text fails before any tree exists: the state stays unparsed.
    EXPECT_EQ(parseExpression(expression, "a#b;"), EXPR_BAD_CHARACTER);
    EXPECT_EQ(parseExpression(expression, "1;"), 0);
    EXPECT_EQ(parseExpression(expression, "2;"), EXPR_ALREADY_PARSED);
    EXPECT_EQ(evaluateExpression(expression, &result), 0);
    EXPECT_EQ(result, 1);

    // Building the tree fails: the state is failed until cleared.
    ASSERT_EQ(clearExpression(expression), 0);
    EXPECT_EQ(parseExpression(expression, "a=1; b=(;"), EXPR_SYNTAX);
    EXPECT_EQ(parseExpression(expression, "1;"), EXPR_PARSE_AFTER_FAILURE);
    EXPECT_EQ(evaluateExpression(expression, &result), EXPR_NOT_PARSED);
    ASSERT_EQ(clearExpression(expression), 0);
    EXPECT_EQ(parseExpression(expression, "1;"), 0);

    EXPECT_EQ(parseExpression(nullptr, "1;"), EXPR_MISSING);
    EXPECT_EQ(evaluateExpression(expression, nullptr), EXPR_MISSING);
    ASSERT_EQ(clearExpression(expression), 0);
    EXPECT_EQ(parseExpression(expression, nullptr), EXPR_MISSING);
}

TEST_F(FormulaTest, NamesAndNumbersAreLimitedTo255Characters)
{
    std::string name(255, 'n');
    std::string number(255, '1');
    expectValues({
        {(name + "=2;" + name + ";").c_str(), 2},
        {(number + ";").c_str(), 1.1111111111111111e254},
    });
    name += 'n';
    number += '1';
    expectFailures({
        {(name + ";").c_str(), EXPR_BAD_OPERAND, -1},
        {(name + "=1;").c_str(), EXPR_BAD_OPERAND, -1},
        {(name + "(1);").c_str(), EXPR_BAD_OPERAND, -1},
        {(number + ";").c_str(), EXPR_BAD_OPERAND, -1},
    });
}

// Parsing and evaluation recurse once per level of the tree, so nesting is
// bounded instead of running out of stack. Parentheses alone add no level.
TEST_F(FormulaTest, DeepNestingIsRefusedInsteadOfExhaustingTheStack)
{
    std::string signs(EXPR_MAX_DEPTH - 1, '-');
    expectValues({{(signs + "1;").c_str(), -1}});
    expectFailures({{(signs + "-1;").c_str(), EXPR_NO_MEMORY, -1}});

    std::string sum = "1";
    for (int i = 0; i < 2000; i++)
        sum += "+1";
    expectFailures({{(sum + ";").c_str(), EXPR_NO_MEMORY, -1}});

    std::string parentheses = std::string(1500, '(') + "7" + std::string(1500, ')') + ";";
    expectValues({{parentheses.c_str(), 7}});

    // Right-nested operands pile up values while they wait for their operator.
    std::string rightNested = "1";
    for (int i = 0; i < 200; i++)
        rightNested = "1+(" + rightNested + ")";
    expectValues({{(rightNested + ";").c_str(), 201}});
    expectFailures({{("a=1;" + rightNested + "/(a-1);").c_str(), 0, EXPR_DIVISION_BY_ZERO}});
}

TEST_F(FormulaTest, MissingTablesAreReportedWhenANameNeedsThem)
{
    Expression *bare = nullptr;
    ASSERT_EQ(createExpression(nullptr, nullptr, constants, nullptr, nullptr, nullptr, &bare), 0);
    struct {
        const char *text;
        int code;
    } cases[] = {
        {"1+2;", 0},
        {"M_PI;", 0},
        {"a;", EXPR_NO_VARIABLE_TABLE},
        {"a=1;", EXPR_NO_VARIABLE_TABLE},
        {"abs(1);", EXPR_NO_FUNCTION},
    };
    for (const auto &c : cases) {
        clearExpression(bare);
        EXPECT_EQ(parseExpression(bare, c.text), c.code) << c.text;
    }
    destroyExpression(bare);
}

// A host routine that swaps two variables and yields the count of its plain
// arguments, which it never evaluates.
static int swapRoutine(Expression *, const ExprNode *, int argCount, double *const *refs,
                       int refCount, double *result)
{
    if (refCount != 2)
        return EXPR_INTERNAL;
    double first = *refs[0];
    *refs[0] = *refs[1];
    *refs[1] = first;
    *result = argCount;
    return 0;
}

// A host routine that evaluates its one argument as often as the variable
// "times" says.
static int repeatRoutine(Expression *expression, const ExprNode *args, int, double *const *, int,
                         double *result)
{
    double times;
    getValue(expressionVariables(expression), "times", &times);
    *result = 0;
    for (int i = 0; i < times; i++) {
        int code = evaluateNode(expression, &args[0], result);
        if (code)
            return code;
    }
    return 0;
}

// A host routine that evaluates the whole expression again from inside it,
// once, and yields that value.
static int evaluateAgainRoutine(Expression *expression, const ExprNode *, int, double *const *,
                                int, double *result)
{
    ValueTable *variables = expressionVariables(expression);
    double level = 0;
    getValue(variables, "level", &level);
    *result = 0;
    if (level >= 1)
        return 0;
    setValue(variables, "level", level + 1);
    return evaluateExpression(expression, result);
}

// A host routine that writes its result and then fails.
static int writeThenFailRoutine(Expression *, const ExprNode *, int, double *const *, int,
                                double *result)
{
    *result = 99;
    return EXPR_MATH_ERROR;
}

TEST_F(FormulaTest, AFailingRoutineLeavesTheAssignedVariableUnchanged)
{
    ASSERT_EQ(addFunction(functions, "fail", writeThenFailRoutine, 0, 0, 0, 0), 0);
    expectFailures({{"y = 5; y = fail();", 0, EXPR_MATH_ERROR}});
    EXPECT_EQ(variable("y"), 5);
}

TEST_F(FormulaTest, AnExpressionMayBeEvaluatedAgainFromInsideItsOwnRoutine)
{
    ASSERT_EQ(addFunction(functions, "again", evaluateAgainRoutine, 0, 0, 0, 0), 0);
    // The outer run sets a = 1 and reads it for a*10 before the nested run,
    // which sets a = 2 and b = 20 + 0, and yields 20; the outer b is 10 + 20.
    expectValues({{"a = a + 1; b = a*10 + again();", 30}});
    EXPECT_EQ(variable("a"), 2);
    EXPECT_EQ(variable("b"), 30);
}

TEST_F(FormulaTest, HostRoutinesReceiveReferencesAndRunTheirOwnArguments)
{
    ASSERT_EQ(addFunction(functions, "swap", swapRoutine, 0, 1, 2, 2), 0);
    ASSERT_EQ(addFunction(functions, "repeat", repeatRoutine, 1, 1, 0, 0), 0);
    ASSERT_EQ(addFunction(functions, "unset", nullptr, 0, 0, 0, 0), 0);

    expectValues({{"a=1; b=2; swap(&a, &b);", 0}, {"swap(&a, 9, &b);", 1}});
    EXPECT_EQ(variable("a"), 1);
    EXPECT_EQ(variable("b"), 2);
    // A routine may write any variable through its references, so operands
    // read before it keep their values.
    expectValues({{"a=1; b=2; a*3 + swap(&a, &b) + a;", 5}});

    expectValues({{"times=3; repeat(n=n+1);", 3}, {"times=0; repeat(1/0);", 0}});

    expectFailures({
        {"swap(&a);", EXPR_ARGUMENT_COUNT, -1},
        {"swap(&a,&b,&c);", EXPR_ARGUMENT_COUNT, -1},
        {"swap(1,2,&a,&b);", EXPR_ARGUMENT_COUNT, -1},
        {"swap(&1a,&b);", EXPR_NO_MEMORY, -1},
        {"swap(&a+1,&b);", EXPR_NO_MEMORY, -1},
        {"swap(&a&b,&c);", EXPR_SYNTAX, -1},
        {"swap(&a,(&b));", EXPR_ARGUMENT_COUNT, -1},
        {"unset();", EXPR_NO_FUNCTION, -1},
    });
}
