// The particle update formula the formula and particle benchmarks run: a
// colour drifting from the emitter's, a fade in and out, a wobbling arc,
// spin, growth and a four-second life, over the inputs age, n, px, py, pz,
// r0, g0 and b0.
#pragma once

constexpr const char *PARTICLE_FORMULA =
    "red = clip(r0 + age*0.5, 0, 1); green = clip(g0 - age*0.25, 0, 1);"
    "blue = clip(b0 + sin(age*3 + n)*0.2, 0, 1);"
    "alpha = if(below(age, 1), age, pow(0.5, age - 1));"
    "x = px + sin(age*3 + n)*0.5; y = py + age*2 - pow(age, 2)*0.5;"
    "z = pz + cos(age*3 + n)*0.5;"
    "rx = age*90; ry = n*10; rz = age*45 + n;"
    "size = clip(1 + age*0.5, 0.5, 2); life = 1 - age/4;";
