// glimra-calc: evaluates a formula the way the engine does (built-in
// functions and constants, the given variables) so that demo authors can try
// formulas out. Prints the result and every variable afterwards.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "expr/expr.h"

static const char usage[] =
    "usage: glimra-calc [--soft] [--repeat N] [--var NAME=VALUE]... [--] FORMULA\n"
    "FORMULA - reads the formula from standard input.\n";

struct Options {
    bool soft = false;
    long repeat = 1;
    std::vector<std::string> assignments; // NAME=VALUE
    const char *formula = nullptr;
};

static bool takeFormula(const char *argument, Options *options)
{
    if (options->formula)
        return false;
    options->formula = argument;
    return true;
}

// The usual convention: "--" ends the options, and an argument that is no
// known option is the formula, even when it starts with "--" ("--2;" is a
// valid formula).
static bool parseOptions(int argc, char **argv, Options *options)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; i++) {
        std::string argument = argv[i];
        bool hasValue = i + 1 < argc;
        if (optionsEnded) {
            if (!takeFormula(argv[i], options))
                return false;
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--soft") {
            options->soft = true;
        } else if ((argument == "--repeat" || argument == "--var") && !hasValue) {
            return false;
        } else if (argument == "--repeat") {
            char *end;
            options->repeat = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || options->repeat < 1)
                return false;
        } else if (argument == "--var") {
            options->assignments.push_back(argv[++i]);
        } else if (!takeFormula(argv[i], options)) {
            return false;
        }
    }
    return options->formula != nullptr;
}

// Non-finite values print the same on every platform: nan, inf, -inf.
static void printNumber(double value)
{
    if (std::isnan(value)) {
        std::printf("nan");
    } else if (std::isinf(value)) {
        std::printf(value > 0 ? "inf" : "-inf");
    } else {
        std::printf("%.17g", value);
    }
}

static void printVariable(const char *name, double value, void *)
{
    std::printf("%s = ", name);
    printNumber(value);
    std::printf("\n");
}

static bool setVariables(ValueTable *variables, const std::vector<std::string> &assignments)
{
    for (const std::string &assignment : assignments) {
        size_t equals = assignment.find('=');
        if (equals == std::string::npos)
            return false;
        std::string name = assignment.substr(0, equals);
        const char *text = assignment.c_str() + equals + 1;
        char *end;
        double value = std::strtod(text, &end);
        if (end == text || *end != '\0' || setValue(variables, name.c_str(), value))
            return false;
    }
    return true;
}

// Parses and evaluates; prints "result" or "error <code> <stage>".
static bool calculate(Expression *expression, const std::string &formula, long repeat)
{
    int code = parseExpression(expression, formula.c_str());
    if (code) {
        std::printf("error %d parse\n", code);
        return false;
    }
    double result = 0;
    for (long i = 0; i < repeat && !code; i++)
        code = evaluateExpression(expression, &result);
    if (code) {
        std::printf("error %d evaluate\n", code);
        return false;
    }
    std::printf("result ");
    printNumber(result);
    std::printf("\n");
    return true;
}

// The tables and expression the engine would build for one formula.
struct Formula {
    FunctionTable *functions = nullptr;
    ValueTable *variables = nullptr;
    ValueTable *constants = nullptr;
    Expression *expression = nullptr;
};

static int createFormula(Formula *formula)
{
    int code = createFunctionTable(&formula->functions);
    if (!code)
        code = addBuiltinFunctions(formula->functions);
    if (!code)
        code = createValueTable(&formula->variables);
    if (!code)
        code = createValueTable(&formula->constants);
    if (!code)
        code = addMathConstants(formula->constants);
    if (!code)
        code = createExpression(formula->functions, formula->variables, formula->constants, nullptr,
                                nullptr, nullptr, &formula->expression);
    return code;
}

static void destroyFormula(Formula *formula)
{
    destroyExpression(formula->expression);
    destroyValueTable(formula->constants);
    destroyValueTable(formula->variables);
    destroyFunctionTable(formula->functions);
}

// Exit codes: 0 success, 1 the formula failed, 2 bad usage.
static int run(const Options &options, Formula *formula)
{
    std::string text = options.formula;
    if (text == "-")
        text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    int code = createFormula(formula);
    if (code) {
        std::fprintf(stderr, "glimra-calc: cannot set up the formula tables (code %d)\n", code);
        return 1;
    }
    if (!setVariables(formula->variables, options.assignments)) {
        std::fputs("glimra-calc: --var needs NAME=VALUE with a valid name and a number\n", stderr);
        return 2;
    }
    setSoftErrors(formula->expression, options.soft);
    bool succeeded = calculate(formula->expression, text, options.repeat);
    visitValues(formula->variables, printVariable, nullptr);
    return succeeded ? 0 : 1;
}

int main(int argc, char **argv)
{
    Options options;
    if (!parseOptions(argc, argv, &options)) {
        std::fputs(usage, stderr);
        return 2;
    }
    Formula formula;
    int exitCode = run(options, &formula);
    destroyFormula(&formula);
    return exitCode;
}
