// Helpers the two model readers share; not for the rest of the engine.
#pragma once

#include <string>

#include "models/model.h"

// A material with the defaults: grey diffuse, shininess 1, map scale 1.
// `name` is copied.
ModelMaterial *newMaterial(const char *name);

// Appends a zeroed mesh and returns it.
ModelMesh *appendMesh(Model3ds *model);

// A zeroed vertex array of `count` vertices; replaces the mesh's.
void setVertexCount(ModelMesh *mesh, int32_t count);

// A zeroed polygon array of `count` polygons with no corners and tag -1;
// replaces the mesh's.
void setPolygonCount(ModelMesh *mesh, int32_t count);

// Gives a polygon `count` zeroed corners.
void setCornerCount(ModelPolygon *polygon, uint16_t count);

// A new map of `count` zeroed entries at the head of the mesh's maps.
UvMap *pushUvMap(ModelMesh *mesh, int32_t count, int32_t perPolygon);

// Leaves out, in every mesh, the polygons with a corner whose vertex the
// mesh does not have, keeping the others in order.
void dropPolygonsWithMissingVertices(Model3ds *model);

// Whether two names are equal ignoring letter case; null equals nothing.
bool sameName(const char *a, const char *b);

// The name in lower case, as a key of the name maps the readers look
// materials up in.
std::string lowerCase(const char *name);
