// Private data and formula drivers of section types.
#include "sections/section_vars.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "graphics/fbo.h"
#include "kernel/log.h"

void *allocateSectionVars(size_t size)
{
    void *vars = calloc(1, size);
    if (!vars) {
        engineError("Out of memory for the data of a section");
        abort();
    }
    currentSection->vars = vars;
    return vars;
}

bool requireCount(int count, int needed, const char *message)
{
    if (count == needed)
        return true;
    sectionError("%s", message);
    return false;
}

void initSectionFormula(ExprDriver *driver, int first, int count)
{
    const Section *section = currentSection;
    size_t length = 1;
    for (int i = first; i < first + count; i++)
        length += strlen(section->strings[i]);
    driver->text = static_cast<char *>(calloc(1, length));
    if (!driver->text) {
        engineError("Out of memory for a formula");
        abort();
    }
    for (int i = first; i < first + count; i++)
        strcat(driver->text, section->strings[i]);
    initExpression(driver);
}

double formulaValue(const ExprDriver *driver, const char *name, double fallback)
{
    double value = fallback;
    if (driver->variables)
        getValue(driver->variables, name, &value);
    return value;
}

int wholeUnits(double value)
{
    if (value != value)
        return 0;
    return static_cast<int>(std::clamp(value, static_cast<double>(INT_MIN),
                                       static_cast<double>(INT_MAX)));
}

bool checkCaptureBuffer(float number)
{
    if (number > -1.0f && number < RTT_BUFFER_COUNT)
        return true;
    sectionError("Invalid capture buffer %g: the buffers are 0 to %d", number, RTT_BUFFER_COUNT - 1);
    return false;
}

int captureBuffer(float number)
{
    return checkCaptureBuffer(number) ? fbos.rttBuffer[static_cast<int>(number)] : -1;
}
