// efxRepeat: another section type run over and over inside one section's
// window. Every period a fresh run of a private inner section starts, plays
// for the inner duration (or until the next period, when that comes first)
// and then waits for the next start.
//
// Script inputs: params [0] period, [1] inner duration, [2] the inner time
// each run starts at (seconds), then the inner section's params; strings
// [0] the inner type's name, then the inner section's strings. The inner
// section shares the outer one's splines, layer, blend and alpha settings.
#pragma once

struct Section;

// Section operations; preload has nothing to do.
void efxRepeatLoad();
void efxRepeatInit();
void efxRepeatExec();
void efxRepeatEnd();

// Frees the private data of the inner section of an efxRepeat section,
// leaving the inputs it shares with the outer one alone.
void efxRepeatFreeInner(Section *outer);
