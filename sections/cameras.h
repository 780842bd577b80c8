// Cameras and lights: the section types that set the view the later
// sections of a frame draw in (from a spline, a formula or the free camera
// flown in debug runs) and the section type that sets one OpenGL light.
#pragma once

struct Camera;

// Spline 0 of the current section at `t` seconds: position, angles, target,
// field of view, near and far clipping, and a roll only when the spline has
// a thirteenth channel.
void camera_from_spline(Camera *camera, float t);

// The free camera, flown with the keyboard and mouse in debug runs for `dt`
// seconds; does nothing otherwise or while a digit key (the image tweak
// keys) is held.
void camera_fly(Camera *camera, float dt);

// Section operations; preload and init have nothing to do, nor has end
// except for lights.
void cameraLoad();
void cameraExec();
void camera2Load();
void camera2Exec();
void camera3Load();
void camera3Exec();
void lightLoad();
void lightExec();
void lightEnd();
