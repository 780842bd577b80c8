// The camera: defaults, setters and the two matrices it loads.
#include "graphics/camera.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include <cstdlib>

#include "graphics/video.h"

Camera *camera_new()
{
    Camera *camera = static_cast<Camera *>(calloc(1, sizeof(Camera)));
    camera_reset(camera);
    return camera;
}

void camera_reset(Camera *camera)
{
    camera->position = {0, 0, 0};
    camera->angles = {0, 0, 0};
    camera->target = {0, 0, -100};
    camera->roll = 0;
    camera->fov = 90;
    camera->aspect = glConfig.aspectRatio;
    camera->zNear = 0.1f;
    camera->zFar = 1000;
}

void camera_set_position(Camera *camera, float x, float y, float z)
{
    camera->position = {x, y, z};
}

void camera_set_angles(Camera *camera, float x, float y, float z)
{
    camera->angles = {x, y, z};
}

void camera_set_target(Camera *camera, float x, float y, float z)
{
    camera->target = {x, y, z};
}

void camera_set_roll(Camera *camera, float roll)
{
    camera->roll = roll;
}

void camera_set_fov(Camera *camera, float fov, float aspect)
{
    camera->fov = fov;
    camera->aspect = aspect;
}

void camera_set_clipping(Camera *camera, float zNear, float zFar)
{
    camera->zNear = zNear;
    camera->zFar = zFar;
}

void camera_apply_projection(const Camera *camera)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(camera->fov, camera->aspect, camera->zNear, camera->zFar);
}

void camera_apply_view(Camera *camera)
{
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    if (camera->roll != 0)
        glRotatef(-camera->roll, 0, 0, 1);
    glRotatef(-camera->angles.x, 1, 0, 0);
    glRotatef(-camera->angles.z, 0, 0, 1);
    glRotatef(-camera->angles.y, 0, 1, 0);
    const Vector3 &eye = camera->position, &target = camera->target;
    gluLookAt(eye.x, eye.y, eye.z, target.x, target.y, target.z, 0, 1, 0);
    float m[16];                // column-major
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    camera->right = {m[0], m[4], m[8]};
    camera->up = {m[1], m[5], m[9]};
    camera->back = {m[2], m[6], m[10]};
}
