// A formula set up as the engine sets one up: built-in functions, the named
// constants and an empty variable table.
#pragma once

#include <gtest/gtest.h>

#include "expr/expr.h"

// What happened to one formula: the parse code, then (when it parsed) the
// evaluation code and value.
struct Outcome {
    int parseCode = -1;
    int evaluateCode = -1;
    double value = 0;
};

// A formula and the value it must yield.
struct ValueCase {
    const char *text;
    double expected;
};

// A formula and the code it must fail with; parse failures leave evaluate at -1.
struct FailureCase {
    const char *text;
    int parseCode;
    int evaluateCode;
};

class FormulaTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(createFunctionTable(&functions), 0);
        ASSERT_EQ(addBuiltinFunctions(functions), 0);
        ASSERT_EQ(createValueTable(&variables), 0);
        ASSERT_EQ(createValueTable(&constants), 0);
        ASSERT_EQ(addMathConstants(constants), 0);
        ASSERT_EQ(createExpression(functions, variables, constants, nullptr, nullptr, nullptr,
                                   &expression),
                  0);
    }

    void TearDown() override
    {
        destroyExpression(expression);
        destroyValueTable(constants);
        destroyValueTable(variables);
        destroyFunctionTable(functions);
    }

    // Parses text into a fresh tree and evaluates it once.
    Outcome run(const char *text)
    {
        clearExpression(expression);
        Outcome outcome;
        outcome.parseCode = parseExpression(expression, text);
        if (outcome.parseCode == 0)
            outcome.evaluateCode = evaluateExpression(expression, &outcome.value);
        return outcome;
    }

    void expectValues(std::initializer_list<ValueCase> cases)
    {
        for (const ValueCase &c : cases) {
            Outcome outcome = run(c.text);
            EXPECT_EQ(outcome.parseCode, 0) << c.text;
            EXPECT_EQ(outcome.evaluateCode, 0) << c.text;
            EXPECT_DOUBLE_EQ(outcome.value, c.expected) << c.text;
        }
    }

    void expectFailures(std::initializer_list<FailureCase> cases)
    {
        for (const FailureCase &c : cases) {
            Outcome outcome = run(c.text);
            EXPECT_EQ(outcome.parseCode, c.parseCode) << c.text;
            EXPECT_EQ(outcome.evaluateCode, c.evaluateCode) << c.text;
        }
    }

    double variable(const char *name)
    {
        double value = -12345;
        EXPECT_EQ(getValue(variables, name, &value), 0) << name;
        return value;
    }

    FunctionTable *functions = nullptr;
    ValueTable *variables = nullptr;
    ValueTable *constants = nullptr;
    Expression *expression = nullptr;
};
