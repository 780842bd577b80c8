// Glow and radial blur: post-effects that make the bright parts of the
// frame glow (blurred or smeared toward a centre and added back onto the
// picture), keep only its bright parts, or zoom copies of it toward a
// centre. Three of them take their values from a formula every frame.
#pragma once

// Section operations; preload, init and end have nothing to do.
void efxGlowLoad();
void efxGlowExec();
void efxGlow2Load();
void efxGlow2Exec();
void efxHighPassFilterLoad();
void efxHighPassFilterExec();
void efxRadialBlurLoad();
void efxRadialBlurExec();
void efxRadialBlur2Load();
void efxRadialBlur2Exec();
void efxRadialGlowLoad();
void efxRadialGlowExec();
