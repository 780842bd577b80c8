// The camera record every 3D view goes through, and loading it into the
// GL projection and modelview matrices.
#pragma once

#include "graphics/math.h"

// Angles in degrees.
struct Camera {
    Vector3 position;          // the eye
    Vector3 target;            // the point looked at
    float roll;                // about the viewing axis
    Vector3 angles;            // extra rotations, applied before the look-at
    Vector3 right, up, back;   // rows of the view rotation, set by camera_apply_view
    float fov;                 // vertical field of view
    float aspect;              // width / height
    float zNear, zFar;
};

// A new camera with the defaults; owned by the caller for the whole run.
Camera *camera_new();

// From the origin toward -z (target (0, 0, -100)), 90 degrees, the
// picture's aspect ratio now, clipping 0.1 to 1000. Leaves the axes alone.
void camera_reset(Camera *camera);

void camera_set_position(Camera *camera, float x, float y, float z);
void camera_set_angles(Camera *camera, float x, float y, float z);
void camera_set_target(Camera *camera, float x, float y, float z);
void camera_set_roll(Camera *camera, float roll);
void camera_set_fov(Camera *camera, float fov, float aspect);
void camera_set_clipping(Camera *camera, float zNear, float zFar);

// Loads the perspective; the projection matrix stays current.
void camera_apply_projection(const Camera *camera);

// Loads the view (roll, then the x, z and y angles, then the look-at with
// +y up) and reads the axes back; the modelview matrix stays current.
void camera_apply_view(Camera *camera);
