// The engine side of formulas: building drivers, feeding them the engine
// variables and placing objects with what they compute.
#include "expr/driver.h"

#include <GL/gl.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "graphics/camera.h"
#include "graphics/video.h"
#include "kernel/demo.h"
#include "kernel/log.h"
#include "kernel/section.h"

static const char *const engineVariableNames[ENGINE_VARIABLE_COUNT] = {
    "t",           "tend",         "beat",         "fps",          "cam_eye_x",   "cam_eye_y",
    "cam_eye_z",   "cam_target_x", "cam_target_y", "cam_target_z", "cam_angle_x", "cam_angle_y",
    "cam_angle_z", "vpWidth",      "vpHeight",     "rttWidth",     "rttHeight",   "aspectRatio",
};

int removeSpaces(char *text)
{
    char *to = text;
    int removed = 0;
    for (const char *from = text; *from; from++) {
        if (*from == ' ')
            removed++;
        else
            *to++ = *from;
    }
    *to = '\0';
    return removed;
}

// Forgets whatever a failed step destroyed, so the driver never points at a
// table or expression that no longer exists.
static void dropTables(ExprDriver *driver)
{
    destroyValueTable(driver->constants);
    destroyValueTable(driver->variables);
    destroyFunctionTable(driver->functions);
    driver->constants = nullptr;
    driver->variables = nullptr;
    driver->functions = nullptr;
}

void initExpression(ExprDriver *driver)
{
    int removed = removeSpaces(driver->text);
    engineTrace("exprevaldriver: initExpression: [%s] (%d spaces removed)", driver->text, removed);

    int &code = driver->lastError;
    if ((code = createFunctionTable(&driver->functions)) != EXPR_OK) {
        engineError("Function List Creation Error %d\n", code);
        return;
    }
    if ((code = addBuiltinFunctions(driver->functions)) != EXPR_OK) {
        engineError("Function List Initialization Error %d\n", code);
        engineError("Some internal functions may not be usable\n");
    }
    if ((code = createValueTable(&driver->variables)) != EXPR_OK) {
        engineError("Variable List Creation Error %d\n", code);
        dropTables(driver);
        return;
    }
    if ((code = createValueTable(&driver->constants)) != EXPR_OK) {
        engineError("Constant List Creation Error %d\n", code);
        dropTables(driver);
        return;
    }
    if ((code = addMathConstants(driver->constants)) != EXPR_OK) {
        engineError("Constant List Initialization Error %d\n", code);
        engineError("Some internal constants may not be usable\n");
    }
    if ((code = createExpression(driver->functions, driver->variables, driver->constants, nullptr,
                                 nullptr, nullptr, &driver->expression)) != EXPR_OK) {
        engineError("Expression Object Creation Error %d\n", code);
        driver->expression = nullptr;
        dropTables(driver);
        return;
    }
    if ((code = parseExpression(driver->expression, driver->text)) != EXPR_OK) {
        engineError("Expression Parse Error %d\n", code);
        destroyExpression(driver->expression);
        driver->expression = nullptr;
    }
}

double *driverVariable(ExprDriver *driver, const char *name)
{
    double *address = nullptr;
    if (!driver->variables)
        return nullptr;
    if (getValueAddress(driver->variables, name, &address) != EXPR_OK) {
        setValue(driver->variables, name, 0.0);
        getValueAddress(driver->variables, name, &address);
    }
    return address;
}

static void bindEngineVariables(ExprDriver *driver)
{
    for (int i = 0; i < ENGINE_VARIABLE_COUNT; i++)
        driver->engineValues[i] = driverVariable(driver, engineVariableNames[i]);
}

void updateEngineVariables(ExprDriver *driver)
{
    if (!driver->variables)
        return;
    if (!driver->engineValues[0])
        bindEngineVariables(driver);

    double values[ENGINE_VARIABLE_COUNT] = {};
    const Section *section = currentSection;
    values[VAR_T] = section ? section->elapsed : 0.0f;
    values[VAR_TEND] = section ? section->duration : 0.0f;
    values[VAR_BEAT] = demoSystem.beat;
    values[VAR_FPS] = demoSystem.fpsValue;
    if (const Camera *camera = demoSystem.currentCamera) {
        values[VAR_CAM_EYE_X] = camera->position.x;
        values[VAR_CAM_EYE_Y] = camera->position.y;
        values[VAR_CAM_EYE_Z] = camera->position.z;
        values[VAR_CAM_TARGET_X] = camera->target.x;
        values[VAR_CAM_TARGET_Y] = camera->target.y;
        values[VAR_CAM_TARGET_Z] = camera->target.z;
        values[VAR_CAM_ANGLE_X] = camera->angles.x;
        values[VAR_CAM_ANGLE_Y] = camera->angles.y;
        values[VAR_CAM_ANGLE_Z] = camera->angles.z;
    } else {
        values[VAR_CAM_TARGET_Z] = 100.0;
    }
    values[VAR_VP_WIDTH] = glConfig.vpWidth;
    values[VAR_VP_HEIGHT] = glConfig.vpHeight;
    values[VAR_RTT_WIDTH] = glConfig.gl_rttWidth;
    values[VAR_RTT_HEIGHT] = glConfig.gl_rttHeight;
    values[VAR_ASPECT_RATIO] = glConfig.aspectRatio;
    for (int i = 0; i < ENGINE_VARIABLE_COUNT; i++)
        *driver->engineValues[i] = values[i];
}

int evaluateDriver(ExprDriver *driver)
{
    driver->lastError = evaluateExpression(driver->expression, &driver->result);
    return driver->lastError;
}

// A placement output the formula never assigned keeps this value.
static double outputOr(const ExprDriver *driver, const char *name, double fallback)
{
    double value = fallback;
    if (driver->variables)
        getValue(driver->variables, name, &value);
    return value;
}

void place_object(ExprDriver *driver)
{
    updateEngineVariables(driver);
    int code = evaluateDriver(driver);
    if (code != EXPR_OK)
        sectionError("place_object: Expression evaluation Error (%d): %s", code, driver->text);
    glTranslated(outputOr(driver, "tx", 0), outputOr(driver, "ty", 0), outputOr(driver, "tz", 0));
    glRotated(outputOr(driver, "rx", 0), 1, 0, 0);
    glRotated(outputOr(driver, "ry", 0), 0, 1, 0);
    glRotated(outputOr(driver, "rz", 0), 0, 0, 1);
    glScaled(outputOr(driver, "sx", 1), outputOr(driver, "sy", 1), outputOr(driver, "sz", 1));
}

namespace evaluator {

Solver::Solver(int s0, int s1, int s2, int s3, int s4, int s5, int s6, int s7)
{
    const int indices[] = {s0, s1, s2, s3, s4, s5, s6, s7};
    const Section *section = currentSection;
    std::string text;
    for (int index : indices) {
        if (index < 0)
            break;
        // An index past the section's strings adds nothing rather than
        // reading outside the table.
        if (section && index < section->stringNum)
            text += section->strings[index];
    }
    driver.text = strdup(text.c_str());
    initExpression(&driver);
}

Solver::~Solver()
{
    destroyExpression(driver.expression);
    dropTables(&driver);
    free(driver.text);
}

bool Solver::evaluate()
{
    updateEngineVariables(&driver);
    int code = evaluateDriver(&driver);
    if (code != EXPR_OK) {
        sectionError("Error #%d in evaluator::Solver : '%s'", code, driver.text);
        return false;
    }
    return true;
}

double Solver::value(const char *name) const
{
    double value = 0.0;
    if (driver.variables)
        getValue(driver.variables, name, &value);
    return value;
}

bool Solver::set(const char *name, double value)
{
    double *address = nullptr;
    if (!driver.variables || getValueAddress(driver.variables, name, &address) != EXPR_OK)
        return false;
    *address = value;
    return true;
}

} // namespace evaluator
