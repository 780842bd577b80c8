// Nanoseconds per evaluation of the formulas the engine runs most, each
// measured against muparser evaluating the same arithmetic in the same run.
// Before measuring, both must agree on every output.

#include <benchmark/benchmark.h>
#include <muParser.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench/expr/particle_formula.h"
#include "expr/expr.h"

struct BenchFormula {
    const char *name;
    const char *formula;  // our language
    const char *muparser; // the same arithmetic in muparser's
    std::vector<const char *> inputs;
    std::vector<const char *> outputs;
};

static const BenchFormula benchFormulas[] = {
    {"short", "red = abs(sin(t*2));", "red = abs(sin(t*2))", {"t"}, {"red"}},
    {"placement",
     "tx = sin(t*0.7)*3; ty = cos(t*0.5)*2; tz = -10 + sin(t*0.3);"
     "rx = t*20; ry = t*35; rz = sin(t)*15;"
     "sx = 1 + 0.2*sin(t*4); sy = sx; sz = sx;",
     "tx = sin(t*0.7)*3, ty = cos(t*0.5)*2, tz = -10 + sin(t*0.3),"
     "rx = t*20, ry = t*35, rz = sin(t)*15,"
     "sx = 1 + 0.2*sin(t*4), sy = sx, sz = sx",
     {"t"},
     {"tx", "ty", "tz", "rx", "ry", "rz", "sx", "sy", "sz"}},
    {"particle", PARTICLE_FORMULA,
     "red = clip(r0 + age*0.5, 0, 1), green = clip(g0 - age*0.25, 0, 1),"
     "blue = clip(b0 + sin(age*3 + n)*0.2, 0, 1),"
     "alpha = age < 1 ? age : 0.5^(age - 1),"
     "x = px + sin(age*3 + n)*0.5, y = py + age*2 - age^2*0.5,"
     "z = pz + cos(age*3 + n)*0.5,"
     "rx = age*90, ry = n*10, rz = age*45 + n,"
     "size = clip(1 + age*0.5, 0.5, 2), life = 1 - age/4",
     {"age", "n", "px", "py", "pz", "r0", "g0", "b0"},
     {"red", "green", "blue", "alpha", "x", "y", "z", "rx", "ry", "rz", "size", "life"}},
    {"grid",
     "u = x + sin(y*8 + t*2)*0.02*(1 - r); v = y + cos(x*8 + t*3)*0.02*(1 - r);",
     "u = x + sin(y*8 + t*2)*0.02*(1 - r), v = y + cos(x*8 + t*3)*0.02*(1 - r)",
     {"x", "y", "r", "p", "t"},
     {"u", "v"}},
};

// The input value of evaluation i: a 41 x 41 grid of vertices for x and y,
// a slowly running clock for t and age, a fixed value for the rest.
static double inputValue(const std::string &name, long i)
{
    if (name == "x")
        return (i % 41) / 20.0 - 1;
    if (name == "y")
        return (i / 41 % 41) / 20.0 - 1;
    if (name == "t" || name == "age")
        return i * 0.001;
    return 0.25;
}

// Input rows computed ahead, so that the timed loop only copies numbers.
enum { INPUT_ROWS = 4096 };

struct InputRows {
    std::vector<double> values; // INPUT_ROWS rows of one value per input
    size_t width;

    explicit InputRows(const BenchFormula &bench) : width(bench.inputs.size())
    {
        for (long i = 0; i < INPUT_ROWS; i++) {
            for (const char *name : bench.inputs)
                values.push_back(inputValue(name, i));
        }
    }
    void apply(const std::vector<double *> &inputs, long i) const
    {
        const double *row = &values[(i % INPUT_ROWS) * width];
        for (size_t k = 0; k < width; k++)
            *inputs[k] = row[k];
    }
};

static double clipValue(double v, double low, double high)
{
    return v < low ? low : v > high ? high : v;
}

// One formula bound in our library: the tables and the input addresses.
struct OurFormula {
    FunctionTable *functions = nullptr;
    ValueTable *variables = nullptr;
    ValueTable *constants = nullptr;
    Expression *expression = nullptr;
    std::vector<double *> inputs;

    explicit OurFormula(const BenchFormula &bench)
    {
        createFunctionTable(&functions);
        addBuiltinFunctions(functions);
        createValueTable(&variables);
        createValueTable(&constants);
        addMathConstants(constants);
        createExpression(functions, variables, constants, nullptr, nullptr, nullptr, &expression);
        // The host writes its inputs whether or not the formula reads them.
        for (const char *name : bench.inputs)
            setValue(variables, name, 0);
        if (parseExpression(expression, bench.formula) != 0) {
            std::fprintf(stderr, "%s does not parse\n", bench.name);
            std::exit(1);
        }
        for (const char *name : bench.inputs) {
            double *address = nullptr;
            getValueAddress(variables, name, &address);
            inputs.push_back(address);
        }
    }
    ~OurFormula()
    {
        destroyExpression(expression);
        destroyValueTable(constants);
        destroyValueTable(variables);
        destroyFunctionTable(functions);
    }
    double output(const char *name) const
    {
        double value = NAN;
        getValue(variables, name, &value);
        return value;
    }
};

// The same formula in muparser, over variables it reads by address.
struct MuFormula {
    mu::Parser parser;
    std::map<std::string, double> storage; // map nodes keep their addresses
    std::vector<double *> inputs;

    explicit MuFormula(const BenchFormula &bench)
    {
        parser.DefineFun("clip", clipValue);
        for (const auto *names : {&bench.inputs, &bench.outputs}) {
            for (const char *name : *names)
                parser.DefineVar(name, &storage[name]);
        }
        for (const char *name : bench.inputs)
            inputs.push_back(&storage[name]);
        parser.SetExpr(bench.muparser);
    }
};

static void benchOurs(benchmark::State &state, const BenchFormula *bench)
{
    OurFormula formula(*bench);
    InputRows rows(*bench);
    long i = 0;
    double result = 0;
    for (auto _ : state) {
        rows.apply(formula.inputs, i++);
        if (evaluateExpression(formula.expression, &result) != 0)
            state.SkipWithError("evaluation failed");
        benchmark::DoNotOptimize(result);
    }
}

static void benchMuparser(benchmark::State &state, const BenchFormula *bench)
{
    MuFormula formula(*bench);
    InputRows rows(*bench);
    long i = 0;
    for (auto _ : state) {
        rows.apply(formula.inputs, i++);
        double result = formula.parser.Eval();
        benchmark::DoNotOptimize(result);
    }
}

// Both libraries must compute the same outputs, or the comparison is void.
static bool outputsAgree(const BenchFormula &bench)
{
    OurFormula ours(bench);
    MuFormula theirs(bench);
    InputRows rows(bench);
    for (long i = 0; i < INPUT_ROWS; i += 7) {
        rows.apply(ours.inputs, i);
        rows.apply(theirs.inputs, i);
        double result;
        evaluateExpression(ours.expression, &result);
        theirs.parser.Eval();
        for (const char *name : bench.outputs) {
            double difference = std::fabs(ours.output(name) - theirs.storage[name]);
            if (!(difference <= 1e-12)) {
                std::fprintf(stderr, "%s: %s differs at evaluation %ld\n", bench.name, name, i);
                return false;
            }
        }
    }
    return true;
}

int main(int argc, char **argv)
{
    for (const BenchFormula &bench : benchFormulas) {
        if (!outputsAgree(bench))
            return 1;
        benchmark::RegisterBenchmark((std::string("glimra/") + bench.name).c_str(), benchOurs,
                                     &bench);
        benchmark::RegisterBenchmark((std::string("muparser/") + bench.name).c_str(), benchMuparser,
                                     &bench);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
