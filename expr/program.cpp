// The program behind evaluateExpression: the bound tree flattened once after
// parsing into register instructions, then run in a loop. Every operand is
// the address of a double: a constant kept in the program, a variable in the
// variable table, or a temporary of the program, so that reading a value or
// a variable costs no instruction of its own and each operation is one
// dispatch. Operations run in the order of the tree walk and see the values
// it would see, and calls that a routine must run (host functions, loops,
// ...) hand their node to evaluateNode, so both ways give the same results.

#include <cstdlib>

#include "expr/expr_local.h"

enum ProgramOp : uint8_t {
    OP_MOVE, // *target = *a
    OP_ADD,
    OP_SUBTRACT,
    OP_MULTIPLY,
    OP_DIVIDE,
    OP_NEGATE,
    OP_UNARY_PLAIN,
    OP_UNARY_MATH,
    OP_BINARY_PLAIN,
    OP_BINARY_MATH,
    OP_CLIP,         // *target = clip(*a, *b, *c)
    OP_MULTIPLY_ADD, // *target = *a * *b + *c
    OP_MULTIPLY_SUBTRACT,
    OP_ADD_PRODUCT, // *target = *a + *b * *c
    OP_SUBTRACT_PRODUCT,
    OP_CALL,         // *target = the value of node, evaluated by evaluateNode
    OP_JUMP_IF_ZERO, // continue at jump when *a is 0
    OP_JUMP,
    OP_END, // *a is the result
};

// Operations write their target only when they succeed, as the tree walk
// stores an assignment only when its child succeeds.
struct Instruction {
    ProgramOp op;
    double *target;
    const double *a, *b;
    union {
        const double *c;
        const ExprNode *node;
        const Instruction *jump;
        double (*unaryFunction)(double);
        double (*binaryFunction)(double, double);
    };
};

// One block: the program, its instructions, its constants and its temporaries.
struct ExprProgram {
    Instruction *code;
    bool running; // a host routine may evaluate the expression from inside it
};

// ---- Compiling ----

// Where an operand lives. Only a variable can change between the moment the
// tree walk would read it and the moment its instruction runs.
enum LocationKind : uint8_t { IN_CONSTANT, IN_VARIABLE, IN_TEMPORARY };

struct Location {
    const double *at;
    LocationKind kind;
};

// Compiling runs twice: first only counting (code null), then writing.
// Temporaries are used like a stack: a node computed with `base` free
// temporaries puts its value in temporary `base` and uses those above.
struct Compiler {
    Instruction *code;
    double *constants;
    double *temporaries;
    int length, constantCount, temporaryCount;
    Instruction discardedInstruction;
    double discardedValue;
};

static Instruction *emit(Compiler *compiler, ProgramOp op)
{
    Instruction *slot =
        compiler->code ? &compiler->code[compiler->length] : &compiler->discardedInstruction;
    compiler->length++;
    *slot = Instruction{};
    slot->op = op;
    return slot;
}

static double *temporary(Compiler *compiler, int index)
{
    if (index >= compiler->temporaryCount)
        compiler->temporaryCount = index + 1;
    return compiler->temporaries ? &compiler->temporaries[index] : &compiler->discardedValue;
}

static Location constant(Compiler *compiler, double value)
{
    double *slot = compiler->constants ? &compiler->constants[compiler->constantCount]
                                       : &compiler->discardedValue;
    compiler->constantCount++;
    *slot = value;
    return {slot, IN_CONSTANT};
}

// True when running the node cannot change any variable: no assignment and
// no call of a routine (a host routine may write its references).
static bool leavesVariables(const ExprNode *node)
{
    switch (node->step) {
    case EXPR_STEP_VALUE:
    case EXPR_STEP_VARIABLE: return true;
    case EXPR_STEP_ADD:
    case EXPR_STEP_SUBTRACT:
    case EXPR_STEP_MULTIPLY:
    case EXPR_STEP_DIVIDE:
    case EXPR_STEP_NEGATE:
    case EXPR_STEP_UNARY_PLAIN:
    case EXPR_STEP_UNARY_MATH:
    case EXPR_STEP_BINARY_PLAIN:
    case EXPR_STEP_BINARY_MATH:
    case EXPR_STEP_IF:
    case EXPR_STEP_CLIP:
        for (int i = 0; i < node->argCount; i++) {
            if (!leavesVariables(&node->args[i]))
                return false;
        }
        return true;
    default: return false;
    }
}

static Location compileValue(Compiler *compiler, const ExprNode *node, int base);
static void compileInto(Compiler *compiler, const ExprNode *node, int base, double *target);

static void move(Compiler *compiler, Location from, double *target)
{
    Instruction *instruction = emit(compiler, OP_MOVE);
    instruction->target = target;
    instruction->a = from.at;
}

// The operands of an inline operation, in the order the tree reads them. A
// variable operand is read when the operation runs, so it is copied first
// when a later operand may assign it.
static void compileOperands(Compiler *compiler, const ExprNode *const *args, int count, int base,
                            const double **operands)
{
    for (int i = 0; i < count; i++) {
        Location operand = compileValue(compiler, args[i], base);
        bool laterMayAssign = false;
        for (int later = i + 1; later < count; later++)
            laterMayAssign = laterMayAssign || !leavesVariables(args[later]);
        if (operand.kind == IN_VARIABLE && laterMayAssign) {
            double *copy = temporary(compiler, base);
            move(compiler, operand, copy);
            operand = {copy, IN_TEMPORARY};
        }
        if (operand.kind == IN_TEMPORARY)
            base++;
        operands[i] = operand.at;
    }
}

static Instruction *compileOperation(Compiler *compiler, ProgramOp op, const ExprNode *const *args,
                                     int count, int base, double *target)
{
    const double *operands[3] = {};
    compileOperands(compiler, args, count, base, operands);
    Instruction *instruction = emit(compiler, op);
    instruction->target = target;
    instruction->a = operands[0];
    instruction->b = operands[1];
    instruction->c = operands[2];
    return instruction;
}

// A sum or difference with a product as one of its terms runs as one
// instruction over the product's two operands and the other term. A product
// cannot fail or change anything, so computing it in the same step as the
// sum changes no result.
static bool compileWithProduct(Compiler *compiler, const ExprNode *node, int base, double *target)
{
    if (node->step != EXPR_STEP_ADD && node->step != EXPR_STEP_SUBTRACT)
        return false;
    bool adds = node->step == EXPR_STEP_ADD;
    const ExprNode *left = &node->args[0], *right = &node->args[1];
    if (left->step == EXPR_STEP_MULTIPLY) {
        const ExprNode *operands[] = {&left->args[0], &left->args[1], right};
        compileOperation(compiler, adds ? OP_MULTIPLY_ADD : OP_MULTIPLY_SUBTRACT, operands, 3,
                         base, target);
        return true;
    }
    if (right->step == EXPR_STEP_MULTIPLY) {
        const ExprNode *operands[] = {left, &right->args[0], &right->args[1]};
        compileOperation(compiler, adds ? OP_ADD_PRODUCT : OP_SUBTRACT_PRODUCT, operands, 3, base,
                         target);
        return true;
    }
    return false;
}

// if(condition, then, else): condition, jump-if-zero to else, then, jump to
// the end, else; both branches leave their value in the target.
static void compileIf(Compiler *compiler, const ExprNode *args, int base, double *target)
{
    Location condition = compileValue(compiler, &args[0], base);
    Instruction *toElse = emit(compiler, OP_JUMP_IF_ZERO);
    toElse->a = condition.at;
    compileInto(compiler, &args[1], base, target);
    Instruction *toEnd = emit(compiler, OP_JUMP);
    int elseStart = compiler->length;
    compileInto(compiler, &args[2], base, target);
    if (compiler->code) {
        toElse->jump = &compiler->code[elseStart];
        toEnd->jump = &compiler->code[compiler->length];
    }
}

static ProgramOp operationOf(ExprStep step)
{
    switch (step) {
    case EXPR_STEP_ADD: return OP_ADD;
    case EXPR_STEP_SUBTRACT: return OP_SUBTRACT;
    case EXPR_STEP_MULTIPLY: return OP_MULTIPLY;
    case EXPR_STEP_DIVIDE: return OP_DIVIDE;
    case EXPR_STEP_NEGATE: return OP_NEGATE;
    case EXPR_STEP_UNARY_PLAIN: return OP_UNARY_PLAIN;
    case EXPR_STEP_UNARY_MATH: return OP_UNARY_MATH;
    case EXPR_STEP_BINARY_PLAIN: return OP_BINARY_PLAIN;
    case EXPR_STEP_BINARY_MATH: return OP_BINARY_MATH;
    case EXPR_STEP_CLIP: return OP_CLIP;
    default: return OP_CALL;
    }
}

static bool runsInline(const ExprNode *node)
{
    return node->step == EXPR_STEP_IF || operationOf(static_cast<ExprStep>(node->step)) != OP_CALL;
}

// Emits code that leaves the node's value in target (a temporary, or the
// variable an assignment stores to). Only inline operations write the
// target themselves; any other node is computed first and then moved, so
// that a failing routine can never leave a half-written target.
static void compileInto(Compiler *compiler, const ExprNode *node, int base, double *target)
{
    if (!runsInline(node)) {
        move(compiler, compileValue(compiler, node, base), target);
        return;
    }
    if (node->step == EXPR_STEP_IF) {
        compileIf(compiler, node->args, base, target);
        return;
    }
    if (compileWithProduct(compiler, node, base, target))
        return;
    const ExprNode *args[3] = {};
    for (int i = 0; i < node->argCount; i++)
        args[i] = &node->args[i];
    ProgramOp op = operationOf(static_cast<ExprStep>(node->step));
    Instruction *instruction = compileOperation(compiler, op, args, node->argCount, base, target);
    if (op == OP_UNARY_PLAIN || op == OP_UNARY_MATH)
        instruction->unaryFunction = node->unaryFunction;
    else if (op == OP_BINARY_PLAIN || op == OP_BINARY_MATH)
        instruction->binaryFunction = node->binaryFunction;
}

// Emits the code of a node and says where its value is then found.
static Location compileValue(Compiler *compiler, const ExprNode *node, int base)
{
    switch (node->step) {
    case EXPR_STEP_VALUE: return constant(compiler, node->value);
    case EXPR_STEP_NEGATE:
        // A negative number is written as a sign and a number; negating it
        // is exact, so it is done once here.
        if (node->args[0].step == EXPR_STEP_VALUE)
            return constant(compiler, -node->args[0].value);
        break;
    case EXPR_STEP_VARIABLE: return {node->address, IN_VARIABLE};
    case EXPR_STEP_ASSIGN:
        compileInto(compiler, &node->args[0], base, node->address);
        return {node->address, IN_VARIABLE};
    case EXPR_STEP_STATEMENTS: {
        Location last = {};
        for (int i = 0; i < node->argCount; i++)
            last = compileValue(compiler, &node->args[i], base);
        return last;
    }
    default: break;
    }
    double *target = temporary(compiler, base);
    if (runsInline(node)) {
        compileInto(compiler, node, base, target);
    } else {
        Instruction *call = emit(compiler, OP_CALL);
        call->target = target;
        call->node = node;
    }
    return {target, IN_TEMPORARY};
}

static void compileRoot(Compiler *compiler, const ExprNode *root)
{
    Location result = compileValue(compiler, root, 0);
    emit(compiler, OP_END)->a = result.at;
}

ExprProgram *compileProgram(const ExprNode *root)
{
    Compiler counted = {};
    compileRoot(&counted, root);
    size_t size = sizeof(ExprProgram) + counted.length * sizeof(Instruction) +
                  (counted.constantCount + counted.temporaryCount) * sizeof(double);
    ExprProgram *program = static_cast<ExprProgram *>(std::calloc(1, size));
    if (!program)
        return nullptr;
    Compiler compiler = {};
    compiler.code = reinterpret_cast<Instruction *>(program + 1);
    compiler.constants = reinterpret_cast<double *>(compiler.code + counted.length);
    compiler.temporaries = compiler.constants + counted.constantCount;
    compileRoot(&compiler, root);
    program->code = compiler.code;
    return program;
}

void freeProgram(ExprProgram *program)
{
    std::free(program);
}

// ---- Running ----

static int runDivide(const Expression *expression, const Instruction &now)
{
    double divisor = *now.b;
    if (divisor != 0)
        *now.target = *now.a / divisor;
    else if (expression->softErrors)
        *now.target = 0;
    else
        return EXPR_DIVISION_BY_ZERO;
    return EXPR_OK;
}

static int execute(Expression *expression, const Instruction *code, double *result)
{
    int &indicator = errno; // found once: the thread's errno stays put
    int failure;
    for (const Instruction *at = code;;) {
        const Instruction &now = *at++;
        switch (now.op) {
        case OP_MOVE: *now.target = *now.a; break;
        case OP_ADD: *now.target = *now.a + *now.b; break;
        case OP_SUBTRACT: *now.target = *now.a - *now.b; break;
        case OP_MULTIPLY: *now.target = *now.a * *now.b; break;
        case OP_DIVIDE:
            if ((failure = runDivide(expression, now)))
                return failure;
            break;
        case OP_NEGATE: *now.target = -*now.a; break;
        case OP_UNARY_PLAIN: *now.target = now.unaryFunction(*now.a); break;
        case OP_UNARY_MATH: {
            indicator = 0;
            double value = now.unaryFunction(*now.a);
            if ((failure = finishMath(expression, indicator, value, now.target)))
                return failure;
            break;
        }
        case OP_BINARY_PLAIN: *now.target = now.binaryFunction(*now.a, *now.b); break;
        case OP_BINARY_MATH: {
            indicator = 0;
            double value = now.binaryFunction(*now.a, *now.b);
            if ((failure = finishMath(expression, indicator, value, now.target)))
                return failure;
            break;
        }
        case OP_CLIP: *now.target = clipBetween(*now.a, *now.b, *now.c); break;
        // The product is rounded before the sum, as the two steps of the tree
        // round it: the library is built without floating-point contraction.
        case OP_MULTIPLY_ADD: *now.target = *now.a * *now.b + *now.c; break;
        case OP_MULTIPLY_SUBTRACT: *now.target = *now.a * *now.b - *now.c; break;
        case OP_ADD_PRODUCT: *now.target = *now.a + *now.b * *now.c; break;
        case OP_SUBTRACT_PRODUCT: *now.target = *now.a - *now.b * *now.c; break;
        case OP_CALL:
            if ((failure = evaluateNode(expression, now.node, now.target)))
                return failure;
            break;
        case OP_JUMP_IF_ZERO:
            if (*now.a == 0)
                at = now.jump;
            break;
        case OP_JUMP: at = now.jump; break;
        case OP_END: *result = *now.a; return EXPR_OK;
        }
    }
}

int runProgram(Expression *expression, ExprProgram *program, double *result)
{
    // The temporaries belong to the program, so a nested evaluation walks
    // the tree instead of overwriting them.
    if (program->running)
        return evaluateNode(expression, expression->root, result);
    program->running = true;
    int code = execute(expression, program->code, result);
    program->running = false;
    return code;
}
