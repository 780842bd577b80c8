// Helpers the section types share: their private data and their formulas.
#pragma once

#include <cstdlib>

#include "expr/driver.h"
#include "kernel/section.h"

// Zero-filled memory for currentSection's private data, which the kernel
// frees with the section; an exhausted heap ends the program.
void *allocateSectionVars(size_t size);

template <typename Vars>
Vars *newSectionVars()
{
    return static_cast<Vars *>(allocateSectionVars(sizeof(Vars)));
}

// Reports `message` with sectionError unless `count` equals `needed`.
bool requireCount(int count, int needed, const char *message);

// A driver over `count` strings of currentSection from `first`, joined
// without separators and parsed; reports as initExpression does.
void initSectionFormula(ExprDriver *driver, int first, int count);

// The value the formula assigned to `name`, or `fallback` when it never
// names it.
double formulaValue(const ExprDriver *driver, const char *name, double fallback);

// A number in whole units, truncated toward zero (a size from a formula, a
// count from a param); values no int holds are clamped and NaN gives 0, so
// the conversion stays defined.
int wholeUnits(double value);

// Whether `number`, truncated toward zero, selects one of the ten capture
// buffers; reports the number otherwise.
bool checkCaptureBuffer(float number);

// The texture of capture buffer `number`, or -1 after checkCaptureBuffer
// reported it.
int captureBuffer(float number);
