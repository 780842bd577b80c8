// The evaluator: walks a bound tree with no name lookups and no allocation.
// Calls of the internal operator and statement routines run inline through
// the node's step; the routines themselves exist for hosts that call them.

#include "expr/expr_local.h"

static int evaluateArithmetic(Expression *expression, ExprStep step, const ExprNode *args,
                              double *result)
{
    double a, b = 0;
    int code = evaluateNode(expression, &args[0], &a);
    if (code)
        return code;
    if (step != EXPR_STEP_NEGATE) {
        code = evaluateNode(expression, &args[1], &b);
        if (code)
            return code;
    }
    switch (step) {
    case EXPR_STEP_ADD: *result = a + b; return EXPR_OK;
    case EXPR_STEP_SUBTRACT: *result = a - b; return EXPR_OK;
    case EXPR_STEP_MULTIPLY: *result = a * b; return EXPR_OK;
    case EXPR_STEP_DIVIDE:
        if (b == 0) {
            if (!expression->softErrors)
                return EXPR_DIVISION_BY_ZERO;
            *result = 0;
            return EXPR_OK;
        }
        *result = a / b;
        return EXPR_OK;
    case EXPR_STEP_NEGATE: *result = -a; return EXPR_OK;
    default: return EXPR_INTERNAL;
    }
}

// Runs the statements in order; the first failure ends the list.
static int evaluateStatements(Expression *expression, const ExprNode *args, int count,
                              double *result)
{
    double value = 0;
    for (int i = 0; i < count; i++) {
        int code = evaluateNode(expression, &args[i], &value);
        if (code)
            return code;
    }
    *result = value;
    return EXPR_OK;
}

int evaluateNode(Expression *expression, const ExprNode *node, double *result)
{
    switch (node->step) {
    case EXPR_STEP_VALUE: *result = node->value; return EXPR_OK;
    case EXPR_STEP_VARIABLE: *result = *node->address; return EXPR_OK;
    case EXPR_STEP_ASSIGN: {
        double value;
        int code = evaluateNode(expression, node->args, &value);
        if (code)
            return code;
        *node->address = value;
        *result = value;
        return EXPR_OK;
    }
    case EXPR_STEP_CALL:
        return node->routine(expression, node->args, node->argCount, node->refs, node->refCount,
                             result);
    case EXPR_STEP_ADD: return evaluateArithmetic(expression, EXPR_STEP_ADD, node->args, result);
    case EXPR_STEP_SUBTRACT:
        return evaluateArithmetic(expression, EXPR_STEP_SUBTRACT, node->args, result);
    case EXPR_STEP_MULTIPLY:
        return evaluateArithmetic(expression, EXPR_STEP_MULTIPLY, node->args, result);
    case EXPR_STEP_DIVIDE:
        return evaluateArithmetic(expression, EXPR_STEP_DIVIDE, node->args, result);
    case EXPR_STEP_NEGATE:
        return evaluateArithmetic(expression, EXPR_STEP_NEGATE, node->args, result);
    case EXPR_STEP_STATEMENTS:
        return evaluateStatements(expression, node->args, node->argCount, result);
    default: return EXPR_INTERNAL;
    }
}

int evaluateExpression(Expression *expression, double *result)
{
    if (!expression || !result)
        return EXPR_MISSING;
    if (expression->state != EXPR_PARSED)
        return EXPR_NOT_PARSED;
    return evaluateNode(expression, expression->root, result);
}

// ---- The internal routines, as hosts see them ----

template <ExprStep step>
static int arithmeticRoutine(Expression *expression, const ExprNode *args, int, double *const *,
                             int, double *result)
{
    return evaluateArithmetic(expression, step, args, result);
}

static int statementsRoutine(Expression *expression, const ExprNode *args, int argCount,
                             double *const *, int, double *result)
{
    return evaluateStatements(expression, args, argCount, result);
}

FormulaRoutine internalRoutine(ExprStep step)
{
    switch (step) {
    case EXPR_STEP_ADD: return arithmeticRoutine<EXPR_STEP_ADD>;
    case EXPR_STEP_SUBTRACT: return arithmeticRoutine<EXPR_STEP_SUBTRACT>;
    case EXPR_STEP_MULTIPLY: return arithmeticRoutine<EXPR_STEP_MULTIPLY>;
    case EXPR_STEP_DIVIDE: return arithmeticRoutine<EXPR_STEP_DIVIDE>;
    case EXPR_STEP_NEGATE: return arithmeticRoutine<EXPR_STEP_NEGATE>;
    case EXPR_STEP_STATEMENTS: return statementsRoutine;
    default: return nullptr;
    }
}
