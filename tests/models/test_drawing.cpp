// Model drawing in a real window: what each render mode puts on screen,
// batched and immediate drawing giving the same pixels, layer blending and
// depth clearing, and the GL state drawWithLayers leaves.
#include <GL/glew.h>

#include <cmath>

#include "graphics/camera.h"
#include "graphics/glsl.h"
#include "graphics/texture.h"
#include "kernel/demo.h"
#include "models/layers.h"
#include "tests/graphics/gl_fixture.h"
#include "tests/models/model_fixture.h"

using namespace modelgen;

// Orthographic view of x and y from -2 to 2 over the 640 x 480 window: 160
// pixels a unit across, 120 up.
static int columnOf(float x) { return static_cast<int>(320 + 160 * x); }
static int rowOf(float y) { return static_cast<int>(240 + 120 * y); }

enum SquareForm { ONE_POLYGON, FLIPPED, TWO_TRIANGLES };

// A square from (-1, -1) to (1, 1) at z = 0 facing +z: one four-corner
// polygon, the same facing away, or two triangles (which get tangents).
// Texture coordinates run from (0, 0) at the image's lower left to (1, 1);
// its material "skin" names `texture`.
static std::string square(SquareForm form = ONE_POLYGON, const std::string &texture = "")
{
    std::string polygon = form == FLIPPED       ? be16(4) + vx(0) + vx(3) + vx(2) + vx(1)
                          : form == ONE_POLYGON ? be16(4) + vx(0) + vx(1) + vx(2) + vx(3)
                                                : be16(3) + vx(0) + vx(1) + vx(2) + be16(3) + vx(0) +
                                                      vx(2) + vx(3);
    std::string points, uvs = "TXUV" + be16(2) + s0("uv");
    const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (int i = 0; i < 4; i++) {
        points += beFloat(corners[i][0]) + beFloat(corners[i][1]) + beFloat(0);
        // The file's v grows upward; the stored v is turned over.
        uvs += vx(i) + beFloat((corners[i][0] + 1) / 2) + beFloat((corners[i][1] + 1) / 2);
    }
    std::string chunks = chunkLwo2("TAGS", s0("skin")) + chunkLwo2("PNTS", points) +
                         chunkLwo2("VMAP", uvs) + chunkLwo2("POLS", "FACE" + polygon) +
                         chunkLwo2("PTAG", "SURF" + vx(0) + vx(0) + vx(1) + vx(0));
    std::string surface = s0("skin") + s0("");
    if (!texture.empty()) {
        chunks += chunkLwo2("CLIP", be32(1) + subChunkLwo2("STIL", s0(texture)));
        surface += subChunkLwo2("BLOK", subChunkLwo2("IMAG", vx(1)));
    }
    return formLwo2(chunks + chunkLwo2("SURF", surface));
}

class ModelDrawingTest : public GlTest {
protected:
    void SetUp() override
    {
        GlTest::SetUp();
        openWindow();
        glViewport(0, 0, 640, 480);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-2, 2, -2, 2, -20, 20);
        view();
        glDisable(GL_LIGHTING);
        glEnable(GL_DEPTH_TEST);
        clear();
        modelDrawImmediate = 0;
    }
    void TearDown() override
    {
        freeLayers(layers);
        modelDrawImmediate = 0;
        demoSystem.currentCamera = nullptr;
        GlTest::TearDown();
    }
    // The model's origin 10 units in front of the eye, so that sphere maps
    // see it from outside.
    static void view()
    {
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glTranslatef(0, 0, -10);
    }
    static void clear()
    {
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    // Reads the layer file `text`, then draws the model with it.
    void draw(Model3ds *model, const std::string &text, int clearFlag = 0)
    {
        freeLayers(layers);
        layers = loadLayers(scratch.write("model.rp", text).c_str());
        drawWithLayers(model, layers, clearFlag);
    }
    // Every pixel of the window.
    static std::vector<uint8_t> frame()
    {
        std::vector<uint8_t> pixels(640 * 480 * 4);
        glReadPixels(0, 0, 640, 480, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        return pixels;
    }
    static int brightness(int x, int y)
    {
        Rgba colour = pixel(x, y);
        return colour.r + colour.g + colour.b;
    }
    std::string image(const std::string &name, int width, int height, const PixelFunction &colour)
    {
        return scratch.write(name, tgaImage(width, height, 24, colour));
    }
    Layer *layers = nullptr;
};

TEST_F(ModelDrawingTest, ColorFillsTheSilhouetteAndWireframeDrawsOnlyTheEdges)
{
    ReadModel square4(square());
    draw(square4.model, "{\nmode color\ncolor 1 0 0 1\n}\n");
    EXPECT_EQ(pixel(columnOf(0), rowOf(0)), red);
    EXPECT_EQ(pixel(columnOf(0.9f), rowOf(-0.9f)), red);
    EXPECT_EQ(pixel(columnOf(1.2f), rowOf(0)), black);

    for (int immediate : {0, 1}) {
        SCOPED_TRACE(immediate ? "immediate" : "batched");
        modelDrawImmediate = immediate;
        clear();
        draw(square4.model, "{\nmode wireframe\ncolor 0 1 0 1\nlinewidth 3\n}\n");
        EXPECT_EQ(pixel(columnOf(0), rowOf(0)), black);          // no diagonal
        EXPECT_EQ(pixel(columnOf(0.5f), rowOf(0.5f)), black);
        EXPECT_EQ(pixel(columnOf(-1), rowOf(0)), green);         // the left edge
        EXPECT_EQ(pixel(columnOf(0), rowOf(1) - 1), green);      // the top edge
    }
}

TEST_F(ModelDrawingTest, VertexesDrawPointsOnlyAndNormalsALineAlongEachNormal)
{
    ReadModel square4(square());
    draw(square4.model, "{\nmode vertexes\ncolor 1 1 1 1\nlinewidth 5\n}\n");
    EXPECT_EQ(pixel(columnOf(1) - 1, rowOf(1) - 1), white);
    EXPECT_EQ(pixel(columnOf(0), rowOf(0)), black);
    EXPECT_EQ(pixel(columnOf(0), rowOf(-1)), black);

    // Seen from the side (turned about y), the normal of the square runs
    // along +x from its centre.
    clear();
    glRotatef(90, 0, 1, 0);
    glScalef(0.15f, 1, 1);
    draw(square4.model, "{\nmode normals\ncolor 1 1 0 1\nlinewidth 3\n}\n");
    EXPECT_EQ(pixel(columnOf(1.0f), rowOf(0)), (Rgba{255, 255, 0, 255}));
    EXPECT_EQ(pixel(columnOf(-0.5f), rowOf(0)), black);
    EXPECT_EQ(pixel(columnOf(1.0f), rowOf(0.5f)), black);
}

TEST_F(ModelDrawingTest, FlatAndShadedFollowTheLight)
{
    ReadModel ball(write3ds(sphere(1.8f, 24, 32), "ball"));
    for (const char *mode : {"flat", "shaded"}) {
        SCOPED_TRACE(mode);
        int bright[2];
        for (int side = 0; side < 2; side++) {
            clear();
            const float position[4] = {side ? -1.0f : 1.0f, 0, 0.3f, 0};
            glLightfv(GL_LIGHT0, GL_POSITION, position);
            draw(ball.model, std::string("{\nmode ") + mode + "\ncolor 1 1 1 1\n}\n");
            bright[side] = brightness(columnOf(1.2f), rowOf(0)) - brightness(columnOf(-1.2f), rowOf(0));
        }
        EXPECT_GT(bright[0], 100);      // lit from +x: the right is brighter
        EXPECT_LT(bright[1], -100);     // from -x: the left
    }
    // Flat shading gives one colour per polygon, smooth shading a gradient
    // across it: compare two neighbouring pixels inside one facet.
    auto spread = [&](const char *mode) {
        clear();
        const float position[4] = {1, 0, 0.3f, 0};
        glLightfv(GL_LIGHT0, GL_POSITION, position);
        draw(ball.model, std::string("{\nmode ") + mode + "\ncolor 1 1 1 1\n}\n");
        int most = 0;
        for (int x = columnOf(0.2f); x < columnOf(0.2f) + 3; x++)
            most = std::max(most, std::abs(brightness(x + 1, rowOf(0.05f)) - brightness(x, rowOf(0.05f))));
        return most;
    };
    EXPECT_EQ(spread("flat"), 0);
    EXPECT_GT(spread("shaded"), 0);
}

TEST_F(ModelDrawingTest, TextureShowsTheMaterialTextureAtTheCornerCoordinates)
{
    // Red on the left half, blue on the right, green in the top quarter.
    image("skin.tga", 8, 8, [](int x, int y) {
        return y < 2 ? green : x < 4 ? red : blue;
    });
    ReadModel square4(square(ONE_POLYGON, "skin.tga"));
    model_upload_tex(square4.model, (scratch.path() + "/").c_str());
    ASSERT_GT(square4.model->materials->texture, 0);
    EXPECT_NE(captured.debugger.find("model_upload_tex: Uploading texture: " + scratch.path() + "/skin.tga"),
              std::string::npos);
    draw(square4.model, "{\nmode texture\ncolor 1 1 1 1\n}\n");
    EXPECT_EQ(pixel(columnOf(-0.5f), rowOf(0)), red);
    EXPECT_EQ(pixel(columnOf(0.5f), rowOf(0)), blue);
    EXPECT_EQ(pixel(columnOf(0.5f), rowOf(0.8f)), green);
    EXPECT_EQ(errors(), std::vector<std::string>());
}

TEST_F(ModelDrawingTest, EnvironmentMapMovesWithTheView)
{
    std::string path = image("env.tga", 16, 16, [](int x, int) { return x < 8 ? red : blue; });
    ReadModel square4(square());
    std::string layer = "{\nmode environment\ncolor 1 1 1 1\ntexture " + path + "\n}\n";
    Rgba seen[2];
    for (int side = 0; side < 2; side++) {
        clear();
        view();
        glRotatef(side ? 40.0f : -40.0f, 0, 1, 0);
        draw(square4.model, layer);
        seen[side] = pixel(columnOf(0), rowOf(0));
    }
    EXPECT_EQ(seen[0], red);
    EXPECT_EQ(seen[1], blue);
    ASSERT_NE(tex_get(layers->texture), nullptr);
    EXPECT_EQ(tex_get(layers->texture)->envMode, static_cast<uint32_t>(GL_MODULATE));
    // Without a texture line nothing is drawn.
    clear();
    draw(square4.model, "{\nmode environment\ncolor 1 1 1 1\n}\n");
    EXPECT_EQ(pixel(columnOf(0), rowOf(0)), black);
}

TEST_F(ModelDrawingTest, CellGivesTheRampColourByTheNormalsSide)
{
    std::string path = image("ramp.tga", 16, 4, [](int x, int) { return x < 8 ? red : green; });
    ReadModel ball(write3ds(sphere(1.8f, 24, 32), "ball"));
    draw(ball.model, "{\nmode cell\ncolor 1 1 1 1\ntexture " + path + "\n}\n");
    EXPECT_EQ(pixel(columnOf(-1.2f), rowOf(0)), red);
    EXPECT_EQ(pixel(columnOf(1.2f), rowOf(0)), green);
}

TEST_F(ModelDrawingTest, OutlineDrawsBackPolygonsAsLines)
{
    ReadModel front(square()), back(square(FLIPPED));
    draw(front.model, "{\nmode outline\ncolor 1 1 1 1\nlinewidth 3\n}\n");
    EXPECT_EQ(pixel(columnOf(-1), rowOf(0)), black);
    draw(back.model, "{\nmode outline\ncolor 1 1 1 1\nlinewidth 3\n}\n");
    EXPECT_EQ(pixel(columnOf(-1), rowOf(0)), white);
    EXPECT_EQ(pixel(columnOf(0), rowOf(0)), black);
}

TEST_F(ModelDrawingTest, BumpShadingChangesWithTheCameraPosition)
{
    // A flat normal map: every texel points straight out of the surface.
    std::string path = image("flat.tga", 8, 8, [](int, int) { return Rgba{128, 128, 255, 255}; });
    ReadModel square4(square(TWO_TRIANGLES));
    Camera *camera = camera_new();
    demoSystem.currentCamera = camera;
    std::string layer = "{\nmode bump\ncolor 1 1 1 1\ntexture " + path + "\n}\n";
    int seen[2];
    for (int side = 0; side < 2; side++) {
        clear();
        camera_set_position(camera, side ? 10.0f : 0.0f, 0, side ? 0.5f : 10.0f);
        draw(square4.model, layer);
        seen[side] = brightness(columnOf(0), rowOf(0));
    }
    EXPECT_GT(seen[0], 3 * 230);          // the light straight ahead
    EXPECT_LT(seen[1], 3 * 120);          // from the side, grazing
    GLboolean texturing = GL_TRUE;
    glGetBooleanv(GL_TEXTURE_2D, &texturing);
    EXPECT_FALSE(texturing);
    free(camera);
}

TEST_F(ModelDrawingTest, GlslModesFeedCoordinatesNormalsAndTangents)
{
    std::string vertex = scratch.write("t.vert",
        "attribute vec3 rm_Tangent;\nattribute vec3 rm_Binormal;\nvarying vec3 colour;\n"
        "uniform float useTangent;\n"
        "void main() {\n"
        "  colour = useTangent > 0.5 ? rm_Tangent * 0.5 + 0.5 + rm_Binormal * 0.0\n"
        "                            : vec3(gl_MultiTexCoord0.st, gl_Normal.z);\n"
        "  gl_Position = ftransform();\n}\n");
    std::string fragment = scratch.write("t.frag", "varying vec3 colour;\n"
                                                   "void main() { gl_FragColor = vec4(colour, 1.0); }\n");
    int shader = glslshad_load(vertex.c_str(), fragment.c_str());
    glslshad_upload(shader);
    glslshad_bind(shader);
    ReadModel square4(square(TWO_TRIANGLES));
    int program = glslShaders.currentProgram;
    ASSERT_GT(program, 0);

    glUniform1f(glGetUniformLocation(program, "useTangent"), 0.0f);
    draw(square4.model, "{\nmode glsl\n}\n");
    Rgba lowerLeft = pixel(columnOf(-0.75f), rowOf(-0.75f));
    EXPECT_NEAR(lowerLeft.r, 32, 3);      // u = 0.125
    EXPECT_NEAR(lowerLeft.g, 223, 3);     // v = 1 - 0.125, turned over
    EXPECT_EQ(lowerLeft.b, 255);          // the normal faces +z

    clear();
    glUniform1f(glGetUniformLocation(program, "useTangent"), 1.0f);
    draw(square4.model, "{\nmode binormal\n}\n");
    Rgba centre = pixel(columnOf(0), rowOf(0));
    EXPECT_EQ(centre.r, 255);             // tangent (1, 0, 0)
    EXPECT_NEAR(centre.g, 128, 1);
    EXPECT_NEAR(centre.b, 128, 1);
    glslshad_bind(-1);
    glUseProgram(0);
}

TEST_F(ModelDrawingTest, BatchedAndImmediateDrawingGiveTheSamePixels)
{
    std::string texture = image("skin.tga", 8, 8, [](int x, int y) { return Rgba{uint8_t(x * 30), uint8_t(y * 30), 90, 255}; });
    Shape ball = sphere(1.6f, 12, 16);
    ball.materials[0].textureFile = "skin.tga";
    ReadModel sphereModel(write3ds(ball, "ball")), cubeModel(write3ds(cube(), "cube")), square4(square());
    ReadModel triangles(square(TWO_TRIANGLES));
    model_upload_tex(sphereModel.model, (scratch.path() + "/").c_str());
    Camera *camera = camera_new();
    camera_set_position(camera, 3, 4, 10);
    demoSystem.currentCamera = camera;
    const char *modes[] = {"vertexes", "wireframe", "color", "flat", "shaded", "normals", "texture",
                           "environment", "cell", "outline", "bump"};
    for (Model3ds *model : {sphereModel.model, cubeModel.model, square4.model, triangles.model}) {
        for (const char *mode : modes) {
            SCOPED_TRACE(mode);
            std::vector<uint8_t> frames[2];
            for (int immediate : {0, 1}) {
                modelDrawImmediate = immediate;
                clear();
                view();
                glRotatef(30, 1, 1, 0);
                draw(model, std::string("{\nmode ") + mode + "\ncolor 1 0.8 0.6 1\nlinewidth 2\ntexture " +
                                texture + "\n}\n");
                frames[immediate] = frame();
            }
            EXPECT_TRUE(frames[0] == frames[1]);
        }
    }
    free(camera);
}

TEST_F(ModelDrawingTest, LayersBlendAndClearDepthAsTheySay)
{
    ReadModel square4(square());
    // A square nearer the eye hides the layers, unless depth is cleared
    // before each of them.
    for (int clearFlag : {0, 1}) {
        SCOPED_TRACE(clearFlag);
        clear();
        view();
        glTranslatef(0, 0, 1);
        draw(square4.model, "{\nmode color\ncolor 0 1 0 1\n}\n");
        view();
        draw(square4.model, "{\nmode color\ncolor 1 0 0 1\n}\n{\nmode color\ncolor 0 0 1 1\n}\n",
             clearFlag);
        EXPECT_EQ(pixel(columnOf(0), rowOf(0)), clearFlag ? blue : green);
    }
    // At equal depth a later layer draws over an earlier one (GL_LEQUAL).
    clear();
    glDepthFunc(GL_LESS);
    draw(square4.model, "{\nmode color\ncolor 1 0 0 1\n}\n{\nmode color\ncolor 0 0 1 1\n}\n");
    EXPECT_EQ(pixel(columnOf(0), rowOf(0)), blue);

    // A blend line adds the layer to what is behind it.
    clear();
    draw(square4.model, "{\nmode color\ncolor 1 0 0 1\n}\n{\nmode color\ncolor 0 1 0 1\nblend ONE ONE\n}\n");
    EXPECT_EQ(pixel(columnOf(0), rowOf(0)), (Rgba{255, 255, 0, 255}));

    // A layer without a mode draws nothing but sets its colour.
    clear();
    draw(square4.model, "{\ncolor 0.5 0.25 1 1\n}\n");
    EXPECT_EQ(pixel(columnOf(0), rowOf(0)), black);
    float colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[1], 0.25f);
}

TEST_F(ModelDrawingTest, StateLeftAfterEveryMode)
{
    std::string texture = image("t.tga", 4, 4, [](int, int) { return white; });
    ReadModel square4(square());
    Camera *camera = camera_new();
    demoSystem.currentCamera = camera;
    const char *modes[] = {"vertexes", "wireframe", "color", "flat", "shaded", "normals", "texture",
                           "environment", "cell", "outline", "bump", "glsl", "binormal", "none"};
    for (const char *mode : modes) {
        SCOPED_TRACE(mode);
        draw(square4.model, std::string("{\nmode ") + mode + "\nlinewidth 4\ncullface back\ntexture " +
                                texture + "\n}\n");
        GLint polygonMode[2], depthFunction, matrixMode, activeUnit;
        GLfloat lineWidth, pointSize;
        glGetIntegerv(GL_POLYGON_MODE, polygonMode);
        glGetIntegerv(GL_DEPTH_FUNC, &depthFunction);
        glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
        glGetIntegerv(GL_ACTIVE_TEXTURE, &activeUnit);
        glGetFloatv(GL_LINE_WIDTH, &lineWidth);
        glGetFloatv(GL_POINT_SIZE, &pointSize);
        EXPECT_FALSE(glIsEnabled(GL_BLEND));
        EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
        EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
        EXPECT_FALSE(glIsEnabled(GL_TEXTURE_GEN_S));
        EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY));
        EXPECT_EQ(polygonMode[0], GL_FILL);
        EXPECT_EQ(depthFunction, GL_LEQUAL);
        EXPECT_EQ(matrixMode, GL_MODELVIEW);
        EXPECT_EQ(activeUnit, GL_TEXTURE0);
        EXPECT_EQ(lineWidth, 1.0f);
        EXPECT_EQ(pointSize, 1.0f);
        EXPECT_EQ(glIsEnabled(GL_TEXTURE_2D), std::string(mode) != "bump");
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        glEnable(GL_TEXTURE_2D);
    }
    free(camera);
    // "none" is no mode name.
    EXPECT_EQ(errors().size(), 1u);
}
