// Fuzzes the formula parser and evaluator. The first byte picks soft errors;
// the rest is the formula text. Every formula that parses is evaluated twice
// from the same start: once by the compiled program and once by walking the
// tree, and both must agree on the code, the result and every variable.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "expr/expr.h"
#include "expr/expr_local.h"

// Bounds the passes of all `for` loops in one evaluation.
static int breakAfterManyPasses(Expression *expression)
{
    int *passes = static_cast<int *>(expressionUserData(expression));
    return ++*passes > 2000;
}

// A host function with any number of arguments and references: evaluates
// every argument and adds the sum to every reference.
static int addToReferences(Expression *expression, const ExprNode *args, int argCount,
                           double *const *refs, int refCount, double *result)
{
    double sum = 0;
    for (int i = 0; i < argCount; i++) {
        double value;
        int code = evaluateNode(expression, &args[i], &value);
        if (code)
            return code;
        sum += value;
    }
    for (int i = 0; i < refCount; i++)
        *refs[i] += sum;
    *result = sum;
    return 0;
}

struct Snapshot {
    std::vector<std::string> names;
    std::vector<double> values;
};

static void remember(const char *name, double value, void *user)
{
    Snapshot *snapshot = static_cast<Snapshot *>(user);
    snapshot->names.push_back(name);
    snapshot->values.push_back(value);
}

static bool sameNumber(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0 || (a != a && b != b);
}

static bool sameSnapshot(const Snapshot &a, const Snapshot &b)
{
    if (a.names != b.names)
        return false;
    for (size_t i = 0; i < a.values.size(); i++) {
        if (!sameNumber(a.values[i], b.values[i]))
            return false;
    }
    return true;
}

// One evaluation from the given variables and generator state.
static int evaluateFrom(Expression *expression, ValueTable *variables, const Snapshot &start,
                        bool walkTree, double *result, Snapshot *end)
{
    for (size_t i = 0; i < start.names.size(); i++)
        setValue(variables, start.names[i].c_str(), start.values[i]);
    exprSeedRandom(12345);
    *static_cast<int *>(expressionUserData(expression)) = 0;
    *result = 0;
    int code = walkTree ? evaluateNode(expression, expression->root, result)
                        : evaluateExpression(expression, result);
    visitValues(variables, remember, end);
    return code;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    std::string text(reinterpret_cast<const char *>(data) + 1, size - 1);

    FunctionTable *functions = nullptr;
    ValueTable *variables = nullptr, *constants = nullptr;
    Expression *expression = nullptr;
    int passes = 0;
    createFunctionTable(&functions);
    addBuiltinFunctions(functions);
    addFunction(functions, "host", addToReferences, -1, -1, -1, -1);
    createValueTable(&variables);
    createValueTable(&constants);
    addMathConstants(constants);
    createExpression(functions, variables, constants, &passes, breakAfterManyPasses, nullptr,
                     &expression);
    setSoftErrors(expression, data[0] & 1);

    if (parseExpression(expression, text.c_str()) == 0) {
        Snapshot start, byProgram, byTree;
        visitValues(variables, remember, &start);
        double programResult, treeResult;
        int programCode =
            evaluateFrom(expression, variables, start, false, &programResult, &byProgram);
        int treeCode = evaluateFrom(expression, variables, start, true, &treeResult, &byTree);
        if (programCode != treeCode ||
            (programCode == 0 && !sameNumber(programResult, treeResult)) ||
            !sameSnapshot(byProgram, byTree))
            std::abort();
    }

    destroyExpression(expression);
    destroyValueTable(constants);
    destroyValueTable(variables);
    destroyFunctionTable(functions);
    return 0;
}
