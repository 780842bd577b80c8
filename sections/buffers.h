// Buffer and shader sections: copy the frame into one of the ten capture
// buffers and draw one back, redirect drawing into a framebuffer object and
// draw its texture, and run the sections after a glslshaderbind through a
// GLSL program whose uniforms follow formulas and textures every frame.
// All of them work in layer order, so a script brackets other sections
// with them: bind at a lower layer, unbind at a higher one.
#pragma once

#include <cstdint>

// Uniforms of one kind a glslshaderbind section keeps: entries 0 to
// MAX_SHADER_VARS - 1 take the strings in order, and every string of that
// kind after them replaces the last slot, MAX_SHADER_VARS.
enum { MAX_SHADER_VARS = 127, SHADER_VAR_SLOTS = MAX_SHADER_VARS + 1 };

// The slot the next string of a list whose count is `*count` takes, with
// the count after it; from the one after MAX_SHADER_VARS on, reports the
// limit (sectionError) and gives the last slot, the count staying at
// SHADER_VAR_SLOTS.
int shader_var_slot(int32_t *count);

// Section operations; preload, init and end have nothing to do.
void saveBufferLoad();
void saveBufferExec();
void renderBufferLoad();
void renderBufferExec();
void fbobindLoad();
void fbobindExec();
void fbounbindLoad();
void fbounbindExec();
void renderFboLoad();
void renderFboExec();
void glslshaderbindLoad();
void glslshaderbindExec();
void glslshaderunbindExec();
