// The built-in functions, the named constants and the process-wide random
// generator of the formula language. Angles are radians.

#include <cerrno>
#include <cmath>

#include "expr/expr_local.h"

// ---- Random generator ----

// The only global state of the library. Formulas reseed it with srand(), and
// particle and ray emission draw from it too.
static uint32_t randomState = 1;

int exprRandom()
{
    randomState = randomState * 214013u + 2531011u;
    return static_cast<int>((randomState >> 16) & 0x7fff);
}

void exprSeedRandom(uint32_t seed)
{
    randomState = seed;
}

// ---- Helpers shared by the routines ----

static int evaluateArguments(Expression *expression, const ExprNode *args, int count,
                             double *values)
{
    for (int i = 0; i < count; i++) {
        int code = evaluateOperand(expression, &args[i], &values[i]);
        if (code)
            return code;
    }
    return EXPR_OK;
}

// ---- Routine shapes: most built-ins are one computation over fixed arguments ----

template <double (*compute)()>
static int nullaryMath(Expression *expression, const ExprNode *, int, double *const *, int,
                       double *result)
{
    errno = 0;
    double value = compute();
    return finishMath(expression, errno, value, result);
}

template <double (*compute)(double)>
static int unaryPlain(Expression *expression, const ExprNode *args, int, double *const *, int,
                      double *result)
{
    return runUnary<false>(expression, args, compute, result);
}

template <double (*compute)(double)>
static int unaryMath(Expression *expression, const ExprNode *args, int, double *const *, int,
                     double *result)
{
    return runUnary<true>(expression, args, compute, result);
}

template <double (*compute)(double, double)>
static int binaryPlain(Expression *expression, const ExprNode *args, int, double *const *, int,
                       double *result)
{
    return runBinary<false>(expression, args, compute, result);
}

template <double (*compute)(double, double)>
static int binaryMath(Expression *expression, const ExprNode *args, int, double *const *, int,
                      double *result)
{
    return runBinary<true>(expression, args, compute, result);
}

// ---- Computations ----

static double integerPart(double x)
{
    double whole;
    std::modf(x, &whole);
    return whole;
}

static double fractionalPart(double x)
{
    double whole;
    return std::modf(x, &whole);
}

static double powerOfTen(double x)
{
    return std::pow(10.0, x);
}

// ln(b) = 0 makes the quotient meaningless; it is reported like a domain error.
static double logarithmToBase(double x, double base)
{
    double lnBase = std::log(base);
    double lnX = std::log(x);
    if (lnBase == 0)
        errno = EDOM;
    return lnX / lnBase;
}

static double randomFraction()
{
    return exprRandom() / 32768.0;
}

static double randomBetween(double low, double high)
{
    return exprRandom() * (1.0 / 32767) * (high - low) + low;
}

// randomize() and srand() have no value of their own; they yield 0.
static double keepGenerator()
{
    return 0;
}

// The seed is x * 32767 truncated toward zero and taken modulo 2^32, so that
// any double, even NaN or an infinity, gives a defined state.
static double seedGenerator(double x)
{
    double seed = std::trunc(x * 32767);
    if (!std::isfinite(seed))
        seed = 0;
    seed = std::fmod(seed, 4294967296.0);
    if (seed < 0)
        seed += 4294967296.0;
    exprSeedRandom(static_cast<uint32_t>(seed));
    return 0;
}

static double degrees(double x)
{
    return x * 57.29577951308232;
}
static double radians(double x)
{
    return x * 0.017453292519943295;
}
static double polarRadius(double x, double y)
{
    return std::sqrt(x * x + y * y);
}

static double polarAngle(double x, double y)
{
    double angle = std::atan2(y, x);
    return angle < 0 ? angle + 6.283185307179586 : angle;
}

static double polarToX(double r, double a)
{
    return r * std::cos(a);
}
static double polarToY(double r, double a)
{
    return r * std::sin(a);
}
static double isEqual(double a, double b)
{
    return a == b ? 1 : 0;
}
static double isAbove(double a, double b)
{
    return a > b ? 1 : 0;
}
static double isBelow(double a, double b)
{
    return a < b ? 1 : 0;
}
static double bothTrue(double a, double b)
{
    return a != 0 && b != 0 ? 1 : 0;
}
static double eitherTrue(double a, double b)
{
    return a != 0 || b != 0 ? 1 : 0;
}
static double isFalse(double x)
{
    return x == 0 ? 1 : 0;
}

// ---- Routines with their own argument handling ----

// min and max keep the first of equal arguments, so only a strictly better
// argument replaces the one held.
template <bool (*better)(double, double)>
static int extreme(Expression *expression, const ExprNode *args, int argCount, double *const *, int,
                   double *result)
{
    double best;
    int code = evaluateOperand(expression, &args[0], &best);
    for (int i = 1; i < argCount && !code; i++) {
        double x;
        code = evaluateOperand(expression, &args[i], &x);
        if (!code && better(x, best))
            best = x;
    }
    if (!code)
        *result = best;
    return code;
}

static bool isLess(double a, double b)
{
    return a < b;
}
static bool isGreater(double a, double b)
{
    return a > b;
}

static int average(Expression *expression, const ExprNode *args, int argCount, double *const *, int,
                   double *result)
{
    double sum = 0;
    for (int i = 0; i < argCount; i++) {
        double x;
        int code = evaluateOperand(expression, &args[i], &x);
        if (code)
            return code;
        sum += x;
    }
    *result = sum / argCount;
    return EXPR_OK;
}

static int evaluateAllKeepLast(Expression *expression, const ExprNode *args, int argCount,
                               double *const *, int, double *result)
{
    double last = 0;
    for (int i = 0; i < argCount; i++) {
        int code = evaluateOperand(expression, &args[i], &last);
        if (code)
            return code;
    }
    *result = last;
    return EXPR_OK;
}

static int ifThenElse(Expression *expression, const ExprNode *args, int, double *const *, int,
                      double *result)
{
    return runIf(expression, args, result);
}

// select(s, negative, zero [, positive]); a NaN selector chooses nothing and yields 0.
static int selectBySign(Expression *expression, const ExprNode *args, int argCount, double *const *,
                        int, double *result)
{
    double selector;
    int code = evaluateOperand(expression, &args[0], &selector);
    if (code)
        return code;
    int chosen;
    if (selector < 0) {
        chosen = 1;
    } else if (selector == 0) {
        chosen = 2;
    } else if (selector > 0) {
        chosen = argCount == 4 ? 3 : 2;
    } else {
        *result = 0;
        return EXPR_OK;
    }
    return evaluateOperand(expression, &args[chosen], result);
}

static int clip(Expression *expression, const ExprNode *args, int, double *const *, int,
                double *result)
{
    double v[3];
    int code = evaluateArguments(expression, args, 3, v);
    if (code)
        return code;
    *result = clipBetween(v[0], v[1], v[2]);
    return EXPR_OK;
}

// Wraps v into lo..hi.
static int clamp(Expression *expression, const ExprNode *args, int, double *const *, int,
                 double *result)
{
    double v[3];
    int code = evaluateArguments(expression, args, 3, v);
    if (code)
        return code;
    errno = 0;
    double r = std::fmod(v[0] - v[1], v[2] - v[1]);
    return finishMath(expression, errno, r < 0 ? r + v[2] : r + v[1], result);
}

// pntchange(a0, a1, b0, b1, p) maps p from a0..a1 onto b0..b1; an empty
// source range fails even with soft errors on.
static int pointChange(Expression *expression, const ExprNode *args, int, double *const *, int,
                       double *result)
{
    double v[5];
    int code = evaluateArguments(expression, args, 5, v);
    if (code)
        return code;
    double sourceRange = v[1] - v[0];
    if (sourceRange == 0)
        return EXPR_MATH_ERROR;
    *result = (v[3] - v[2]) * ((v[4] - v[0]) / sourceRange) + v[2];
    return EXPR_OK;
}

// poly(x, c1, ..., cn) = sum of ci * x^(n-i); a failing power under soft
// errors ends the sum with 0 before the remaining coefficients run.
static int polynomial(Expression *expression, const ExprNode *args, int argCount, double *const *,
                      int, double *result)
{
    double x;
    int code = evaluateOperand(expression, &args[0], &x);
    if (code)
        return code;
    double sum = 0;
    for (int i = 1; i < argCount; i++) {
        double coefficient;
        code = evaluateOperand(expression, &args[i], &coefficient);
        if (code)
            return code;
        errno = 0;
        double power = std::pow(x, argCount - 1 - i);
        if (errno == EDOM || errno == ERANGE)
            return finishMath(expression, errno, 0, result);
        sum += coefficient * power;
    }
    *result = sum;
    return EXPR_OK;
}

// for(init, test, step, body...): yields the last body value of the last
// pass, or 0 when no pass ran. The breaker may stop it after any pass.
static int forLoop(Expression *expression, const ExprNode *args, int argCount, double *const *, int,
                   double *result)
{
    double scratch, test;
    int code = evaluateOperand(expression, &args[0], &scratch);
    if (!code)
        code = evaluateOperand(expression, &args[1], &test);
    double lastBody = 0;
    while (!code && test != 0) {
        for (int i = 3; i < argCount && !code; i++)
            code = evaluateOperand(expression, &args[i], &lastBody);
        if (!code)
            code = evaluateOperand(expression, &args[2], &scratch);
        if (!code)
            code = evaluateOperand(expression, &args[1], &test);
        if (!code && expression->breaker && expression->breaker(expression))
            code = EXPR_BREAK;
    }
    if (!code)
        *result = lastBody;
    return code;
}

// ---- The tables ----

struct BuiltinFunction {
    const char *name;
    FormulaRoutine routine;
    int minArgs, maxArgs; // -1: no maximum
    ExprStep step;        // how the evaluator runs a call of it
    double (*unaryFunction)(double);
    double (*binaryFunction)(double, double);
};

template <double (*compute)(double)> constexpr BuiltinFunction unaryPlainBuiltin(const char *name)
{
    return {name, unaryPlain<compute>, 1, 1, EXPR_STEP_UNARY_PLAIN, compute, nullptr};
}

template <double (*compute)(double)> constexpr BuiltinFunction unaryMathBuiltin(const char *name)
{
    return {name, unaryMath<compute>, 1, 1, EXPR_STEP_UNARY_MATH, compute, nullptr};
}

template <double (*compute)(double, double)>
constexpr BuiltinFunction binaryPlainBuiltin(const char *name)
{
    return {name, binaryPlain<compute>, 2, 2, EXPR_STEP_BINARY_PLAIN, nullptr, compute};
}

template <double (*compute)(double, double)>
constexpr BuiltinFunction binaryMathBuiltin(const char *name)
{
    return {name, binaryMath<compute>, 2, 2, EXPR_STEP_BINARY_MATH, nullptr, compute};
}

constexpr BuiltinFunction routineBuiltin(const char *name, FormulaRoutine routine, int minArgs,
                                         int maxArgs)
{
    return {name, routine, minArgs, maxArgs, EXPR_STEP_CALL, nullptr, nullptr};
}

static const BuiltinFunction builtinFunctions[] = {
    unaryPlainBuiltin<std::fabs>("abs"),
    binaryMathBuiltin<std::fmod>("mod"),
    unaryMathBuiltin<integerPart>("ipart"),
    unaryMathBuiltin<fractionalPart>("fpart"),
    routineBuiltin("min", extreme<isLess>, 1, -1),
    routineBuiltin("max", extreme<isGreater>, 1, -1),
    binaryMathBuiltin<std::pow>("pow"),
    unaryMathBuiltin<std::sqrt>("sqrt"),
    unaryMathBuiltin<std::sin>("sin"),
    unaryMathBuiltin<std::sinh>("sinh"),
    unaryMathBuiltin<std::asin>("asin"),
    unaryMathBuiltin<std::cos>("cos"),
    unaryMathBuiltin<std::cosh>("cosh"),
    unaryMathBuiltin<std::acos>("acos"),
    unaryMathBuiltin<std::tan>("tan"),
    unaryMathBuiltin<std::tanh>("tanh"),
    unaryMathBuiltin<std::atan>("atan"),
    binaryMathBuiltin<std::atan2>("atan2"),
    unaryMathBuiltin<std::log10>("log"),
    unaryMathBuiltin<powerOfTen>("pow10"),
    unaryMathBuiltin<std::log>("ln"),
    unaryMathBuiltin<std::exp>("exp"),
    binaryMathBuiltin<logarithmToBase>("logn"),
    unaryMathBuiltin<std::ceil>("ceil"),
    unaryMathBuiltin<std::floor>("floor"),
    routineBuiltin("rand", nullaryMath<randomFraction>, 0, 0),
    binaryMathBuiltin<randomBetween>("random"),
    routineBuiltin("randomize", nullaryMath<keepGenerator>, 0, 0),
    unaryMathBuiltin<seedGenerator>("srand"),
    unaryPlainBuiltin<degrees>("deg"),
    unaryPlainBuiltin<radians>("rad"),
    binaryMathBuiltin<polarRadius>("recttopolr"),
    binaryMathBuiltin<polarAngle>("recttopola"),
    binaryMathBuiltin<polarToX>("poltorectx"),
    binaryMathBuiltin<polarToY>("poltorecty"),
    {"if", ifThenElse, 3, 3, EXPR_STEP_IF, nullptr, nullptr},
    routineBuiltin("select", selectBySign, 3, 4),
    binaryPlainBuiltin<isEqual>("equal"),
    binaryPlainBuiltin<isAbove>("above"),
    binaryPlainBuiltin<isBelow>("below"),
    routineBuiltin("avg", average, 1, -1),
    {"clip", clip, 3, 3, EXPR_STEP_CLIP, nullptr, nullptr},
    routineBuiltin("clamp", clamp, 3, 3),
    routineBuiltin("pntchange", pointChange, 5, 5),
    routineBuiltin("poly", polynomial, 2, -1),
    binaryPlainBuiltin<bothTrue>("and"),
    binaryPlainBuiltin<eitherTrue>("or"),
    unaryPlainBuiltin<isFalse>("not"),
    routineBuiltin("for", forLoop, 4, -1),
    routineBuiltin("many", evaluateAllKeepLast, 1, -1),
};
static_assert(sizeof(builtinFunctions) / sizeof(builtinFunctions[0]) == 50,
              "the language has 50 built-in functions");

void chooseCallStep(ExprNode *node)
{
    node->step = EXPR_STEP_CALL;
    for (const BuiltinFunction &builtin : builtinFunctions) {
        if (builtin.routine != node->routine)
            continue;
        node->step = builtin.step;
        if (builtin.unaryFunction)
            node->unaryFunction = builtin.unaryFunction;
        if (builtin.binaryFunction)
            node->binaryFunction = builtin.binaryFunction;
        return;
    }
}

int addBuiltinFunctions(FunctionTable *table)
{
    if (!table)
        return EXPR_MISSING;
    for (const BuiltinFunction &builtin : builtinFunctions) {
        int code = addFunction(table, builtin.name, builtin.routine, builtin.minArgs,
                               builtin.maxArgs, 0, 0);
        if (code)
            return code;
    }
    return EXPR_OK;
}

struct NamedConstant {
    const char *name;
    double value;
};

static const NamedConstant mathConstants[] = {
    {"M_E", 2.718281828459045},         {"M_LOG2E", 1.4426950408889634},
    {"M_LOG10E", 0.4342944819032518},   {"M_LN2", 0.6931471805599453},
    {"M_LN10", 2.302585092994046},      {"M_PI", 3.141592653589793},
    {"M_PI_2", 1.5707963267948966},     {"M_PI_4", 0.7853981633974483},
    {"M_1_PI", 0.3183098861837907},     {"M_2_PI", 0.6366197723675814},
    {"M_1_SQRTPI", 0.56418958354776}, // as the language has always defined it
    {"M_2_SQRTPI", 1.1283791670955126}, {"M_SQRT2", 1.4142135623730951},
    {"M_1_SQRT2", 0.7071067811865476},
};
static_assert(sizeof(mathConstants) / sizeof(mathConstants[0]) == 14,
              "the language has 14 named constants");

int addMathConstants(ValueTable *table)
{
    if (!table)
        return EXPR_MISSING;
    for (const NamedConstant &constant : mathConstants) {
        int code = setValue(table, constant.name, constant.value);
        if (code)
            return code;
    }
    return EXPR_OK;
}
