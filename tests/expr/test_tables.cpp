// Value and function tables: codes, name rules, byte order and stable
// addresses.
#include <string>
#include <vector>

#include "expr/expr.h"
#include <gtest/gtest.h>

class ValueTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(createValueTable(&table), 0);
    }
    void TearDown() override
    {
        destroyValueTable(table);
    }
    ValueTable *table = nullptr;
};

TEST_F(ValueTableTest, SetAndGetAnswerWithTheirCodes)
{
    double value = 0;
    double *address = nullptr;
    EXPECT_EQ(setValue(nullptr, "a", 1), EXPR_MISSING);
    EXPECT_EQ(getValue(nullptr, "a", &value), EXPR_MISSING);
    EXPECT_EQ(getValueAddress(nullptr, "a", &address), EXPR_MISSING);
    EXPECT_EQ(zeroValues(nullptr), EXPR_MISSING);
    EXPECT_EQ(addMathConstants(nullptr), EXPR_MISSING);

    for (const char *invalid : {"", "1a", "a-b", "a b", "\xc3\xa9t\xc3\xa9"})
        EXPECT_EQ(setValue(table, invalid, 1), EXPR_NO_MEMORY) << invalid;
    EXPECT_EQ(getValue(table, "", &value), EXPR_NOT_FOUND);
    EXPECT_EQ(getValue(table, "a", &value), EXPR_NOT_FOUND);
    EXPECT_EQ(getValueAddress(table, "a", &address), EXPR_NOT_FOUND);
    EXPECT_EQ(address, nullptr);

    ASSERT_EQ(setValue(table, "_a1", 1.5), 0);
    ASSERT_EQ(setValue(table, "_a1", 2.5), 0);
    EXPECT_EQ(getValue(table, "_a1", &value), 0);
    EXPECT_EQ(value, 2.5);
}

TEST_F(ValueTableTest, AddressesStayValidAsTheTableGrows)
{
    ASSERT_EQ(setValue(table, "m", 7), 0);
    double *address = nullptr;
    ASSERT_EQ(getValueAddress(table, "m", &address), 0);
    for (int i = 0; i < 1000; i++)
        ASSERT_EQ(setValue(table, ("v" + std::to_string(i)).c_str(), i), 0);
    *address = 8;
    double value = 0;
    EXPECT_EQ(getValue(table, "m", &value), 0);
    EXPECT_EQ(value, 8);
}

static void collectName(const char *name, double value, void *user)
{
    auto *seen = static_cast<std::vector<std::pair<std::string, double>> *>(user);
    seen->emplace_back(name, value);
}

TEST_F(ValueTableTest, EntriesAreVisitedInByteOrderAndZeroed)
{
    for (const char *name : {"b", "ab", "a", "B", "_x", "a1", "abc"})
        ASSERT_EQ(setValue(table, name, 3), 0);
    std::vector<std::pair<std::string, double>> seen;
    ASSERT_EQ(visitValues(table, collectName, &seen), 0);
    std::vector<std::pair<std::string, double>> expected = {
        {"B", 3}, {"_x", 3}, {"a", 3}, {"a1", 3}, {"ab", 3}, {"abc", 3}, {"b", 3}};
    EXPECT_EQ(seen, expected);

    ASSERT_EQ(zeroValues(table), 0);
    seen.clear();
    visitValues(table, collectName, &seen);
    for (const auto &entry : seen)
        EXPECT_EQ(entry.second, 0) << entry.first;
}

static int yieldOne(Expression *, const ExprNode *, int, double *const *, int, double *result)
{
    *result = 1;
    return 0;
}

TEST(FunctionTable, LimitsAreOrderedAndEntriesReplaced)
{
    FunctionTable *table = nullptr;
    ASSERT_EQ(createFunctionTable(&table), 0);
    EXPECT_EQ(addFunction(nullptr, "f", yieldOne, 0, 0, 0, 0), EXPR_MISSING);
    EXPECT_EQ(addFunction(table, "2f", yieldOne, 0, 0, 0, 0), EXPR_NO_MEMORY);
    EXPECT_EQ(addBuiltinFunctions(nullptr), EXPR_MISSING);

    struct {
        int minArgs, maxArgs, minRefs, maxRefs;
        int expected[4];
    } cases[] = {
        {3, 1, 5, 2, {1, 3, 2, 5}},     // both limits set and reversed: exchanged
        {3, -1, -1, 2, {3, -1, -1, 2}}, // a missing limit leaves the other alone
        {1, 1, 0, 0, {1, 1, 0, 0}},
    };
    for (const auto &c : cases) {
        ASSERT_EQ(addFunction(table, "f", yieldOne, c.minArgs, c.maxArgs, c.minRefs, c.maxRefs), 0);
        int limits[4];
        FormulaRoutine routine = nullptr;
        ASSERT_EQ(
            findFunction(table, "f", &routine, &limits[0], &limits[1], &limits[2], &limits[3]), 0);
        EXPECT_EQ(routine, yieldOne);
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(limits[i], c.expected[i]) << "limit " << i;
    }

    EXPECT_EQ(findFunction(table, "", nullptr, nullptr, nullptr, nullptr, nullptr), EXPR_NOT_FOUND);
    EXPECT_EQ(findFunction(table, "g", nullptr, nullptr, nullptr, nullptr, nullptr),
              EXPR_NOT_FOUND);
    EXPECT_EQ(findFunction(nullptr, "f", nullptr, nullptr, nullptr, nullptr, nullptr),
              EXPR_MISSING);
    destroyFunctionTable(table);
}
