// Model structure: normals and tangents, the transparent split, the model
// table and loadModel, and every 3DS and LWO file of the test model package.
#include <dirent.h>
#include <strings.h>

#include <cmath>
#include <functional>

#include "kernel/demo.h"
#include "tests/models/model_fixture.h"
#include "tests/support/kernel_fixture.h"

using namespace modelgen;

static float length(const float *v)
{
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

TEST(ModelNormals, SharedCubeVerticesAverageTheirTrianglesAndRecomputingChangesNothing)
{
    Shape shape = cube();
    shape.materials[1].transparency = 0.0f;
    ReadModel read(write3ds(shape, "cube"));
    ASSERT_NE(read.model, nullptr);
    const ModelMesh &mesh = read.mesh();
    ASSERT_EQ(mesh.polygonCount, 12);
    // Vertex 0 (-1, -1, -1) is used by triangles of three faces: two of one
    // face and one of each other, or the like; its normal points outward and
    // is shorter than 1.
    const ModelVertex &corner = mesh.vertices[0];
    EXPECT_LT(length(corner.normal), 1.0f);
    for (int k = 0; k < 3; k++)
        EXPECT_LT(corner.normal[k], 0.0f);
    float users = 0;
    for (int i = 0; i < mesh.polygonCount; i++)
        for (int c = 0; c < 3; c++)
            users += mesh.polygons[i].corners[c].vertex == 0;
    EXPECT_EQ(corner.useCount, 1.0f / users);
    // Polygon normals are unit length and face out of the cube.
    const ModelPolygon &left = mesh.polygons[0];
    EXPECT_FLOAT_EQ(left.normal[0], -1.0f);
    EXPECT_EQ(left.normal[1], 0.0f);

    std::vector<ModelVertex> before(mesh.vertices, mesh.vertices + mesh.vertexCount);
    recomputeNormals(read.model);
    EXPECT_EQ(memcmp(before.data(), mesh.vertices, before.size() * sizeof(ModelVertex)), 0);
}

TEST(ModelNormals, TangentsFollowTheTextureAxes)
{
    // A triangle in the x-z plane with u along +x and v (as stored) along -z.
    std::string bytes = formLwo2(chunkLwo2("PNTS", beFloat(0) + beFloat(0) + beFloat(0) + beFloat(1) +
                                                       beFloat(0) + beFloat(0) + beFloat(0) + beFloat(0) +
                                                       beFloat(-1)) +
                                 chunkLwo2("POLS", "FACE" + be16(3) + vx(0) + vx(1) + vx(2)) +
                                 chunkLwo2("VMAP", "TXUV" + be16(2) + s0("uv") + vx(0) + beFloat(0) +
                                                       beFloat(1) + vx(1) + beFloat(1) + beFloat(1) +
                                                       vx(2) + beFloat(0) + beFloat(0)));
    ReadModel read(bytes);
    ASSERT_NE(read.model, nullptr);
    const ModelVertex &v = read.mesh().vertices[2];
    EXPECT_FLOAT_EQ(v.tangent[0], 1.0f);
    EXPECT_FLOAT_EQ(v.binormal[2], -1.0f);
    EXPECT_FLOAT_EQ(length(v.binormal), 1.0f);
}

TEST(ModelNormals, PolygonsOfTwoCornersContributeNothing)
{
    ReadModel read(formLwo2(chunkLwo2("PNTS", std::string(36, '\0')) +
                            chunkLwo2("POLS", "FACE" + be16(2) + vx(0) + vx(1))));
    ASSERT_NE(read.model, nullptr);
    EXPECT_EQ(read.mesh().polygons[0].normal[0], 0.0f);
    EXPECT_EQ(read.mesh().vertices[0].useCount, 0.0f);
}

TEST(ModelSplit, TransparentPolygonsAreSetApartInFileOrder)
{
    ReadModel read(write3ds(cube(), "cube"));
    ASSERT_NE(read.model, nullptr);
    const ModelMesh &mesh = read.mesh();
    EXPECT_EQ(read.model->transparentMeshCount, 1);
    ASSERT_EQ(mesh.polygonCount, 10);
    ASSERT_EQ(mesh.transparentCount, 2);
    EXPECT_STREQ(mesh.transparentPolygons[0].material->name, "glass");
    // The +y face (triangles 6 and 7) moved; the -z face follows the -y face.
    EXPECT_EQ(mesh.transparentPolygons[0].corners[0].vertex, 2);
    EXPECT_EQ(mesh.polygons[6].corners[1].vertex, 2);
}

class ModelTableTest : public KernelTest {
protected:
    void SetUp() override
    {
        KernelTest::SetUp();
        resetModelTable();
        demoSystem.state = 0;
        path = scratch.write("data/Cube.3ds", write3ds(cube(), "cube"));
    }
    void TearDown() override
    {
        resetModelTable();
        KernelTest::TearDown();
    }
    ScratchDirectory scratch;
    std::string path;
};

TEST_F(ModelTableTest, SharedByNameIgnoringCaseWhileLoadingOnly)
{
    Model3ds *first = loadModel(path.c_str(), 1);
    ASSERT_NE(first, nullptr);
    std::string otherCase = scratch.path() + "/data/CUBE.3DS";
    EXPECT_EQ(loadModel(otherCase.c_str(), 1), first);
    Model3ds *privateCopy = loadModel(path.c_str(), 0);
    EXPECT_NE(privateCopy, first);
    freeModel(privateCopy);
    demoSystem.state = 1;
    Model3ds *later = loadModel(path.c_str(), 1);
    EXPECT_NE(later, first);
    freeModel(later);
    EXPECT_EQ(modelTable.count, 1);
    EXPECT_EQ(errors(), std::vector<std::string>());
}

TEST_F(ModelTableTest, FilesThatAreNoModelGiveNone)
{
    for (const char *contents : {"", "plain text", "FORM\0\0\0\4LWOB"})
        EXPECT_EQ(loadModel(scratch.write("data/bad", contents).c_str(), 1), nullptr);
    EXPECT_EQ(loadModel((scratch.path() + "/missing.3ds").c_str(), 1), nullptr);
    EXPECT_EQ(loadModel(scratch.path().c_str(), 1), nullptr);
    EXPECT_EQ(modelTable.count, 0);
    EXPECT_EQ(errors(), std::vector<std::string>());
}

TEST_F(ModelTableTest, The65thSharedModelIsAnErrorAndStaysPrivate)
{
    for (int i = 0; i < MAX_MODELS; i++)
        ASSERT_NE(loadModel(scratch.write("m" + std::to_string(i) + ".3ds", write3ds(cube(), "c")).c_str(), 1),
                  nullptr);
    Model3ds *extra = loadModel(path.c_str(), 1);
    ASSERT_NE(extra, nullptr);      // debug mode goes on with the model
    EXPECT_EQ(modelTable.count, MAX_MODELS);
    EXPECT_EQ(errors(), std::vector<std::string>(
                            {"Too many 3ds scenes. Only 64 simultaneous scenes are supported."}));
    freeModel(extra);
}

// Real files from many exporters: each loads or gives none, and what loads
// has only corners that name vertices of their mesh.
static void forEachModelFile(const std::string &directory, const std::function<void(const std::string &)> &visit)
{
    DIR *listing = opendir(directory.c_str());
    if (!listing)
        return;
    while (dirent *entry = readdir(listing)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        std::string path = directory + "/" + name;
        if (entry->d_type == DT_DIR) {
            forEachModelFile(path, visit);
            continue;
        }
        size_t dot = name.rfind('.');
        std::string extension = dot == std::string::npos ? "" : name.substr(dot);
        if (strcasecmp(extension.c_str(), ".3ds") == 0 || strcasecmp(extension.c_str(), ".lwo") == 0)
            visit(path);
    }
    closedir(listing);
}

TEST_F(ModelTableTest, EveryTestModelOfThePackageLoadsOrGivesNone)
{
    int files = 0, loaded = 0;
    forEachModelFile("/usr/share/assimp/models", [&](const std::string &file) {
        SCOPED_TRACE(file);
        files++;
        Model3ds *model = loadModel(file.c_str(), 0);
        if (!model)
            return;
        loaded++;
        for (int m = 0; m < model->meshCount; m++) {
            const ModelMesh &mesh = model->meshes[m];
            for (int i = 0; i < mesh.polygonCount; i++)
                for (int c = 0; c < mesh.polygons[i].cornerCount; c++)
                    ASSERT_LT(mesh.polygons[i].corners[c].vertex, mesh.vertexCount);
        }
        freeModel(model);
    });
    ASSERT_GT(files, 40) << "the assimp-testmodels package is not installed";
    EXPECT_GT(loaded, 40);
    EXPECT_EQ(errors(), std::vector<std::string>());
}
