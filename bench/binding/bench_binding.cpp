// What a section pays per frame to refresh the engine variables of a
// driver, and per grid vertex to set inputs, evaluate and read outputs,
// with inputs bound once by address against inputs set by name.
#include <benchmark/benchmark.h>

#include <cstring>

#include "expr/driver.h"
#include "kernel/section.h"
#include "platform/platform.h"

static void quiet(PlatformChannel, const char *) {}

static ExprDriver *gridDriver()
{
    static Section section = {};
    platformSetTap(quiet);
    currentSection = &section;
    ExprDriver *driver = new ExprDriver();
    driver->text = strdup("u = x + 0.02 * sin(r * 10 - t * 3); v = y + 0.02 * cos(p + t);");
    initExpression(driver);
    return driver;
}

static void BM_UpdateEngineVariables(benchmark::State &state)
{
    ExprDriver *driver = gridDriver();
    for (auto _ : state) {
        updateEngineVariables(driver);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_UpdateEngineVariables);

static void BM_GridVertexBoundInputs(benchmark::State &state)
{
    ExprDriver *driver = gridDriver();
    updateEngineVariables(driver);
    double *x = driverVariable(driver, "x"), *y = driverVariable(driver, "y");
    double *r = driverVariable(driver, "r"), *p = driverVariable(driver, "p");
    double *u = driverVariable(driver, "u"), *v = driverVariable(driver, "v");
    double sum = 0;
    for (auto _ : state) {
        *x = 0.5, *y = 0.25, *r = 0.3, *p = 1.2;
        evaluateDriver(driver);
        sum += *u + *v;
    }
    benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_GridVertexBoundInputs);

static void BM_GridVertexInputsByName(benchmark::State &state)
{
    ExprDriver *driver = gridDriver();
    updateEngineVariables(driver);
    double sum = 0, u = 0, v = 0;
    for (auto _ : state) {
        setValue(driver->variables, "x", 0.5);
        setValue(driver->variables, "y", 0.25);
        setValue(driver->variables, "r", 0.3);
        setValue(driver->variables, "p", 1.2);
        evaluateDriver(driver);
        getValue(driver->variables, "u", &u);
        getValue(driver->variables, "v", &v);
        sum += u + v;
    }
    benchmark::DoNotOptimize(sum);
}
BENCHMARK(BM_GridVertexInputsByName);

BENCHMARK_MAIN();
