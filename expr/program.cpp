// The postfix program behind evaluateExpression: the bound tree flattened
// once after parsing, then run in a loop over a small value stack, so that a
// formula costs one dispatch per node instead of a call and a return. Every
// instruction does what evaluateNode does for its node, in the same order,
// and calls that a routine must run (host functions, loops, ...) hand their
// node to evaluateNode, so both ways always give the same results.

#include <cstdlib>

#include "expr/expr_local.h"

enum ProgramOp : uint8_t {
    OP_VALUE,    // push value
    OP_VARIABLE, // push *address
    OP_STORE,    // *address = top, which stays
    OP_ADD,
    OP_SUBTRACT,
    OP_MULTIPLY,
    OP_DIVIDE,
    OP_NEGATE,
    OP_UNARY_PLAIN,
    OP_UNARY_MATH,
    OP_BINARY_PLAIN,
    OP_BINARY_MATH,
    OP_CLIP,         // pops lo and hi, clips the top
    OP_CALL,         // push the value of node, evaluated by evaluateNode
    OP_JUMP_IF_ZERO, // pop; continue at jump when it was 0
    OP_JUMP,
    OP_DROP, // pop the value of a statement that is not the last
    OP_END,  // the top is the result
};

// Where a binary instruction finds an operand: on the stack, or riding in
// the instruction (a value or a variable) instead of taking one of its own.
enum OperandSource : uint8_t { FROM_STACK, FROM_VALUE, FROM_VARIABLE };

// A left operand rides along only when the right one does too, so that
// reading it late cannot miss an assignment made by the right operand.
struct Instruction {
    ProgramOp op;
    OperandSource left, right;
    int jump; // index of the next instruction for the jumps
    union {
        double value; // also the right operand
        double *address;
        const ExprNode *node;
    };
    union {
        double leftValue;
        double *leftAddress;
    };
    union {
        double (*unaryFunction)(double);
        double (*binaryFunction)(double, double);
    };
};

// Values a program may hold at once; formulas of a normal shape need a few.
enum { PROGRAM_STACK = 64 };

struct ExprProgram {
    Instruction *code; // in the same block, after the program
};

// ---- Compiling ----

// Compiling runs twice: first only counting (code null), then writing.
struct Compiler {
    Instruction *code;
    int length;
    int depth, maxDepth; // values on the stack
    Instruction discarded;
};

static Instruction *emit(Compiler *compiler, ProgramOp op, int stackChange)
{
    compiler->depth += stackChange;
    if (compiler->depth > compiler->maxDepth)
        compiler->maxDepth = compiler->depth;
    Instruction *slot = compiler->code ? &compiler->code[compiler->length] : &compiler->discarded;
    compiler->length++;
    *slot = Instruction{};
    slot->op = op;
    return slot;
}

static void compileNode(Compiler *compiler, const ExprNode *node);

// if(condition, then, else) becomes: condition, jump-if-zero to else, then,
// jump to the end, else.
static void compileIf(Compiler *compiler, const ExprNode *args)
{
    compileNode(compiler, &args[0]);
    Instruction *toElse = emit(compiler, OP_JUMP_IF_ZERO, -1);
    int depthBeforeBranch = compiler->depth;
    compileNode(compiler, &args[1]);
    Instruction *toEnd = emit(compiler, OP_JUMP, 0);
    toElse->jump = compiler->length;
    compiler->depth = depthBeforeBranch;
    compileNode(compiler, &args[2]);
    toEnd->jump = compiler->length;
}

static bool isLeaf(const ExprNode *node)
{
    return node->step == EXPR_STEP_VALUE || node->step == EXPR_STEP_VARIABLE;
}

// Stores a value or variable node as an operand of the instruction.
static void takeOperand(const ExprNode *leaf, OperandSource *source, double *value,
                        double **address)
{
    if (leaf->step == EXPR_STEP_VALUE) {
        *source = FROM_VALUE;
        *value = leaf->value;
    } else {
        *source = FROM_VARIABLE;
        *address = leaf->address;
    }
}

// Left operand, then right operand, then the operation.
static Instruction *compileBinary(Compiler *compiler, ProgramOp op, const ExprNode *args)
{
    const ExprNode *left = &args[0], *right = &args[1];
    if (isLeaf(left) && isLeaf(right)) {
        Instruction *instruction = emit(compiler, op, 1);
        takeOperand(left, &instruction->left, &instruction->leftValue, &instruction->leftAddress);
        takeOperand(right, &instruction->right, &instruction->value, &instruction->address);
        return instruction;
    }
    compileNode(compiler, left);
    if (isLeaf(right)) {
        Instruction *instruction = emit(compiler, op, 0);
        takeOperand(right, &instruction->right, &instruction->value, &instruction->address);
        return instruction;
    }
    compileNode(compiler, right);
    return emit(compiler, op, -1);
}

static ProgramOp arithmeticOp(ExprStep step)
{
    switch (step) {
    case EXPR_STEP_ADD: return OP_ADD;
    case EXPR_STEP_SUBTRACT: return OP_SUBTRACT;
    case EXPR_STEP_MULTIPLY: return OP_MULTIPLY;
    default: return OP_DIVIDE;
    }
}

static void compileNode(Compiler *compiler, const ExprNode *node)
{
    const ExprNode *args = node->args;
    switch (node->step) {
    case EXPR_STEP_VALUE: emit(compiler, OP_VALUE, 1)->value = node->value; break;
    case EXPR_STEP_VARIABLE: emit(compiler, OP_VARIABLE, 1)->address = node->address; break;
    case EXPR_STEP_ASSIGN:
        compileNode(compiler, &args[0]);
        emit(compiler, OP_STORE, 0)->address = node->address;
        break;
    case EXPR_STEP_ADD:
    case EXPR_STEP_SUBTRACT:
    case EXPR_STEP_MULTIPLY:
    case EXPR_STEP_DIVIDE:
        compileBinary(compiler, arithmeticOp(static_cast<ExprStep>(node->step)), args);
        break;
    case EXPR_STEP_NEGATE:
        compileNode(compiler, &args[0]);
        emit(compiler, OP_NEGATE, 0);
        break;
    case EXPR_STEP_STATEMENTS:
        for (int i = 0; i < node->argCount; i++) {
            if (i > 0)
                emit(compiler, OP_DROP, -1);
            compileNode(compiler, &args[i]);
        }
        break;
    case EXPR_STEP_UNARY_PLAIN:
    case EXPR_STEP_UNARY_MATH:
        compileNode(compiler, &args[0]);
        emit(compiler, node->step == EXPR_STEP_UNARY_MATH ? OP_UNARY_MATH : OP_UNARY_PLAIN, 0)
            ->unaryFunction = node->unaryFunction;
        break;
    case EXPR_STEP_BINARY_PLAIN:
    case EXPR_STEP_BINARY_MATH:
        compileBinary(compiler,
                      node->step == EXPR_STEP_BINARY_MATH ? OP_BINARY_MATH : OP_BINARY_PLAIN, args)
            ->binaryFunction = node->binaryFunction;
        break;
    case EXPR_STEP_IF: compileIf(compiler, args); break;
    case EXPR_STEP_CLIP:
        for (int i = 0; i < 3; i++)
            compileNode(compiler, &args[i]);
        emit(compiler, OP_CLIP, -2);
        break;
    default: emit(compiler, OP_CALL, 1)->node = node; break;
    }
}

ExprProgram *compileProgram(const ExprNode *root)
{
    Compiler compiler = {};
    compileNode(&compiler, root);
    emit(&compiler, OP_END, 0);
    if (compiler.maxDepth > PROGRAM_STACK)
        return nullptr;
    ExprProgram *program = static_cast<ExprProgram *>(
        std::calloc(1, sizeof(ExprProgram) + compiler.length * sizeof(Instruction)));
    if (!program)
        return nullptr;
    program->code = reinterpret_cast<Instruction *>(program + 1);
    compiler = Compiler{};
    compiler.code = program->code;
    compileNode(&compiler, root);
    emit(&compiler, OP_END, 0);
    return program;
}

void freeProgram(ExprProgram *program)
{
    std::free(program);
}

// ---- Running ----

static double popRightOperand(const Instruction &instruction, double **next)
{
    switch (instruction.right) {
    case FROM_VALUE: return instruction.value;
    case FROM_VARIABLE: return *instruction.address;
    default: return *--*next;
    }
}

int runProgram(Expression *expression, const ExprProgram *program, double *result)
{
    double stack[PROGRAM_STACK];
    double *next = stack;   // the first free slot; the top is next[-1]
    int &indicator = errno; // found once: the thread's errno stays put
    const Instruction *code = program->code;
    const Instruction *at = code;
    for (;;) {
        const Instruction &now = *at++;
        if (now.left != FROM_STACK)
            *next++ = now.left == FROM_VALUE ? now.leftValue : *now.leftAddress;
        int failure = EXPR_OK;
        double right, value;
        switch (now.op) {
        case OP_VALUE: *next++ = now.value; break;
        case OP_VARIABLE: *next++ = *now.address; break;
        case OP_STORE: *now.address = next[-1]; break;
        case OP_ADD:
            right = popRightOperand(now, &next);
            next[-1] += right;
            break;
        case OP_SUBTRACT:
            right = popRightOperand(now, &next);
            next[-1] -= right;
            break;
        case OP_MULTIPLY:
            right = popRightOperand(now, &next);
            next[-1] *= right;
            break;
        case OP_DIVIDE:
            right = popRightOperand(now, &next);
            if (right != 0)
                next[-1] /= right;
            else if (expression->softErrors)
                next[-1] = 0;
            else
                failure = EXPR_DIVISION_BY_ZERO;
            break;
        case OP_NEGATE: next[-1] = -next[-1]; break;
        case OP_UNARY_PLAIN: next[-1] = now.unaryFunction(next[-1]); break;
        case OP_UNARY_MATH:
            indicator = 0;
            value = now.unaryFunction(next[-1]);
            failure = finishMath(expression, indicator, value, &next[-1]);
            break;
        case OP_BINARY_PLAIN:
            right = popRightOperand(now, &next);
            next[-1] = now.binaryFunction(next[-1], right);
            break;
        case OP_BINARY_MATH:
            right = popRightOperand(now, &next);
            indicator = 0;
            value = now.binaryFunction(next[-1], right);
            failure = finishMath(expression, indicator, value, &next[-1]);
            break;
        case OP_CLIP:
            next -= 2;
            next[-1] = clipBetween(next[-1], next[0], next[1]);
            break;
        case OP_CALL: failure = evaluateNode(expression, now.node, next++); break;
        case OP_JUMP_IF_ZERO:
            if (*--next == 0)
                at = code + now.jump;
            break;
        case OP_JUMP: at = code + now.jump; break;
        case OP_DROP: next--; break;
        case OP_END: *result = next[-1]; return EXPR_OK;
        }
        if (failure)
            return failure;
    }
}
