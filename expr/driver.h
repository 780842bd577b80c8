// The formula language bound to the engine: one driver per formula set of a
// section, the engine variables every formula sees, and formula placement.
#pragma once

#include "expr/expr.h"

// The engine variables, written by updateEngineVariables in this order.
enum EngineVariable {
    VAR_T,
    VAR_TEND,
    VAR_BEAT,
    VAR_FPS,
    VAR_CAM_EYE_X,
    VAR_CAM_EYE_Y,
    VAR_CAM_EYE_Z,
    VAR_CAM_TARGET_X,
    VAR_CAM_TARGET_Y,
    VAR_CAM_TARGET_Z,
    VAR_CAM_ANGLE_X,
    VAR_CAM_ANGLE_Y,
    VAR_CAM_ANGLE_Z,
    VAR_VP_WIDTH,
    VAR_VP_HEIGHT,
    VAR_RTT_WIDTH,
    VAR_RTT_HEIGHT,
    VAR_ASPECT_RATIO,
    ENGINE_VARIABLE_COUNT
};

// Allocated zeroed with its text set; never freed.
struct ExprDriver {
    char *text; // owned; blanks removed by initExpression
    FunctionTable *functions;
    ValueTable *variables;
    ValueTable *constants;
    Expression *expression;
    double result; // value of the last statement evaluated
    int lastError; // code of the last library call
    // Where the engine variables live in `variables`, found on the first
    // update so that later updates need no name lookups.
    double *engineValues[ENGINE_VARIABLE_COUNT];
};

// Builds the tables and parses the text, reporting each failure.
void initExpression(ExprDriver *driver);

// Writes the engine variables (section time, beat, camera, viewport) of the
// current section and frame into the driver's variable table.
void updateEngineVariables(ExprDriver *driver);

// Evaluates into driver->result; returns and keeps the code in lastError.
int evaluateDriver(ExprDriver *driver);

// The address of a variable of the driver, created at 0 if absent, so that
// per-element inputs and outputs need no lookup by name; null without a
// variable table.
double *driverVariable(ExprDriver *driver, const char *name);

// Formula placement: evaluates and multiplies the current matrix by the
// translation, rotations and scale the formula assigned (tx ... sz).
void place_object(ExprDriver *driver);

// Deletes every space (and no other blank) in place; returns how many.
int removeSpaces(char *text);

namespace evaluator {

// A driver over strings of the current section, for the class-based
// section code.
class Solver {
public:
    // Joins the strings with these indices, in order, up to the first -1.
    Solver(int s0, int s1 = -1, int s2 = -1, int s3 = -1, int s4 = -1, int s5 = -1, int s6 = -1,
           int s7 = -1);
    ~Solver();
    Solver(const Solver &) = delete;
    Solver &operator=(const Solver &) = delete;

    // Updates the engine variables and evaluates; false after reporting.
    bool evaluate();
    double value(const char *name) const;
    // Sets a variable the formula has; false (and nothing changes) otherwise.
    bool set(const char *name, double value);
    double result() const
    {
        return driver.result;
    }

private:
    ExprDriver driver = {};
};

} // namespace evaluator
