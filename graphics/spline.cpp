// Spline files and their evaluation.
#include "graphics/spline.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "kernel/log.h"
#include "kernel/script.h"

enum { SPLINE_LINE_SIZE = 512 };

static bool isKeyLine(const char *line)
{
    return line[0] != '\0' && line[0] != ';';
}

// A malformed key line: the first one fixes the channels, so it is the
// file's format that is wrong; a later one has the wrong channel count.
static bool reportKeyLine(const char *path, bool firstKey)
{
    if (firstKey)
        engineError("Spline: incorrect format in '%s'", path);
    else
        engineError("Spline: incorrect channel in '%s'", path);
    return false;
}

// Whether the line from `position` holds a zero byte. Spline files are
// text, and a zero byte must neither end the text nor split a line in two.
static bool lineHoldsZero(const char *text, size_t length, size_t position)
{
    while (position < length && text[position] != '\n' && text[position] != '\r') {
        if (text[position] == '\0')
            return true;
        position++;
    }
    return false;
}

// Reads the key rows; false after reporting a malformed file.
static bool readKeys(const char *path, const char *text, size_t length,
                     std::vector<SplineKey> &keys, int &channels)
{
    char line[SPLINE_LINE_SIZE];
    size_t position = 0;
    while (position < length) {
        if (lineHoldsZero(text, length, position))
            return reportKeyLine(path, keys.empty());
        position = readLine(text, length, position, line, sizeof(line));
        if (!isKeyLine(line))
            continue;
        SplineKey key = {};
        int count = parseFloatList(line, key.values, MAX_SPLINE_CHANNELS);
        if (keys.empty() ? count == 0 : count != channels)
            return reportKeyLine(path, keys.empty());
        if (keys.empty())
            channels = count;
        keys.push_back(key);
    }
    return true;
}

Spline *spline_load(const char *path)
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
    Spline *spline = spline_parse(text, length, path);
    free(text);
    return spline;
}

Spline *spline_parse(const char *text, size_t length, const char *name)
{
    std::vector<SplineKey> keys;
    int channels = 0;
    if (!readKeys(name, text, length, keys, channels))
        return nullptr;

    Spline *spline = static_cast<Spline *>(calloc(1, sizeof(Spline)));
    spline->keyCount = static_cast<int>(keys.size());
    spline->channels = channels;
    if (!keys.empty()) {
        spline->keys = static_cast<SplineKey *>(malloc(keys.size() * sizeof(SplineKey)));
        memcpy(spline->keys, keys.data(), keys.size() * sizeof(SplineKey));
    }
    return spline;
}

void spline_set_duration(Spline *spline, float duration)
{
    spline->duration = duration;
    // A single key sits at the start; there is no span to spread it over.
    float spacing = spline->keyCount > 1 ? duration / (spline->keyCount - 1) : 0.0f;
    for (int j = 0; j < spline->keyCount; j++)
        spline->keys[j].time = spacing * j;
}

void spline_free(Spline *spline)
{
    if (!spline)
        return;
    free(spline->keys);
    free(spline);
}

// Hermite interpolation of one segment, from key k to key k + 1, at s in
// [0, 1]. The tangents use the neighbouring keys where they exist; the
// first and last keys use the segment's own difference.
static void evaluateSegment(const Spline *spline, int k, float s, float *out)
{
    const SplineKey *keys = spline->keys;
    const SplineKey &from = keys[k];
    const SplineKey &to = keys[k + 1];
    bool firstKey = k == 0;
    bool lastKey = k + 1 == spline->keyCount - 1;

    float s2 = s * s, s3 = s2 * s;
    float h1 = 1.0f - (3.0f * s2 - 2.0f * s3);
    float h2 = 3.0f * s2 - 2.0f * s3;
    float h3 = s3 - 2.0f * s2 + s;
    float h4 = s3 - s2;

    float m = (1 - from.tension) * (1 + from.continuity) * (1 + from.bias);
    float o = (1 - from.tension) * (1 - from.continuity) * (1 - from.bias);
    float t = (1 - to.tension) * (1 - to.continuity) * (1 + to.bias);
    float r = (1 - to.tension) * (1 + to.continuity) * (1 - to.bias);
    float span = to.time - from.time;

    for (int c = 0; c < spline->channels; c++) {
        float difference = to.values[c] - from.values[c];
        float outgoing = firstKey
            ? difference * (m + o) * 0.5f
            : (m * (from.values[c] - keys[k - 1].values[c]) + o * difference) * span /
                  (to.time - keys[k - 1].time);
        float incoming = lastKey
            ? difference * (r + t) * 0.5f
            : (r * (keys[k + 2].values[c] - to.values[c]) + t * difference) * span /
                  (keys[k + 2].time - from.time);
        out[c] = h1 * from.values[c] + h2 * to.values[c] + h3 * outgoing + h4 * incoming;
    }
}

void spline_evaluate(const Spline *spline, float time, float *out)
{
    const SplineKey *keys = spline->keys;
    int channels = spline->channels;
    if (spline->keyCount == 0)
        return;
    if (spline->keyCount == 1) {
        memcpy(out, keys[0].values, channels * sizeof(float));
        return;
    }

    int k = 0;
    while (time > keys[k + 1].time) {
        if (k + 1 == spline->keyCount - 1) {
            time = keys[k + 1].time;
            break;
        }
        k++;
    }
    const SplineKey &from = keys[k];
    const SplineKey &to = keys[k + 1];
    float span = to.time - from.time;
    // Keys at one instant (a zero duration) have no curve between them.
    if (span <= 0.0f) {
        memcpy(out, to.values, channels * sizeof(float));
        return;
    }
    float s = (time - from.time) / span;
    if (to.linear) {
        for (int c = 0; c < channels; c++)
            out[c] = from.values[c] + s * (to.values[c] - from.values[c]);
        return;
    }
    evaluateSegment(spline, k, s, out);
}
