// Declarations shared by the units of the formula library, not by its users.
#pragma once

#include <string_view>

#include "expr/expr.h"

enum ExprState : uint8_t { EXPR_UNPARSED, EXPR_PARSED, EXPR_FAILED };

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
};

// ExprNode::step: the evaluator's shortcut for a node. Calls of the internal
// arithmetic and statement routines run inline; every other call goes
// through its routine.
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
};

// The routine behind an inline step, for the call nodes the parser builds
// for operators and statement lists; null for the other steps.
FormulaRoutine internalRoutine(ExprStep step);

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
