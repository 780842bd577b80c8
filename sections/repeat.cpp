// efxRepeat: builds its inner section from its own inputs at load and
// drives the inner type's operations itself, as the kernel would, with
// currentSection on the inner section. The inner section is in no list or
// queue of the kernel.
#include "sections/repeat.h"

#include <cmath>
#include <cstring>

#include "kernel/demo.h"
#include "kernel/log.h"
#include "kernel/section.h"
#include "sections/section_vars.h"

// The inputs of the outer section that do not go to the inner one.
enum { REPEAT_PERIOD, REPEAT_DURATION, REPEAT_OFFSET, REPEAT_PARAMS };
enum { REPEAT_TYPE_NAME, REPEAT_STRINGS };

struct RepeatVars {
    Section inner;
    float windowEnd;           // demo seconds: the current run stops drawing after it
    float entryElapsed;        // the outer elapsed when the current run started
    int running;               // 1 while a run is in progress
};

// The outer section's splines as the inner one sees them. They are looked
// up again before every call, since the editor may load the outer
// section's splines anew when it moves its window.
static void shareSplines(Section *inner, const Section *outer)
{
    inner->splineNum = outer->splineNum;
    memcpy(inner->splines, outer->splines, sizeof(inner->splines));
    memcpy(inner->splineFiles, outer->splineFiles, sizeof(inner->splineFiles));
    memcpy(inner->splineDurations, outer->splineDurations, sizeof(inner->splineDurations));
}

// The inner section of the current (outer) section, ready for a call of
// its operations; null when the outer section's load failed.
static Section *currentInner()
{
    RepeatVars *vars = static_cast<RepeatVars *>(currentSection->vars);
    if (!vars)
        return nullptr;
    shareSplines(&vars->inner, currentSection);
    return &vars->inner;
}

// Fills the inner section from the outer one: its type, window and time
// from the first params and string, the outer drawing settings, the rest
// of the params and strings shifted down. The strings are the outer
// section's own, not copies: only the outer section frees them.
static void buildInner(Section *inner, const Section *outer, int typeIndex)
{
    inner->typeIndex = typeIndex;
    inner->startTime = outer->startTime;
    inner->duration = outer->param[REPEAT_DURATION];
    inner->endTime = inner->startTime + inner->duration;
    inner->layer = outer->layer;
    inner->blendEnabled = outer->blendEnabled;
    inner->sfactor = outer->sfactor;
    inner->dfactor = outer->dfactor;
    inner->alphaEnabled = outer->alphaEnabled;
    inner->alphaFunc = outer->alphaFunc;
    inner->alpha1 = outer->alpha1;
    inner->alpha2 = outer->alpha2;
    inner->elapsed = outer->param[REPEAT_OFFSET];
    inner->paramNum = outer->paramNum - REPEAT_PARAMS;
    memcpy(inner->param, outer->param + REPEAT_PARAMS, inner->paramNum * sizeof(float));
    inner->stringNum = outer->stringNum - REPEAT_STRINGS;
    memcpy(inner->strings, outer->strings + REPEAT_STRINGS, inner->stringNum * sizeof(char *));
    shareSplines(inner, outer);
}

void efxRepeatLoad()
{
    const Section *outer = currentSection;
    if (outer->paramNum < REPEAT_PARAMS) {
        sectionError("%d float(s) needed", REPEAT_PARAMS);
        return;
    }
    if (outer->stringNum < REPEAT_STRINGS) {
        sectionError("%d string(s) needed", REPEAT_STRINGS);
        return;
    }
    const int typeIndex = findSectionType(outer->strings[REPEAT_TYPE_NAME]);
    if (typeIndex < 0) {
        sectionError("unknown section '%s'", outer->strings[REPEAT_TYPE_NAME]);
        return;
    }
    RepeatVars *vars = newSectionVars<RepeatVars>();
    buildInner(&vars->inner, outer, typeIndex);
    // The inner type's preload is not run: the loading sequence ran every
    // type's already.
    callOperation(&vars->inner, &SectionType::load);
}

// The start of the first whole inner duration, from `start` on in steps of
// `duration`, that has not ended by `now`. The steps are counted rather
// than added one by one: a duration of 0 would never get there, and small
// steps on a large start stop changing it in float.
static float firstUnfinishedStart(float start, float duration, float now)
{
    if (!(duration > 0.0f) || !(now >= start + duration))
        return start;
    double steps = std::floor((static_cast<double>(now) - start) / duration);
    float aligned = static_cast<float>(start + steps * duration);
    // Rounding may leave the last whole duration not yet passed.
    if (now >= aligned + duration)
        aligned = static_cast<float>(start + (steps + 1) * duration);
    return aligned;
}

// Each start of the outer section realigns the runs to its own start.
void efxRepeatInit()
{
    Section *outer = currentSection;
    Section *inner = currentInner();
    if (!inner)
        return;
    RepeatVars *vars = static_cast<RepeatVars *>(outer->vars);
    inner->startTime = firstUnfinishedStart(outer->startTime, inner->duration,
                                            demoSystem.currentTime);
    inner->endTime = inner->startTime + inner->duration;
    vars->running = 0;
    vars->entryElapsed = 0.0f;
}

// Waiting: a run starts once its start time is reached, with the inner
// time at the offset. Running: the inner time follows the outer one, and
// the run draws until its window ends; the next run starts one period after
// this one did. The inner end operation is not run between runs.
void efxRepeatExec()
{
    Section *outer = currentSection;
    Section *inner = currentInner();
    if (!inner)
        return;
    RepeatVars *vars = static_cast<RepeatVars *>(outer->vars);
    const float now = demoSystem.currentTime;
    const float period = outer->param[REPEAT_PERIOD], offset = outer->param[REPEAT_OFFSET];
    if (!vars->running && now >= inner->startTime) {
        inner->elapsed = offset;
        callOperation(inner, &SectionType::init);
        vars->windowEnd = period < outer->param[REPEAT_DURATION] ? inner->startTime + period
                                                                  : inner->endTime;
        vars->entryElapsed = outer->elapsed;
        vars->running = 1;
    }
    if (!vars->running)
        return;
    inner->elapsed = offset + outer->elapsed - vars->entryElapsed;
    if (now <= vars->windowEnd) {
        callOperation(inner, &SectionType::exec);
        return;
    }
    inner->startTime += period;
    inner->endTime = inner->startTime + inner->duration;
    vars->running = 0;
}

void efxRepeatEnd()
{
    if (Section *inner = currentInner())
        callOperation(inner, &SectionType::end);
}

void efxRepeatFreeInner(Section *outer)
{
    if (RepeatVars *vars = static_cast<RepeatVars *>(outer->vars))
        freeSectionVars(&vars->inner);
}
