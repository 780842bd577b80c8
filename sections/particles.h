// Particle and ray sections: particles emitted from a model's vertices or
// from the bright pixels of a picture (or of a capture buffer read back
// every frame), lightning bolts between two spline-driven points, and rays
// between the vertices of two models.
#pragma once

// particleMatrix2, particleTex2 and rayMatrix: init arms the initial burst
// and empties the system, end empties it; preload does nothing.
void particleMatrix2Load();
void particleMatrix2Init();
void particleMatrix2Exec();
void particleMatrix2End();
void particleTex2Load();
void particleTex2Init();
void particleTex2Exec();
void particleTex2End();
void rayMatrixLoad();
void rayMatrixInit();
void rayMatrixExec();
void rayMatrixEnd();

// ray: preload, init and end do nothing; the offsets last across runs.
void rayLoad();
void rayExec();
