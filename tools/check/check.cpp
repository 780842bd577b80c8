// glimra-check [RUNDIR]: reads the scripts of a demo exactly as the engine
// does, sets up every section's splines, and prints the settings and
// sections it understood as one JSON document. Exits 1 if anything was
// reported as an error.
#include <unistd.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "graphics/spline.h"
#include "kernel/demo.h"
#include "kernel/log.h"
#include "kernel/section.h"
#include "platform/platform.h"

using json = nlohmann::ordered_json;

static json stringOrNull(const char *text)
{
    return text ? json(text) : json(nullptr);
}

static json settingsDocument()
{
    json settings = json::object();
    for (const Setting &setting : settingsTable) {
        switch (setting.type) {
        case SETTING_INT:
            settings[setting.name] = *static_cast<const int32_t *>(setting.target);
            break;
        case SETTING_FLOAT:
            settings[setting.name] = *static_cast<const float *>(setting.target);
            break;
        case SETTING_STRING:
            settings[setting.name] = stringOrNull(*static_cast<char *const *>(setting.target));
            break;
        }
    }
    return settings;
}

static json splinesDocument(const Section *section)
{
    json splines = json::array();
    for (int i = 0; i < section->splineNum; i++) {
        const Spline *spline = section->splines[i];
        splines.push_back({{"file", section->splineFiles[i]},
                           {"duration", section->splineDurations[i]},
                           {"loaded", spline != nullptr},
                           {"keys", spline ? spline->keyCount : 0},
                           {"channels", spline ? spline->channels : 0}});
    }
    return splines;
}

static json sectionDocument(const Section *section)
{
    json document = json::object();
    document["type"] = sectionHasType(section) ? json(sectionTypeName(section)) : json(nullptr);
    document["typeIndex"] = section->typeIndex;
    document["id"] = section->identifier;
    document["start"] = section->startTime;
    document["end"] = section->endTime;
    document["duration"] = section->duration;
    document["layer"] = section->layer;
    document["enabled"] = section->enabled;
    document["blend"] = section->blendEnabled
        ? json::array({section->sfactor, section->dfactor}) : json(nullptr);
    document["alpha"] = section->alphaEnabled
        ? json::array({section->alphaFunc, section->alpha1, section->alpha2}) : json(nullptr);
    document["params"] = std::vector<float>(section->param, section->param + section->paramNum);
    json strings = json::array();
    for (int i = 0; i < section->stringNum; i++)
        strings.push_back(section->strings[i]);
    document["strings"] = strings;
    document["splines"] = splinesDocument(section);
    return document;
}

int main(int argc, char **argv)
{
    // In slave mode every trace also goes to standard output; keep the
    // document alone there by sending the run's own output to standard error.
    fflush(stdout);
    int documentOutput = dup(STDOUT_FILENO);
    dup2(STDERR_FILENO, STDOUT_FILENO);

    platformOpenDebugChannel();
    startKernel(argc, argv, true);
    for (Section *section = demoSystem.sectionList; section; section = section->next)
        setupSplines(section);

    json sections = json::array();
    for (const Section *section = demoSystem.sectionList; section; section = section->next)
        sections.push_back(sectionDocument(section));
    json document = {{"settings", settingsDocument()}, {"sections", sections}};

    fflush(stdout);
    dup2(documentOutput, STDOUT_FILENO);
    close(documentOutput);
    std::string text = document.dump(2, ' ', false, json::error_handler_t::replace);
    printf("%s\n", text.c_str());
    return engineErrorCount() > 0 ? 1 : 0;
}
