// Post-effects on the frame the lower layers drew: copies of the screen
// drawn back with a change (accumulated, grey, blurred, inverted, faded,
// trailing), and effects that only set GL state for the sections after
// them (colour, fog, accumulation-buffer trail, viewport).
#pragma once

// Section operations; the ones a type does not list do nothing.
void efxAccumLoad();
void efxAccumInit();
void efxAccumExec();
void efxBlackWhiteLoad();
void efxBlackWhiteExec();
void efxBoxBlurLoad();
void efxBoxBlurExec();
void efxColorLoad();
void efxColorExec();
void efxFaderLoad();
void efxFaderExec();
void efxFogLoad();
void efxFogInit();
void efxFogEnd();
void efxInverseExec();
void efxMotionBlurLoad();
void efxMotionBlurInit();
void efxMotionBlurExec();
void efxMotionBlurAccumLoad();
void efxMotionBlurAccumInit();
void efxMotionBlurAccumExec();
void efxViewportLoad();
void efxViewportExec();
