// glimra-modelgen DIRECTORY: writes the generated shapes as 3DS and LWO2
// files (torus, sphere, cube, logo, ring) for example demos and tests.
#include <cstdio>
#include <string>

#include "tools/modelgen/modelgen.h"

static bool writeFile(const std::string &path, const std::string &bytes)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (!file) {
        fprintf(stderr, "glimra-modelgen: cannot write '%s'\n", path.c_str());
        return false;
    }
    bool written = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && written;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: glimra-modelgen DIRECTORY\n");
        return 2;
    }
    struct {
        const char *name;
        modelgen::Shape shape;
    } shapes[] = {
        {"torus", modelgen::torus(2.0f, 0.7f, 48, 24)},
        {"sphere", modelgen::sphere(2.0f, 24, 32)},
        {"cube", modelgen::cube()},
        {"logo", modelgen::logo(1.0f)},
        // On the sphere's grid, so that the two morph vertex by vertex.
        {"ring", modelgen::torus(2.0f, 0.7f, 24, 32)},
    };
    std::string directory = argv[1];
    for (const auto &entry : shapes) {
        std::string base = directory + "/" + entry.name;
        if (!writeFile(base + ".3ds", modelgen::write3ds(entry.shape, entry.name)) ||
            !writeFile(base + ".lwo", modelgen::writeLwo2(entry.shape)))
            return 1;
    }
    return 0;
}
