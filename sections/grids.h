// Screen deformation grids: post-effects that copy the frame into the
// screen texture and draw it back through a deformed grid. efxDeform bends
// a Bezier patch whose control points move along splines, efxSwirl whirls
// the picture about a point, efxRenderMesh offers nine built-in
// distortions and efxRenderMesh2 takes its texture coordinates from a
// formula.
#pragma once

// Section operations. Only efxDeform has a preload (the view every deform
// section shares); init and end have nothing to do.
void efxDeformPreload();
void efxDeformLoad();
void efxDeformExec();
void efxSwirlLoad();
void efxSwirlExec();
void efxRenderMeshLoad();
void efxRenderMeshExec();
void efxRenderMesh2Load();
void efxRenderMesh2Exec();

enum { RENDER_MESH_SIZE = 21 };   // points a side of efxRenderMesh's grid

// The texture coordinate efxRenderMesh gives grid point (i, j) in `mode`
// at section time `seconds` with the music at `bpm`, as fractions of the
// copied frame (0 to 1 undistorted).
void renderMeshCoordinate(int mode, int i, int j, double seconds, double bpm, double *u,
                          double *v);
