// The few vector operations the engine's own code needs; projection, view
// and model matrices stay with the GL matrix stacks.
#pragma once

struct Vector3 {
    float x, y, z;
};

// `out` may be an operand in every operation.
void vec_add(const Vector3 *a, const Vector3 *b, Vector3 *out);
// out = b - a: the second operand minus the first.
void vec_sub(const Vector3 *a, const Vector3 *b, Vector3 *out);
void vec_scale(const Vector3 *a, float s, Vector3 *out);
float vec_length(const Vector3 *a);
// In place; a zero vector becomes non-finite.
void vec_normalize(Vector3 *a);
// In place, by a column-major 4 x 4 matrix as glGetFloatv returns it.
void vec_transform(Vector3 *p, const float *m);
