// Formula language: tables of functions, variables and constants, a parser
// that binds a formula text into a tree once, and an evaluator that walks the
// tree as often as wanted. Every operation answers an ExprCode (0 = success);
// the library never prints and keeps no global state but the random generator.
#pragma once

#include <cstdint>

enum ExprCode {
    EXPR_OK = 0,
    EXPR_NO_MEMORY = 1, // also: a name a table refuses; nesting deeper than EXPR_MAX_DEPTH
    EXPR_MISSING = 2,   // a required table, object, text or result place is missing
    EXPR_NOT_FOUND = 3,
    EXPR_UNMATCHED_COMMENT = 4,
    EXPR_BAD_CHARACTER = 5,
    EXPR_PARSE_AFTER_FAILURE = 8,
    EXPR_ALREADY_PARSED = 9,
    EXPR_EMPTY_TEXT = 10,
    EXPR_UNMATCHED_PARENTHESIS = 11,
    EXPR_SYNTAX = 12,
    EXPR_NO_FINAL_SEMICOLON = 13,
    EXPR_BAD_OPERAND = 14, // invalid or overlong name, number or operand
    EXPR_NO_FUNCTION = 15,
    EXPR_ARGUMENT_COUNT = 16,
    EXPR_NOT_PARSED = 17,
    EXPR_MATH_ERROR = 19,
    EXPR_DIVISION_BY_ZERO = 20,
    EXPR_NO_VARIABLE_TABLE = 21,
    EXPR_BREAK = 22,
    EXPR_INTERNAL = 255,
};

// Longest name, number or operand the parser accepts, in characters.
constexpr int EXPR_MAX_NAME = 255;
// Deepest nesting of operators, signs, calls and assignments in one formula;
// parsing and evaluation recurse once per level, so this bounds their stack.
constexpr int EXPR_MAX_DEPTH = 1000;

struct Expression;
struct ExprNode;
struct FunctionTable;
struct ValueTable;

// Every callable routine, built-in or host-defined. It evaluates its argument
// nodes itself (through evaluateNode), so it alone decides which arguments
// run, how often and in which order. refs hold addresses in the variable table.
typedef int (*FormulaRoutine)(Expression *expression, const ExprNode *args, int argCount,
                              double *const *refs, int refCount, double *result);
// Called after every pass of a `for` loop; nonzero stops the loop with EXPR_BREAK.
typedef int (*ExprBreaker)(Expression *expression);

enum ExprNodeKind : uint8_t {
    EXPR_NODE_NONE,
    EXPR_NODE_VALUE,
    EXPR_NODE_VARIABLE,
    EXPR_NODE_CALL,
    EXPR_NODE_ASSIGNMENT,
};

// One node of a parsed tree. Routines receive their arguments as an array of
// these and should only pass them to evaluateNode.
struct ExprNode {
    ExprNodeKind kind;
    uint8_t step; // how the evaluator runs this node; chosen by the parser
    int argCount;
    int refCount;
    union {
        double value;                             // value node
        double *address;                          // variable node, or the target of an assignment
        double (*unaryFunction)(double);          // a built-in call the evaluator
        double (*binaryFunction)(double, double); // runs without its routine
    };
    FormulaRoutine routine; // call node
    ExprNode *args;         // call arguments; the one child of an assignment
    double **refs;          // call reference arguments
};

// Function tables. A negative limit means no limit.
int createFunctionTable(FunctionTable **table);
int addFunction(FunctionTable *table, const char *name, FormulaRoutine routine, int minArgs,
                int maxArgs, int minRefs, int maxRefs);
// Any of the out-parameters may be null.
int findFunction(const FunctionTable *table, const char *name, FormulaRoutine *routine,
                 int *minArgs, int *maxArgs, int *minRefs, int *maxRefs);
int addBuiltinFunctions(FunctionTable *table); // the 50 built-ins, in table order
void destroyFunctionTable(FunctionTable *table);

// Value tables, serving as variable and as constant tables. A value's address
// stays valid until its table is destroyed.
int createValueTable(ValueTable **table);
int setValue(ValueTable *table, const char *name, double value);
int getValue(const ValueTable *table, const char *name, double *value);
int getValueAddress(ValueTable *table, const char *name, double **address);
int zeroValues(ValueTable *table);
int addMathConstants(ValueTable *table); // M_E ... M_1_SQRT2
void destroyValueTable(ValueTable *table);
// Calls visitor for every entry in byte order of the names.
typedef void (*ValueVisitor)(const char *name, double value, void *user);
int visitValues(const ValueTable *table, ValueVisitor visitor, void *user);

// Expressions. The tables are borrowed and must outlive the expression.
int createExpression(FunctionTable *functions, ValueTable *variables, ValueTable *constants,
                     void *userData, ExprBreaker breaker, void *userValue, Expression **expression);
int parseExpression(Expression *expression, const char *text);
int evaluateExpression(Expression *expression, double *result);
int evaluateNode(Expression *expression, const ExprNode *node, double *result);
int clearExpression(Expression *expression); // back to unparsed
void destroyExpression(Expression *expression);
int setSoftErrors(Expression *expression, bool on);

FunctionTable *expressionFunctions(const Expression *expression);
ValueTable *expressionVariables(const Expression *expression);
ValueTable *expressionConstants(const Expression *expression);
void *expressionUserData(const Expression *expression);
ExprBreaker expressionBreaker(const Expression *expression);
void *expressionUserValue(const Expression *expression);
void setExpressionUserValue(Expression *expression, void *userValue);
bool expressionSoftErrors(const Expression *expression);

// The process-wide 15-bit generator behind rand(), random() and srand(),
// shared with particle and ray emission.
int exprRandom(); // 0 to 32767
void exprSeedRandom(uint32_t seed);
