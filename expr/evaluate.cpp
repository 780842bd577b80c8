// The evaluator: walks a bound tree with no name lookups and no allocation.
// Operators, statement lists and the built-ins of a fixed shape run inline
// through the node's step; the routines behind them exist for hosts that
// call them and run the same code.

#include "expr/expr_local.h"

// Runs the statements in order; the first failure ends the list.
static int runStatements(Expression *expression, const ExprNode *args, int count, double *result)
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

static int runAssignment(Expression *expression, const ExprNode *node, double *result)
{
    double value;
    int code = evaluateOperand(expression, node->args, &value);
    if (code)
        return code;
    *node->address = value;
    *result = value;
    return EXPR_OK;
}

int evaluateNode(Expression *expression, const ExprNode *node, double *result)
{
    const ExprNode *args = node->args;
    switch (node->step) {
    case EXPR_STEP_VALUE: *result = node->value; return EXPR_OK;
    case EXPR_STEP_VARIABLE: *result = *node->address; return EXPR_OK;
    case EXPR_STEP_ASSIGN: return runAssignment(expression, node, result);
    case EXPR_STEP_CALL:
    case EXPR_STEP_CLIP:
        return node->routine(expression, args, node->argCount, node->refs, node->refCount, result);
    case EXPR_STEP_ADD: return runArithmetic<EXPR_STEP_ADD>(expression, args, result);
    case EXPR_STEP_SUBTRACT: return runArithmetic<EXPR_STEP_SUBTRACT>(expression, args, result);
    case EXPR_STEP_MULTIPLY: return runArithmetic<EXPR_STEP_MULTIPLY>(expression, args, result);
    case EXPR_STEP_DIVIDE: return runArithmetic<EXPR_STEP_DIVIDE>(expression, args, result);
    case EXPR_STEP_NEGATE: return runArithmetic<EXPR_STEP_NEGATE>(expression, args, result);
    case EXPR_STEP_STATEMENTS: return runStatements(expression, args, node->argCount, result);
    case EXPR_STEP_UNARY_PLAIN:
        return runUnary<false>(expression, args, node->unaryFunction, result);
    case EXPR_STEP_UNARY_MATH: return runUnary<true>(expression, args, node->unaryFunction, result);
    case EXPR_STEP_BINARY_PLAIN:
        return runBinary<false>(expression, args, node->binaryFunction, result);
    case EXPR_STEP_BINARY_MATH:
        return runBinary<true>(expression, args, node->binaryFunction, result);
    case EXPR_STEP_IF: return runIf(expression, args, result);
    default: return EXPR_INTERNAL;
    }
}

int evaluateExpression(Expression *expression, double *result)
{
    if (!expression || !result)
        return EXPR_MISSING;
    if (expression->state != EXPR_PARSED)
        return EXPR_NOT_PARSED;
    if (expression->program)
        return runProgram(expression, expression->program, result);
    return evaluateNode(expression, expression->root, result);
}

// ---- The internal routines, as hosts see them ----

template <ExprStep step>
static int arithmeticRoutine(Expression *expression, const ExprNode *args, int, double *const *,
                             int, double *result)
{
    return runArithmetic<step>(expression, args, result);
}

static int statementsRoutine(Expression *expression, const ExprNode *args, int argCount,
                             double *const *, int, double *result)
{
    return runStatements(expression, args, argCount, result);
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
