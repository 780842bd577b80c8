// Fuzzes the 3DS reader and what loading does after it: normals, tangents
// and the transparent split.
#include <cstdint>

#include "models/model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Model3ds *model = readModel3ds(data, size);
    if (!model)
        return 0;
    recomputeNormals(model);
    splitTransparentPolygons(model);
    recomputeNormals(model);
    freeModel(model);
    return 0;
}
