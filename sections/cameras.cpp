// Cameras and lights. A camera section loads the projection and modelview
// matrices for the sections drawn after it in the frame and becomes the
// frame's current camera; a light section sets one directional light in
// that view.
#include "sections/cameras.h"

#include <GL/gl.h>
#include <SDL/SDL_keysym.h>

#include <algorithm>
#include <cstdio>

#include "expr/driver.h"
#include "graphics/camera.h"
#include "graphics/draw2d.h"
#include "graphics/spline.h"
#include "graphics/video.h"
#include "kernel/demo.h"
#include "kernel/log.h"
#include "kernel/section.h"
#include "sections/section_vars.h"

struct CameraVars {
    Camera *camera;
    float mode;                // 1: the free camera
};

struct Camera2Vars {
    Camera *camera;
    ExprDriver formula;
};

struct Camera3Vars {
    Camera *output;            // what the formula made of the source
    Camera *source;            // spline-driven or free
    ExprDriver formula;
    float mode;
};

struct LightVars {
    GLenum light;              // GL_LIGHT0 to GL_LIGHT7; 0 when the number was rejected
    float ambient[4], diffuse[4], specular[4];
    float position[4];         // w = 0: a direction
};

enum { FREE_CAMERA = 1, LIGHT_COUNT = 8 };

// The free camera's speeds in units per second, shared by every free camera
// so that momentum carries over from one camera section to the next.
static float forwardSpeed, sidewaysSpeed;

static const char *const cameraFileName = "camera.cam";

// ---------------------------------------------------------------------------
// Camera operations

void camera_from_spline(Camera *camera, float t)
{
    const Section *section = currentSection;
    const Spline *spline = section->splineNum > 0 ? section->splines[0] : nullptr;
    float v[MAX_SPLINE_CHANNELS] = {};
    sectionSpline(0, t, v);
    if (!spline)
        return;  // reported by sectionSpline; the camera stays as it was
    camera_set_position(camera, v[0], v[1], v[2]);
    camera_set_angles(camera, v[3], v[4], v[5]);
    camera_set_target(camera, v[6], v[7], v[8]);
    camera_set_fov(camera, v[9], glConfig.aspectRatio);
    camera_set_clipping(camera, v[10], v[11]);
    if (spline->channels == 13)
        camera_set_roll(camera, v[12]);
}

// One line per camera key, in the channel order of a 13-channel camera
// spline, so that recorded lines can be pasted into a spline file.
static void recordCameraLine(const Camera *camera)
{
    char line[1024];
    snprintf(line, sizeof line, "%f\t%f\t%f\t%f\t%f\t%f\t%f\t%f\t%f\t%f\t%f\t%f\t%f\n",
             camera->position.x, camera->position.y, camera->position.z, camera->angles.x,
             camera->angles.y, camera->angles.z, camera->target.x, camera->target.y,
             camera->target.z, camera->fov, camera->zNear, camera->zFar, camera->roll);
    FILE *file = fopen(cameraFileName, "a");
    if (!file) {
        engineWarning("Could not open %s to record the camera", cameraFileName);
        return;
    }
    fputs(line, file);
    fclose(file);
}

// Keys accelerate a speed by 50 units per second each second; the speed is
// held to 15 units per second and falls back to rest by 20 each second.
// Returns the distance to move in this frame.
static float glide(float *speed, int slower, int faster, float dt)
{
    if (demoSystem.keys[slower])
        *speed -= 50.0f * dt;
    if (demoSystem.keys[faster])
        *speed += 50.0f * dt;
    if (*speed == 0.0f)
        return 0.0f;
    *speed = std::clamp(*speed, -15.0f, 15.0f);
    float distance = *speed * dt;
    float brake = 20.0f * dt;
    *speed = *speed > brake ? *speed - brake : *speed < -brake ? *speed + brake : 0.0f;
    return distance;
}

static void moveCamera(Camera *camera, const Vector3 &direction, float distance)
{
    Vector3 &position = camera->position, &target = camera->target;
    position.x += direction.x * distance;
    position.y += direction.y * distance;
    position.z += direction.z * distance;
    target.x += direction.x * distance;
    target.y += direction.y * distance;
    target.z += direction.z * distance;
}

// While any digit key is held the keys belong to the image tweaks.
static bool digitHeld()
{
    for (int key = SDLK_1; key <= SDLK_9; key++) {
        if (demoSystem.keys[key])
            return true;
    }
    return false;
}

void camera_fly(Camera *camera, float dt)
{
    int32_t *keys = demoSystem.keys;
    if (!demoSystem.debug || digitHeld())
        return;
    if (keys[SDLK_c]) {
        recordCameraLine(camera);
        keys[SDLK_c] = 0;
    }
    // Mouse look: the kernel keeps the pointer centred while the left
    // button is held and gives its offset from the centre.
    if ((demoSystem.mouseButtons & 1) && (demoSystem.mouseDeltaX || demoSystem.mouseDeltaY)) {
        camera->angles.x += demoSystem.mouseDeltaY / 16.0f;
        camera->angles.y += demoSystem.mouseDeltaX / 16.0f;
    }
    // Forward is -back; both axes are those of the camera's last view.
    moveCamera(camera, camera->back, -glide(&forwardSpeed, SDLK_n, SDLK_h, dt));
    moveCamera(camera, camera->right, glide(&sidewaysSpeed, SDLK_b, SDLK_m, dt));
    if (keys[SDLK_u])
        camera->fov += 1.0f;
    if (keys[SDLK_j])
        camera->fov -= 1.0f;
    if (keys[SDLK_i])
        camera->roll -= 1.0f;
    if (keys[SDLK_k])
        camera->roll += 1.0f;
    if (keys[SDLK_r])
        camera_reset(camera);
}

// ---------------------------------------------------------------------------
// camera: a spline-driven or free camera.

void cameraLoad()
{
    const Section *section = currentSection;
    if (!requireCount(section->splineNum, 1, "1 spline needed") ||
        !requireCount(section->paramNum, 1, "1 float needed"))
        return;
    CameraVars *vars = newSectionVars<CameraVars>();
    vars->camera = camera_new();
    vars->mode = section->param[0];
}

// Flies the camera or follows the section's spline.
static void driveCamera(Camera *camera, float mode)
{
    if (mode == FREE_CAMERA)
        camera_fly(camera, demoSystem.frameTime);
    else if (currentSection->splineNum >= 1)
        camera_from_spline(camera, currentSection->elapsed);
}

void cameraExec()
{
    CameraVars *vars = static_cast<CameraVars *>(currentSection->vars);
    if (!vars)
        return;
    demoSystem.currentCamera = vars->camera;
    driveCamera(vars->camera, vars->mode);
    camera_apply_projection(vars->camera);
    camera_apply_view(vars->camera);
}

// ---------------------------------------------------------------------------
// camera2 and camera3: cameras made by a formula.

// The formula's camera values; the ones it never names stay as they were.
static void readFormulaCamera(const ExprDriver *formula, Camera *camera)
{
    auto value = [formula](const char *name, float current) {
        return static_cast<float>(formulaValue(formula, name, current));
    };
    camera_set_position(camera, value("posX", camera->position.x),
                        value("posY", camera->position.y), value("posZ", camera->position.z));
    camera_set_angles(camera, value("angX", camera->angles.x), value("angY", camera->angles.y),
                      value("angZ", camera->angles.z));
    camera_set_target(camera, value("lookX", camera->target.x), value("lookY", camera->target.y),
                      value("lookZ", camera->target.z));
    camera_set_fov(camera, value("fov", camera->fov), glConfig.aspectRatio);
    camera_set_clipping(camera, value("zNear", camera->zNear), value("zFar", camera->zFar));
    camera_set_roll(camera, value("roll", camera->roll));
}

enum { CAMERA_FORMULA_STRINGS = 6 };

void camera2Load()
{
    if (!requireCount(currentSection->stringNum, CAMERA_FORMULA_STRINGS, "6 strings needed"))
        return;
    Camera2Vars *vars = newSectionVars<Camera2Vars>();
    initSectionFormula(&vars->formula, 0, CAMERA_FORMULA_STRINGS);
    vars->camera = camera_new();
    // A nearer far plane than a new camera's.
    camera_set_clipping(vars->camera, 0.1f, 500.0f);
}

void camera2Exec()
{
    Camera2Vars *vars = static_cast<Camera2Vars *>(currentSection->vars);
    if (!vars)
        return;
    // Current before the update, so the formula's cam_* values are this
    // camera's as its previous frame left it.
    demoSystem.currentCamera = vars->camera;
    ExprDriver *formula = &vars->formula;
    updateEngineVariables(formula);
    int code = evaluateDriver(formula);
    if (code != EXPR_OK)
        sectionError("cameraSection2: render_camera2: Expression evaluation Error (%d): %s", code,
                     formula->text);
    readFormulaCamera(formula, vars->camera);
    camera_apply_projection(vars->camera);
    camera_apply_view(vars->camera);
}

void camera3Load()
{
    const Section *section = currentSection;
    if (!requireCount(section->stringNum, CAMERA_FORMULA_STRINGS, "6 strings needed") ||
        !requireCount(section->paramNum, 1, "1 float needed"))
        return;
    Camera3Vars *vars = newSectionVars<Camera3Vars>();
    initSectionFormula(&vars->formula, 0, CAMERA_FORMULA_STRINGS);
    vars->output = camera_new();
    vars->source = camera_new();
    vars->mode = section->param[0];
}

// The source camera as the formula's cam_* inputs, over the engine's values.
static void setSourceInputs(ExprDriver *formula, const Camera *source)
{
    const struct {
        const char *name;
        float value;
    } inputs[] = {
        {"cam_eye_x", source->position.x},   {"cam_eye_y", source->position.y},
        {"cam_eye_z", source->position.z},   {"cam_target_x", source->target.x},
        {"cam_target_y", source->target.y},  {"cam_target_z", source->target.z},
        {"cam_angle_x", source->angles.x},   {"cam_angle_y", source->angles.y},
        {"cam_angle_z", source->angles.z},   {"cam_fov", source->fov},
        {"cam_znear", source->zNear},        {"cam_zfar", source->zFar},
        {"cam_roll", source->roll},
    };
    for (const auto &input : inputs) {
        if (double *variable = driverVariable(formula, input.name))
            *variable = input.value;
    }
}

void camera3Exec()
{
    Camera3Vars *vars = static_cast<Camera3Vars *>(currentSection->vars);
    if (!vars)
        return;
    demoSystem.currentCamera = nullptr;
    driveCamera(vars->source, vars->mode);
    ExprDriver *formula = &vars->formula;
    updateEngineVariables(formula);
    setSourceInputs(formula, vars->source);
    int code = evaluateDriver(formula);
    if (code != EXPR_OK)
        sectionError("cameraSection3: render_camera3: Expression evaluation Error (%d): %s", code,
                     formula->text);
    readFormulaCamera(formula, vars->output);
    demoSystem.currentCamera = vars->output;
    camera_apply_projection(vars->output);
    // The source's view refreshes the axes its free flight moves along;
    // the output's view is the one left for the sections after this one.
    camera_apply_view(vars->source);
    camera_apply_view(vars->output);
}

// ---------------------------------------------------------------------------
// light: one directional light, coloured by spline 0 and aimed by spline 1.

void lightLoad()
{
    const Section *section = currentSection;
    if (!requireCount(section->paramNum, 1, "1 param needed") ||
        !requireCount(section->splineNum, 2, "2 splines needed"))
        return;
    LightVars *vars = newSectionVars<LightVars>();
    // Checked before truncation so that no number converts out of range.
    const float number = section->param[0];
    if (!(number > -1.0f && number < LIGHT_COUNT)) {
        sectionError("Invalid light index");
        return;
    }
    vars->light = GL_LIGHT0 + static_cast<int>(number);
}

// The section's light, unless its load reported an error.
static LightVars *usableLight()
{
    LightVars *vars = static_cast<LightVars *>(currentSection->vars);
    return vars && vars->light ? vars : nullptr;
}

void lightExec()
{
    LightVars *vars = usableLight();
    if (!vars)
        return;
    float v[MAX_SPLINE_CHANNELS] = {}, w[MAX_SPLINE_CHANNELS] = {};
    sectionSpline(0, currentSection->elapsed, v);
    sectionSpline(1, currentSection->elapsed, w);
    float *colours[] = {vars->ambient, vars->diffuse, vars->specular};
    for (int i = 0; i < 3; i++) {
        std::copy(v + 3 * i, v + 3 * i + 3, colours[i]);
        colours[i][3] = 1.0f;
    }
    std::copy(w, w + 3, vars->position);
    vars->position[3] = 0.0f;
    glEnable(vars->light);
    glLightfv(vars->light, GL_AMBIENT, vars->ambient);
    glLightfv(vars->light, GL_DIFFUSE, vars->diffuse);
    glLightfv(vars->light, GL_SPECULAR, vars->specular);
    // Taken through the modelview matrix of the last camera.
    glLightfv(vars->light, GL_POSITION, vars->position);
    axes_marker();
}

void lightEnd()
{
    if (LightVars *vars = usableLight())
        glDisable(vars->light);
}
