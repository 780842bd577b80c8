// Vector operations. Expressions of several terms are computed in double
// precision and rounded to float once, on store.
#include "graphics/math.h"

#include <cmath>

void vec_add(const Vector3 *a, const Vector3 *b, Vector3 *out)
{
    *out = {a->x + b->x, a->y + b->y, a->z + b->z};
}

void vec_sub(const Vector3 *a, const Vector3 *b, Vector3 *out)
{
    *out = {b->x - a->x, b->y - a->y, b->z - a->z};
}

void vec_scale(const Vector3 *a, float s, Vector3 *out)
{
    *out = {a->x * s, a->y * s, a->z * s};
}

float vec_length(const Vector3 *a)
{
    double x = a->x, y = a->y, z = a->z;
    return static_cast<float>(sqrt(x * x + y * y + z * z));
}

void vec_normalize(Vector3 *a)
{
    double inverse = 1.0 / vec_length(a);
    *a = {static_cast<float>(a->x * inverse), static_cast<float>(a->y * inverse),
          static_cast<float>(a->z * inverse)};
}

void vec_transform(Vector3 *p, const float *m)
{
    double x = p->x, y = p->y, z = p->z;
    *p = {static_cast<float>(x * m[0] + y * m[4] + z * m[8] + m[12]),
          static_cast<float>(x * m[1] + y * m[5] + z * m[9] + m[13]),
          static_cast<float>(x * m[2] + y * m[6] + z * m[10] + m[14])};
}
