// Vector math and the camera's matrices.
#include <GL/glew.h>

#include <cmath>

#include "graphics/camera.h"
#include "graphics/math.h"
#include "graphics/video.h"
#include "tests/graphics/gl_fixture.h"

static void expectVector(const Vector3 &v, float x, float y, float z)
{
    EXPECT_NEAR(v.x, x, 1e-6);
    EXPECT_NEAR(v.y, y, 1e-6);
    EXPECT_NEAR(v.z, z, 1e-6);
}

TEST(VectorMath, OperationsAllowTheOutputToBeAnOperand)
{
    Vector3 a = {1, 0, 0}, b = {0, 0, 0}, out;
    vec_sub(&a, &b, &out);
    expectVector(out, -1, 0, 0);        // second minus first
    Vector3 c = {1, 2, 3};
    vec_add(&c, &c, &c);
    expectVector(c, 2, 4, 6);
    vec_scale(&c, 0.5f, &c);
    expectVector(c, 1, 2, 3);
    Vector3 d = {3, 0, 4};
    EXPECT_EQ(vec_length(&d), 5);
    vec_normalize(&d);
    expectVector(d, 0.6f, 0, 0.8f);
}

TEST_F(GlTest, TransformByMatrixReadBackFromGl)
{
    openWindow();
    float m[16];
    glLoadIdentity();
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    Vector3 p = {4, 5, 6};
    vec_transform(&p, m);
    expectVector(p, 4, 5, 6);
    glTranslatef(1, 2, 3);
    glRotatef(90, 0, 0, 1);
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    vec_transform(&p, m);
    expectVector(p, 1 - 5, 2 + 4, 3 + 6);
}

TEST_F(GlTest, CameraAspectIsThePicturesAtTheTimeOfReset)
{
    Camera *before = camera_new();
    EXPECT_EQ(before->aspect, 1.6f);
    glConfig.gl_panoramic = 0;
    openWindow();
    Camera *after = camera_new();
    EXPECT_EQ(after->aspect, 1.3333334f);
    free(before);
    free(after);
}

TEST_F(GlTest, DefaultCameraLooksDownMinusZWithNinetyDegrees)
{
    openWindow();
    Camera *camera = camera_new();
    camera_apply_projection(camera);
    GLint mode;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_PROJECTION);
    camera_apply_view(camera);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    expectVector(camera->right, 1, 0, 0);
    expectVector(camera->up, 0, 1, 0);
    expectVector(camera->back, 0, 0, 1);

    float projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    EXPECT_NEAR(projection[5], 1, 1e-6);            // cot(45 degrees)
    EXPECT_NEAR(projection[0], 1 / 1.6, 1e-6);
    free(camera);
}

TEST_F(GlTest, RollAndAnglesTurnTheView)
{
    openWindow();
    Camera *camera = camera_new();
    camera_set_roll(camera, 90);
    camera_apply_view(camera);
    // Rolled a quarter turn: the view's right is the world's up.
    expectVector(camera->right, 0, 1, 0);
    expectVector(camera->up, -1, 0, 0);

    camera_reset(camera);
    camera_set_position(camera, 0, 0, 10);
    camera_set_target(camera, 0, 0, 0);
    camera_set_angles(camera, 0, 90, 0);
    camera_apply_view(camera);
    expectVector(camera->back, 1, 0, 0);
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    Vector3 origin = {0, 0, 0};
    vec_transform(&origin, m);
    expectVector(origin, 10, 0, 0);
    free(camera);
}
