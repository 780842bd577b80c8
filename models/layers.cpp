// Render-properties files: lines of "key value" inside "{" ... "}" layers,
// read into a list of Layer records; and the upload of material textures.
#include "models/layers.h"

#include <GL/gl.h>
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/texture.h"
#include "kernel/log.h"
#include "kernel/script.h"
#include "kernel/section.h"
#include "models/model.h"

enum { LAYER_LINE_SIZE = 512 };     // at most 511 characters a line

static const NamedValue renderModes[] = {
    {"vertexes", RENDER_VERTEXES},   {"wireframe", RENDER_WIREFRAME},
    {"color", RENDER_COLOR},         {"flat", RENDER_FLAT},
    {"shaded", RENDER_SHADED},       {"normals", RENDER_NORMALS},
    {"texture", RENDER_TEXTURE},     {"environment", RENDER_ENVIRONMENT},
    {"cell", RENDER_CELL},           {"outline", RENDER_OUTLINE},
    {"bump", RENDER_BUMP},           {"glsl", RENDER_GLSL},
    {"binormal", RENDER_BINORMAL},
};

static const NamedValue cullFaces[] = {{"front", GL_FRONT}, {"back", GL_BACK}};

static Layer *newLayer()
{
    Layer *layer = static_cast<Layer *>(calloc(1, sizeof(Layer)));
    layer->lineWidth = 1.0f;
    return layer;
}

static bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The blank- or tab-separated words of a value.
static std::vector<std::string> wordsOf(const char *value)
{
    std::vector<std::string> words;
    const char *c = value;
    while (*c) {
        while (isBlank(*c))
            c++;
        const char *start = c;
        while (*c && !isBlank(*c))
            c++;
        if (c > start)
            words.emplace_back(start, c - start);
    }
    return words;
}

// Reads every word from `first` on as a number; false when one is not.
static bool readNumbers(const std::vector<std::string> &words, size_t first, float *out)
{
    for (size_t i = first; i < words.size(); i++)
        if (!scanFloat(words[i].c_str(), &out[i - first]))
            return false;
    return true;
}

// Where a message about the line goes.
struct LayerLine {
    const char *path;
    int number;
};

static void lineError(const LayerLine &line, const char *message)
{
    scriptError(message, line.path, line.number);
}

static void readBlend(Layer *layer, const char *value, const LayerLine &line)
{
    std::vector<std::string> words = wordsOf(value);
    if (words.size() < 2) {
        lineError(line, "Invalid blend");
        return;
    }
    int32_t source = findBlendFactor(words[0].c_str());
    int32_t destination = findBlendFactor(words[1].c_str());
    layer->sfactor = static_cast<uint32_t>(source);
    layer->dfactor = static_cast<uint32_t>(destination);
    layer->blendEnabled = 1;
    if (source == -1 || destination == -1)
        lineError(line, "Invalid blend factor");
}

static void readAlpha(Layer *layer, const char *value, const LayerLine &line)
{
    std::vector<std::string> words = wordsOf(value);
    float references[2];
    size_t numbers = words.empty() ? 0 : words.size() - 1;
    if (numbers < 1 || numbers > 2 || !readNumbers(words, 1, references)) {
        lineError(line, "Invalid alpha");
        return;
    }
    layer->alpha1 = references[0];
    layer->alpha2 = numbers == 2 ? references[1] : references[0];
    int32_t function = findAlphaFunc(words[0].c_str());
    layer->alphaFunc = static_cast<uint32_t>(function);
    layer->alphaEnabled = 1;
    if (function == -1)
        lineError(line, "Invalid alpha function");
}

static void readColor(Layer *layer, const char *value, const LayerLine &line)
{
    std::vector<std::string> words = wordsOf(value);
    float color[4];
    if (words.size() != 4 || !readNumbers(words, 0, color)) {
        lineError(line, "Invalid color");
        return;
    }
    memcpy(layer->color, color, sizeof(color));
}

static void readTexture(Layer *layer, const char *value)
{
    layer->texture = tex_load(value, 1);
    tex_properties(layer->texture, TEX_MODULATE);
    tex_upload(layer->texture, 1);
}

static void readLayerLine(Layer *layer, const char *key, const char *value, const LayerLine &line)
{
    if (strcasecmp(key, "mode") == 0) {
        layer->mode = findNamedValue(renderModes, sizeof(renderModes) / sizeof(renderModes[0]), value);
        if (layer->mode == -1)
            lineError(line, "Unknown render mode");
    } else if (strcasecmp(key, "blend") == 0) {
        readBlend(layer, value, line);
    } else if (strcasecmp(key, "alpha") == 0) {
        readAlpha(layer, value, line);
    } else if (strcasecmp(key, "color") == 0) {
        readColor(layer, value, line);
    } else if (strcasecmp(key, "texture") == 0) {
        readTexture(layer, value);
    } else if (strcasecmp(key, "cullface") == 0) {
        layer->cullEnabled = 1;
        int32_t face = findNamedValue(cullFaces, 2, value);
        if (face == -1)
            lineError(line, "Invalid cullface");
        else
            layer->cullFace = static_cast<uint32_t>(face);
    } else if (strcasecmp(key, "linewidth") == 0) {
        std::vector<std::string> words = wordsOf(value);
        if (words.size() != 1 || !readNumbers(words, 0, &layer->lineWidth))
            lineError(line, "Invalid line width");
    } else if (strcasecmp(key, "node") == 0) {
        free(layer->node);
        layer->node = strdup(value);
    } else {
        lineError(line, "Unknown layer variable");
    }
}

// Splits "  key  value" at blanks and tabs; the value runs to the line end.
static void splitLayerLine(const char *text, std::string *key, const char **value)
{
    while (isBlank(*text))
        text++;
    const char *end = text;
    while (*end && !isBlank(*end))
        end++;
    key->assign(text, end - text);
    while (isBlank(*end))
        end++;
    *value = end;
}

Layer *loadLayers(const char *path)
{
    FILE *file = fopen(path, "rb");
    if (!file) {
        engineError("Error loading '%s'", path);
        return nullptr;
    }
    size_t length = 0;
    char *text = loadOpenFile(file, &length);
    if (!text)
        return nullptr;
    Layer *head = nullptr, **tail = &head, *current = nullptr;
    char buffer[LAYER_LINE_SIZE];
    LayerLine line = {path, 0};
    size_t position = 0;
    while ((position = readLine(text, length, position, buffer, sizeof(buffer))) != 0) {
        // A CR LF pair ends one line.
        if (position < length && text[position - 1] == '\r' && text[position] == '\n')
            position++;
        line.number++;
        char first = buffer[0];
        if (first == '\0' || first == ';' || first == '}')
            continue;
        if (first == '{') {
            current = newLayer();
            *tail = current;
            tail = &current->next;
            continue;
        }
        if (!current)
            continue;
        std::string key;
        const char *value;
        splitLayerLine(buffer, &key, &value);
        readLayerLine(current, key.c_str(), value, line);
    }
    free(text);
    return head;
}

void freeLayers(Layer *layers)
{
    while (layers) {
        Layer *next = layers->next;
        free(layers->node);
        free(layers);
        layers = next;
    }
}

void model_upload_tex(Model3ds *model, const char *directory)
{
    for (ModelMaterial *material = model->materials; material; material = material->next) {
        if (material->texture == 0 || !material->textureFile)
            continue;
        std::string path = std::string(directory) + material->textureFile;
        engineTrace("model_upload_tex: Uploading texture: %s\n", path.c_str());
        material->texture = tex_load(path.c_str(), 1);
        tex_properties(material->texture, 0);
        tex_upload(material->texture, 1);
    }
}
