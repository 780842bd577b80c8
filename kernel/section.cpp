// Sections: lookups by name, the section list, splines of a section and the
// blend/alpha bracket section types draw inside.
#include "kernel/section.h"

#include <GL/gl.h>
#include <strings.h>

#include <cstdlib>

#include "graphics/spline.h"
#include "kernel/demo.h"
#include "kernel/log.h"

Section *currentSection;

static const SectionType *typesInUse = sectionTypes;

const SectionType &sectionType(int index)
{
    if (index < 0 || index >= SECTION_TYPE_COUNT) {
        engineError("Section type %d outside the registry of %d types", index, SECTION_TYPE_COUNT);
        abort();
    }
    return typesInUse[index];
}

void useSectionTypes(const SectionType *table)
{
    typesInUse = table ? table : sectionTypes;
}

static const NamedValue blendFactors[] = {
    {"ZERO", GL_ZERO},
    {"ONE", GL_ONE},
    {"DST_COLOR", GL_DST_COLOR},
    {"ONE_MINUS_DST_COLOR", GL_ONE_MINUS_DST_COLOR},
    {"SRC_ALPHA", GL_SRC_ALPHA},
    {"ONE_MINUS_SRC_ALPHA", GL_ONE_MINUS_SRC_ALPHA},
    {"DST_ALPHA", GL_DST_ALPHA},
    {"ONE_MINUS_DST_ALPHA", GL_ONE_MINUS_DST_ALPHA},
    {"CONSTANT_COLOR", GL_CONSTANT_COLOR},
    {"ONE_MINUS_CONSTANT_COLOR", GL_ONE_MINUS_CONSTANT_COLOR},
    {"CONSTANT_ALPHA", GL_CONSTANT_ALPHA},
    {"ONE_MINUS_CONSTANT_ALPHA", GL_ONE_MINUS_CONSTANT_ALPHA},
    {"SRC_ALPHA_SATURATE", GL_SRC_ALPHA_SATURATE},
    {"SRC_COLOR", GL_SRC_COLOR},
    {"ONE_MINUS_SRC_COLOR", GL_ONE_MINUS_SRC_COLOR},
};

static const NamedValue alphaFunctions[] = {
    {"NEVER", GL_NEVER},     {"LESS", GL_LESS},         {"EQUAL", GL_EQUAL},
    {"LEQUAL", GL_LEQUAL},   {"GREATER", GL_GREATER},   {"NOTEQUAL", GL_NOTEQUAL},
    {"GEQUAL", GL_GEQUAL},   {"ALWAYS", GL_ALWAYS},
};

template <size_t N>
static int32_t findIn(const NamedValue (&table)[N], const char *name)
{
    return findNamedValue(table, N, name);
}

int32_t findNamedValue(const NamedValue *table, size_t count, const char *name)
{
    for (size_t i = 0; i < count; i++) {
        if (strcasecmp(table[i].name, name) == 0)
            return table[i].value;
    }
    return -1;
}

int32_t findBlendFactor(const char *name)
{
    return findIn(blendFactors, name);
}

int32_t findAlphaFunc(const char *name)
{
    return findIn(alphaFunctions, name);
}

int32_t findSectionType(const char *name)
{
    for (int32_t i = 0; i < SECTION_TYPE_COUNT; i++) {
        if (strcasecmp(sectionTypes[i].name, name) == 0)
            return i;
    }
    return -1;
}

bool sectionHasType(const Section *section)
{
    return section->typeIndex >= 0 && section->typeIndex < SECTION_TYPE_COUNT;
}

const char *sectionTypeName(const Section *section)
{
    return sectionHasType(section) ? sectionTypes[section->typeIndex].name : "unknown";
}

void callOperation(Section *section, SectionOperation SectionType::*operation)
{
    if (!sectionHasType(section))
        return;
    currentSection = section;
    (sectionType(section->typeIndex).*operation)();
}

// ---------------------------------------------------------------------------
// The section list

Section *newSection()
{
    Section *section = static_cast<Section *>(calloc(1, sizeof(Section)));
    if (!section) {
        engineError("Out of memory for a new section");
        abort();
    }
    section->enabled = 1;
    return section;
}

void linkSection(Section *section)
{
    section->prev = nullptr;
    section->next = demoSystem.sectionList;
    if (section->next)
        section->next->prev = section;
    demoSystem.sectionList = section;
}

void unlinkSection(Section *section)
{
    if (section->prev)
        section->prev->next = section->next;
    else if (demoSystem.sectionList == section)
        demoSystem.sectionList = section->next;
    if (section->next)
        section->next->prev = section->prev;
    section->next = section->prev = nullptr;
}

void freeSection(Section *section)
{
    for (int i = 0; i < section->stringNum; i++)
        free(section->strings[i]);
    for (int i = 0; i < section->splineNum; i++) {
        spline_free(section->splines[i]);
        free(section->splineFiles[i]);
    }
    freeSectionVars(section);
    free(section);
}

void freeAllSections()
{
    while (Section *section = demoSystem.sectionList) {
        unlinkSection(section);
        freeSection(section);
    }
}

// ---------------------------------------------------------------------------
// Splines

void setupSplines(Section *section)
{
    for (int i = 0; i < section->splineNum; i++) {
        Spline *spline = spline_load(section->splineFiles[i]);
        if (!spline)
            return;
        spline_set_duration(spline, section->splineDurations[i]);
        spline_free(section->splines[i]);
        section->splines[i] = spline;
    }
}

void sectionSpline(int index, float time, float *result)
{
    const Section *section = currentSection;
    if (index < 0 || index >= section->splineNum || !section->splines[index]) {
        engineError("Spline not found for section %s", section->identifier);
        return;
    }
    spline_evaluate(section->splines[index], time, result);
}

// ---------------------------------------------------------------------------
// Blending and alpha test

void blendAlphaBegin(const Section *section)
{
    if (section->blendEnabled) {
        glBlendFunc(section->sfactor, section->dfactor);
        glEnable(GL_BLEND);
    }
    if (section->alphaEnabled) {
        float reference = section->alpha1 +
                          (section->alpha2 - section->alpha1) / section->duration * section->elapsed;
        glAlphaFunc(section->alphaFunc, reference);
        glEnable(GL_ALPHA_TEST);
    }
}

void blendAlphaEnd(const Section *section)
{
    if (section->alphaEnabled)
        glDisable(GL_ALPHA_TEST);
    if (section->blendEnabled)
        glDisable(GL_BLEND);
}
