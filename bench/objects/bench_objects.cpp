// objectShader2 deforms a 10 100-vertex sphere every frame: its formula runs
// once per vertex and once per polygon corner. The table gives the cost of
// the deformation per evaluation (inputs, evaluation and outputs, with the
// normals the frame recomputes) as a multiple of one bare evaluation of the
// same formula measured in the same run. Then frames a second of each
// object type on the generated models, drawing into a 320 x 240 window.
//
// Run it in a display (Xvfb will do), from a build without sanitizers for
// meaningful numbers.
#include <GL/glew.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>

#include "expr/driver.h"
#include "graphics/camera.h"
#include "graphics/video.h"
#include "kernel/demo.h"
#include "kernel/script.h"
#include "kernel/section.h"
#include "models/model.h"
#include "platform/platform.h"
#include "sections/objects.h"
#include "tools/modelgen/modelgen.h"

static void quiet(PlatformChannel, const char *) {}

static double threadNanoseconds()
{
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e9 + now.tv_nsec;
}

// Nanoseconds per call of the fastest of three runs of `work`, each
// repeated until it has taken at least a fifth of a second.
static double nanosecondsPerCall(const std::function<void()> &work)
{
    double best = 1e300;
    for (int run = 0; run < 3; run++) {
        long calls = 0;
        const double start = threadNanoseconds();
        double elapsed;
        do {
            work();
            calls++;
            elapsed = threadNanoseconds() - start;
        } while (elapsed < 2e8);
        best = std::min(best, elapsed / calls);
    }
    return best;
}

static const char *const deformation = "x=x0*(1+0.1*sin(t+y0));y=y0+0.05*n/n0;z=z0;u=u0;v=v+0.001;";

static std::string directory;

static void writeModel(const char *name, const modelgen::Shape &shape)
{
    const std::string bytes = modelgen::write3ds(shape, name);
    FILE *file = fopen((directory + name).c_str(), "wb");
    if (!file || fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        fprintf(stderr, "cannot write %s%s\n", directory.c_str(), name);
        exit(1);
    }
    fclose(file);
}

// Models without their materials: no texture files are needed.
static modelgen::Shape plain(modelgen::Shape shape)
{
    shape.materials.clear();
    shape.triangleMaterials.clear();
    return shape;
}

// A section of `type` from its script lines, loaded and started.
static Section *loaded(const std::string &type, const std::string &lines)
{
    const std::string text = "[" + type + "]\nid b\nstart 0\nend 1000\nlayer 3\n" + lines;
    parseScript(text.c_str(), "bench.glm");
    Section *section = demoSystem.sectionList;
    setupSplines(section);
    callOperation(section, &SectionType::load);
    callOperation(section, &SectionType::init);
    return section;
}

static void frame(Section *section)
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    section->elapsed += 0.01f;
    callOperation(section, &SectionType::exec);
    glFinish();
}

// The bare baseline: the deformation formula alone over the sphere's
// vertices, its inputs written and outputs read by address.
static double bareEvaluation(const Model3ds *model)
{
    ExprDriver driver = {};
    driver.text = strdup(deformation);
    initExpression(&driver);
    const char *const names[] = {"x0", "y0", "z0", "x", "y", "z", "n", "n0"};
    double *v[8];
    for (int i = 0; i < 8; i++)
        v[i] = driverVariable(&driver, names[i]);
    updateEngineVariables(&driver);
    const ModelMesh &mesh = model->meshes[0];
    const double perPass = nanosecondsPerCall([&] {
        for (int j = 0; j < mesh.vertexCount; j++) {
            const float *p = mesh.vertices[j].position;
            *v[0] = *v[3] = p[0], *v[1] = *v[4] = p[1], *v[2] = *v[5] = p[2];
            *v[6] = j, *v[7] = mesh.vertexCount;
            evaluateDriver(&driver);
        }
    });
    return perPass / mesh.vertexCount;
}

static std::string placement(const char *scale)
{
    return std::string("string tx=0;ty=0;tz=-8;\nstring rx=20;ry=t*30;rz=0;\nstring sx=") + scale +
           ";sy=" + scale + ";sz=" + scale + ";\n";
}

int main()
{
    platformSetTap(quiet);
    demoSystem.debug = 1;
    char scratch[] = "/tmp/bench_objects_XXXXXX";
    if (!mkdtemp(scratch))
        return 1;
    directory = std::string(scratch) + "/";
    writeModel("sphere.3ds", plain(modelgen::sphere(2, 100, 100)));
    writeModel("ring.3ds", plain(modelgen::torus(2, 0.7f, 100, 100)));
    writeModel("torus.3ds", plain(modelgen::torus(2, 0.7f, 48, 24)));
    writeModel("cube.3ds", plain(modelgen::cube()));
    writeModel("logo.3ds", plain(modelgen::logo(1)));
    const std::string nothing = directory + "nothing.rp", flat = directory + "flat.rp";
    // objectMorph's spline puts its model where the formulas put the others.
    const std::string spline = directory + "place.spl";
    FILE *file = fopen(spline.c_str(), "w");
    fputs("1 1 1 20 0 0 0 0 -8\n1 1 1 20 0 0 0 0 -8\n", file);
    fclose(file);
    file = fopen(nothing.c_str(), "w");
    fputs("{\n}\n", file);
    fclose(file);
    file = fopen(flat.c_str(), "w");
    fputs("{\nmode flat\ncolor 1 1 1 1\n}\n", file);
    fclose(file);

    gl_defaults();
    glConfig.gl_width = 320;
    glConfig.gl_height = 240;
    if (!gl_init()) {
        fprintf(stderr, "bench_objects needs a display\n");
        return 1;
    }
    Camera *camera = camera_new();
    camera_set_position(camera, 0, 0, 0);
    camera_set_target(camera, 0, 0, -10);
    camera_set_fov(camera, 60, 4.0f / 3);
    demoSystem.currentCamera = camera;
    camera_apply_projection(camera);
    camera_apply_view(camera);

    // objectShader2 with a layer that draws nothing: the deformation and
    // the normals alone.
    const std::string shader2 = "param 0\nstring " + directory + "\nstring sphere.3ds\nstring ";
    Section *deform = loaded("objectShader2", shader2 + nothing + "\nstring " + deformation +
                                                  "\nstring a=1;\nstring b=1;\n" + placement("1"));
    const ObjectShader2Vars *vars = static_cast<ObjectShader2Vars *>(deform->vars);
    const ModelMesh &mesh = vars->model->meshes[0];
    long corners = 0;
    for (int p = 0; p < mesh.polygonCount; p++)
        corners += mesh.polygons[p].cornerCount;
    const long evaluations = mesh.vertexCount + corners;
    const double bare = bareEvaluation(vars->model);
    const double perFrame = nanosecondsPerCall([&] { frame(deform); });
    std::printf("objectShader2 on %d vertices and %ld corners (%ld evaluations a frame)\n",
                mesh.vertexCount, corners, evaluations);
    std::printf("%28s %12s %8s\n", "", "ns", "ratio");
    std::printf("%28s %12.1f %8.2f\n", "bare evaluation", bare, 1.0);
    std::printf("%28s %12.1f %8.2f\n", "objectShader2 per evaluation", perFrame / evaluations,
                perFrame / evaluations / bare);

    // Frames a second, each type drawing flat-shaded models.
    const std::string morphs = "string " + directory + "sphere.3ds\nstring " + directory + "ring.3ds\n";
    const struct {
        const char *name, *type;
        std::string lines;
    } types[] = {
        {"objectMorph sphere to ring", "objectMorph",
         "param 0 1\n" + morphs + "string " + flat + "\nspline " + spline + " 1000\n"},
        {"objectMorph2 sphere to ring", "objectMorph2",
         "param 0\n" + morphs + "string " + directory + "\nstring " + flat + "\n" + placement("1") +
             "string value=0.5+0.5*sin(t);\n"},
        {"objectShader once (sphere)", "objectShader",
         "param 0\nstring " + directory + "\nstring sphere.3ds\nstring " + flat + "\nstring default\n" +
             placement("1") + placement("1")},
        {"objectShader cubes on logo", "objectShader",
         "param 0\nstring " + directory + "\nstring cube.3ds\nstring " + flat + "\nstring " + directory +
             "logo.3ds\nstring tx=0;ty=0;tz=0;\nstring rx=0;ry=0;rz=0;\nstring sx=0.1;sy=0.1;sz=0.1;\n" +
             placement("0.5")},
        {"objectShader2 sphere", "objectShader2",
         shader2 + flat + "\nstring " + deformation + "\nstring a=1;\nstring b=1;\n" + placement("1")},
        {"objectMatrix 1000 cubes", "objectMatrix",
         "param 0\nstring " + directory + "torus.3ds\nstring " + directory + "\nstring " + directory +
             "cube.3ds\nstring " + flat +
             "\nstring rate=0;initialParticles=1000;\nstring x=px0;y=py0;z=pz0-8;\nstring rx=age*90;ry=0;rz=0;\n"
             "string sx=1;sy=1;sz=1;\nstring size=0.05;\nstring life=1;\nstring red=1;\n" +
             placement("1")},
        {"macroBox 2 copies", "macroBox", "param 2 1 1 0 1 0\nstring " + directory + "sky.tga\n"},
        {"objectExtruder cube", "objectExtruder",
         "param 0 0 0 0 0 0\nstring " + directory + "\nstring cube.3ds\nstring " + flat +
             "\nstring step=1;\nstring vx=0;\nstring vy=0;\nstring vz=0;\n"},
    };
    // The skybox picture: 64 x 64 grey pixels.
    {
        unsigned char header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 64, 0, 64, 0, 24, 0};
        FILE *sky = fopen((directory + "sky.tga").c_str(), "wb");
        fwrite(header, 1, sizeof header, sky);
        for (int i = 0; i < 64 * 64 * 3; i++)
            fputc(128, sky);
        fclose(sky);
    }
    std::printf("\n%28s %12s\n", "type", "frames/s");
    for (const auto &test : types) {
        Section *section = loaded(test.type, test.lines);
        const double ns = nanosecondsPerCall([&] {
            camera_apply_projection(camera);
            camera_apply_view(camera);
            frame(section);
        });
        std::printf("%28s %12.1f\n", test.name, 1e9 / ns);
    }
    std::string command = "rm -rf " + directory;
    return system(command.c_str()) == 0 ? 0 : 1;
}
