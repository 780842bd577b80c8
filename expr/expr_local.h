// Declarations shared by the units of the formula library, not by its users.
#pragma once

#include <cerrno>
#include <string_view>

#include "expr/expr.h"

enum ExprState : uint8_t { EXPR_UNPARSED, EXPR_PARSED, EXPR_FAILED };

struct ExprProgram;

struct Expression {
    FunctionTable *functions; // borrowed
    ValueTable *variables;    // borrowed
    ValueTable *constants;    // borrowed
    ExprNode *root;           // owned; a failed parse leaves its partial tree here
    void *userData;           // read by hosts only
    ExprBreaker breaker;
    void *userValue; // read by hosts only
    ExprState state;
    bool softErrors;
    ExprProgram *program; // owned; the tree compiled for evaluateExpression, or null
};

// ExprNode::step: how the evaluator runs a node. Calls of the internal
// operator and statement routines, and of the built-ins of a fixed shape, run
// inline; every other call goes through its routine. Both ways run the same
// code below, so the result never depends on the way taken.
enum ExprStep : uint8_t {
    EXPR_STEP_NONE,
    EXPR_STEP_VALUE,
    EXPR_STEP_VARIABLE,
    EXPR_STEP_ASSIGN,
    EXPR_STEP_CALL,
    EXPR_STEP_ADD,
    EXPR_STEP_SUBTRACT,
    EXPR_STEP_MULTIPLY,
    EXPR_STEP_DIVIDE,
    EXPR_STEP_NEGATE,
    EXPR_STEP_STATEMENTS,
    EXPR_STEP_UNARY_PLAIN,  // unaryFunction of one argument
    EXPR_STEP_UNARY_MATH,   // the same under the math error rule
    EXPR_STEP_BINARY_PLAIN, // binaryFunction of two arguments
    EXPR_STEP_BINARY_MATH,  // the same under the math error rule
    EXPR_STEP_IF,
    EXPR_STEP_CLIP, // through its routine when walking the tree; inline in programs
};

// The routine behind an operator or statement-list step; null for the others.
FormulaRoutine internalRoutine(ExprStep step);
// Sets the step (and function) of a call node from its routine.
void chooseCallStep(ExprNode *node);

// Evaluates a node, reading values and variables without a call.
inline int evaluateOperand(Expression *expression, const ExprNode *node, double *result)
{
    if (node->step == EXPR_STEP_VALUE) {
        *result = node->value;
        return EXPR_OK;
    }
    if (node->step == EXPR_STEP_VARIABLE) {
        *result = *node->address;
        return EXPR_OK;
    }
    return evaluateNode(expression, node, result);
}

// The math error rule: a computation run with the math library's error
// indicator (errno) cleared that reports a domain or range error yields 0
// with soft errors on and fails otherwise.
inline int finishMath(const Expression *expression, int indicator, double value, double *result)
{
    if (indicator == EDOM || indicator == ERANGE) {
        if (!expression->softErrors)
            return EXPR_MATH_ERROR;
        value = 0;
    }
    *result = value;
    return EXPR_OK;
}

template <ExprStep step>
inline int runArithmetic(Expression *expression, const ExprNode *args, double *result)
{
    double a, b = 0;
    int code = evaluateOperand(expression, &args[0], &a);
    if (!code && step != EXPR_STEP_NEGATE)
        code = evaluateOperand(expression, &args[1], &b);
    if (code)
        return code;
    switch (step) {
    case EXPR_STEP_ADD: *result = a + b; break;
    case EXPR_STEP_SUBTRACT: *result = a - b; break;
    case EXPR_STEP_MULTIPLY: *result = a * b; break;
    case EXPR_STEP_NEGATE: *result = -a; break;
    default: // divide
        if (b == 0) {
            if (!expression->softErrors)
                return EXPR_DIVISION_BY_ZERO;
            *result = 0;
        } else {
            *result = a / b;
        }
    }
    return EXPR_OK;
}

template <bool underMathRule>
inline int runUnary(Expression *expression, const ExprNode *args, double (*compute)(double),
                    double *result)
{
    double x;
    int code = evaluateOperand(expression, &args[0], &x);
    if (code)
        return code;
    if (!underMathRule) {
        *result = compute(x);
        return EXPR_OK;
    }
    errno = 0;
    double value = compute(x);
    return finishMath(expression, errno, value, result);
}

template <bool underMathRule>
inline int runBinary(Expression *expression, const ExprNode *args,
                     double (*compute)(double, double), double *result)
{
    double a, b;
    int code = evaluateOperand(expression, &args[0], &a);
    if (!code)
        code = evaluateOperand(expression, &args[1], &b);
    if (code)
        return code;
    if (!underMathRule) {
        *result = compute(a, b);
        return EXPR_OK;
    }
    errno = 0;
    double value = compute(a, b);
    return finishMath(expression, errno, value, result);
}

// clip(v, lo, hi): lo when v < lo, otherwise hi when v > hi, otherwise v.
inline double clipBetween(double v, double low, double high)
{
    return v < low ? low : v > high ? high : v;
}

// if(condition, then, else): only the chosen branch runs.
inline int runIf(Expression *expression, const ExprNode *args, double *result)
{
    double condition;
    int code = evaluateOperand(expression, &args[0], &condition);
    if (code)
        return code;
    return evaluateOperand(expression, &args[condition != 0 ? 1 : 2], result);
}

// A function entry as the parser needs it.
struct FunctionSignature {
    FormulaRoutine routine;
    int minArgs, maxArgs, minRefs, maxRefs;
};

bool isValidName(std::string_view name);
// False when the function is absent (the signature is left unchanged).
bool lookupFunction(const FunctionTable *table, std::string_view name, FunctionSignature *found);
// The constant's value, or null when the table lacks it.
const double *lookupConstant(const ValueTable *table, std::string_view name);
// Binds a variable, creating it with 0 when absent; EXPR_NO_MEMORY on failure.
int bindVariable(ValueTable *table, std::string_view name, double **address);

// Frees the arrays below a node (not the node itself).
void freeNodeChildren(ExprNode *node);

// The tree of a parsed expression flattened into a program of register
// instructions, which runs the same steps in the same order without a call
// per node. Null when memory runs out: evaluation then walks the tree.
ExprProgram *compileProgram(const ExprNode *root);
int runProgram(Expression *expression, ExprProgram *program, double *result);
void freeProgram(ExprProgram *program);
