// GLSL programs loaded from a vertex and a fragment shader file, compiled
// and linked once, then bound by index.
#pragma once

#include <cstdint>

enum { MAX_GLSL_SHADERS = 256 };

struct GlslShader {
    char *vertexFile;          // owned paths
    char *vertexSource;        // owned, zero-terminated
    int32_t vertexLength;      // bytes without the terminator
    char *fragmentFile;
    char *fragmentSource;
    int32_t fragmentLength;
    int32_t program;           // GL program; -1 until linked
    int32_t vertexShader, fragmentShader; // GL shaders; -1 until created
};

// Entries are appended and never deleted. The program cache is written by
// glslshad_bind, glslshad_forget and a successful glslshad_upload.
struct GlslTable {
    GlslShader *entries[MAX_GLSL_SHADERS];
    int32_t count;
    int32_t currentProgram;    // made current by glslshad_bind; -1 unknown
};

extern GlslTable glslShaders;

// The shader at `index`, or null when there is none.
GlslShader *glslshad_get(int index);

// A new empty entry; -1 when the table is full.
int glslshad_init();

// Reads both files into a new entry (while loading, the entry of the same
// pair of files in any letter case is shared). -1 when a file is missing.
int glslshad_load(const char *vertexPath, const char *fragmentPath);

// Compiles and links; compile and link errors are reported with their logs.
void glslshad_upload(int index);

// Makes the entry's program current (the fixed-function pipeline for an
// entry whose program did not link).
void glslshad_bind(int index);
void glslshad_forget();
int glslshad_current();

// The uniform's location, or -1 (with a trace when the program lacks it).
int glslshad_uniform(int index, const char *name);
