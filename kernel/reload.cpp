// Live reload: watching the scripts and the files their sections name, and
// replacing the sections a change touches while the demo plays.
#include "kernel/reload.h"

#include <SDL/SDL.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "graphics/texture.h"
#include "kernel/demo.h"
#include "kernel/log.h"
#include "kernel/script.h"
#include "kernel/section.h"
#include "kernel/timeline.h"
#include "platform/platform.h"

enum { CHECK_INTERVAL_MS = 500 };

// What a look at a file tells of its last change.
struct FileStamp {
    bool exists;
    int64_t modified;    // nanoseconds since the epoch
    int64_t size;
    bool operator==(const FileStamp &other) const
    {
        return exists == other.exists && modified == other.modified && size == other.size;
    }
    bool operator!=(const FileStamp &other) const { return !(*this == other); }
};

// A file a section names, stamped when the section was loaded.
struct NamedFile {
    std::string path;
    FileStamp stamp;
};

// A section read from a watched script.
struct WatchedSection {
    Section *section;                // null once something else deleted it
    std::string text;                // its lines, header first
    std::vector<NamedFile> files;
    bool loaded;                     // its load ran (false outside the played range)
};

struct WatchedScript {
    std::string path;                // as the parser names it: "data/demo.glm"
    FileStamp stamp;
    std::string settings;            // the lines before the first header
    std::vector<WatchedSection> sections;    // in file order
    bool broken;                     // its last text had errors
};

// Who writes what: reload_noteScript fills the scripts while the scripts are
// read; reload_check keeps them in line with the files afterwards.
static struct {
    std::string directory;
    std::vector<WatchedScript> scripts;
    bool started;                    // the loaded flags are known
    uint32_t lastCheck;              // SDL ticks
    std::set<std::string> refreshed; // shared files (shaders) that changed during the run
} watch;

// ---------------------------------------------------------------------------
// Files

static FileStamp stampOf(const std::string &path)
{
    struct stat status;
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return {false, 0, 0};
    return {true, static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec,
            static_cast<int64_t>(status.st_size)};
}

// The files a section names: its spline files, and those of its strings
// that name a file (the others are formulas and texts).
static std::vector<NamedFile> namedFiles(const Section *section)
{
    std::vector<NamedFile> files;
    for (int i = 0; i < section->splineNum; i++)
        files.push_back({section->splineFiles[i], stampOf(section->splineFiles[i])});
    for (int i = 0; i < section->stringNum; i++) {
        FileStamp stamp = stampOf(section->strings[i]);
        if (stamp.exists)
            files.push_back({section->strings[i], stamp});
    }
    return files;
}

// A script's text up to its first zero byte, as the parser reads it; empty
// for a file that is gone.
static std::string scriptText(const WatchedScript &script)
{
    if (!script.stamp.exists)
        return "";
    char *text = loadFile(script.path.c_str());
    std::string contents = text ? text : "";
    free(text);
    return contents;
}

// ---------------------------------------------------------------------------
// Script texts

// A script cut where the parser cuts it: the settings lines, then one text
// per section from its header line to the next header.
struct ScriptParts {
    std::string settings;
    std::vector<std::string> sections;
};

static ScriptParts splitScript(const std::string &text)
{
    ScriptParts parts;
    std::string *current = &parts.settings;
    size_t position = 0;
    while (position < text.size()) {
        size_t end = text.find_first_of("\r\n", position);
        end = end == std::string::npos ? text.size() : end + 1;
        if (text[position] == '[') {
            parts.sections.emplace_back();
            current = &parts.sections.back();
        }
        current->append(text, position, end - position);
        position = end;
    }
    return parts;
}

// The settings lines of a script part, by lower-case key, as the parser
// reads them (the last line of a key wins).
static std::map<std::string, std::string> settingLines(const std::string &settings)
{
    std::map<std::string, std::string> lines;
    char line[SCRIPT_LINE_SIZE], key[KEY_VALUE_SIZE], value[KEY_VALUE_SIZE];
    size_t position = 0;
    while ((position = readLine(settings.c_str(), settings.size(), position, line,
                                sizeof(line))) != 0) {
        if (line[0] == '\0' || line[0] == ';')
            continue;
        splitKeyValue(line, key, value);
        std::string name = key;
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(tolower(c)); });
        lines[name] = value;
    }
    return lines;
}

// The keys whose lines differ between two settings parts.
static std::vector<std::string> changedSettings(const std::string &before,
                                                const std::string &after)
{
    std::map<std::string, std::string> old = settingLines(before), now = settingLines(after);
    std::vector<std::string> keys;
    for (const auto &line : now) {
        auto previous = old.find(line.first);
        if (previous == old.end() || previous->second != line.second)
            keys.push_back(line.first);
    }
    for (const auto &line : old) {
        if (!now.count(line.first))
            keys.push_back(line.first);
    }
    return keys;
}

// The played range and looping take effect at once; every other setting
// shapes the window or the loading and waits for the next start.
static bool takesEffectLive(const std::string &key)
{
    return key == "demo_start" || key == "demo_end" || key == "loop";
}

// The text the parser is given: `debug` lines become comments (same line
// numbers), so that a script switching debug off cannot make an error of
// this very text end the run.
static std::string withoutDebugLines(const std::string &text)
{
    std::string copy = text;
    size_t position = 0;
    while (position < copy.size() && copy[position] != '[') {
        size_t end = copy.find_first_of("\r\n", position);
        end = end == std::string::npos ? copy.size() : end;
        size_t key = copy.find_first_not_of(" \t", position);
        if (key < end && strncasecmp(copy.c_str() + key, "debug", 5) == 0 &&
            (key + 5 == end || copy[key + 5] == ' ' || copy[key + 5] == '\t'))
            copy[position] = ';';
        position = end + 1;
    }
    return copy;
}

// ---------------------------------------------------------------------------
// Settings

// Every setting's value, so that a reload changes only those it may change.
struct SettingValue {
    int32_t integer;
    float real;
    bool hasText;
    std::string text;
};

static std::vector<SettingValue> saveSettings()
{
    std::vector<SettingValue> values;
    for (const Setting &setting : settingsTable) {
        SettingValue value = {};
        if (setting.type == SETTING_INT)
            value.integer = *static_cast<int32_t *>(setting.target);
        else if (setting.type == SETTING_FLOAT)
            value.real = *static_cast<float *>(setting.target);
        else if (const char *text = *static_cast<char **>(setting.target))
            value.hasText = true, value.text = text;
        values.push_back(value);
    }
    return values;
}

static void restoreSettings(const std::vector<SettingValue> &values)
{
    for (int i = 0; i < SETTING_COUNT; i++) {
        const Setting &setting = settingsTable[i];
        if (setting.type == SETTING_INT) {
            *static_cast<int32_t *>(setting.target) = values[i].integer;
        } else if (setting.type == SETTING_FLOAT) {
            *static_cast<float *>(setting.target) = values[i].real;
        } else {
            char **target = static_cast<char **>(setting.target);
            if (!values[i].hasText || !*target || values[i].text != *target)
                replaceString(target, values[i].hasText ? values[i].text.c_str() : nullptr);
        }
    }
}

// Applies the settings lines that changed: the live ones from the new text,
// the others reported. Returns how many wait for a restart.
static int applySettings(const WatchedScript &script, const std::string &settings)
{
    std::map<std::string, std::string> lines = settingLines(settings);
    int waiting = 0;
    for (const std::string &key : changedSettings(script.settings, settings)) {
        const Setting *setting = findSetting(key.c_str());
        if (!setting)
            continue;
        if (!takesEffectLive(key)) {
            engineWarning("Setting '%s' changed in '%s': it takes effect when the demo starts again",
                          key.c_str(), script.path.c_str());
            waiting++;
        } else if (lines.count(key)) {
            assignSetting(setting, lines[key].c_str());
        }
    }
    return waiting;
}

// ---------------------------------------------------------------------------
// Sections

// Puts `replacement` where `section` is in sectionList and takes `section` out.
static void replaceInList(Section *section, Section *replacement)
{
    replacement->prev = section->prev;
    replacement->next = section->next;
    if (section->prev)
        section->prev->next = replacement;
    else
        demoSystem.sectionList = replacement;
    if (section->next)
        section->next->prev = replacement;
    section->next = section->prev = nullptr;
}

static bool namesFileOf(const std::vector<NamedFile> &files, const std::set<std::string> &paths)
{
    for (const NamedFile &file : files) {
        if (paths.count(file.path))
            return true;
    }
    return false;
}

// Loads a section read by a reload as the editor's section update loads one.
// Like the loading sequence it shares pictures and shaders by file name, so
// a reload costs no new entries in the fixed tables; only a section naming
// a changed shader reads every file it names again.
static void loadSection(WatchedSection *watched)
{
    Section *section = watched->section;
    watched->files = namedFiles(section);
    int state = demoSystem.state;
    if (!namesFileOf(watched->files, watch.refreshed))
        demoSystem.state = STATE_LOADING;
    currentSection = section;
    setupSplines(section);
    callOperation(section, &SectionType::preload);
    callOperation(section, &SectionType::load);
    demoSystem.state = state;
    watched->loaded = true;
}

// Frees a section that left the list. What it loaded stays in the tables,
// which other sections may share.
static void dropSection(const WatchedSection &watched)
{
    if (currentSection == watched.section)
        currentSection = nullptr;
    freeSection(watched.section);
}

// Deletes the textures of a picture file; false when it has none.
static bool forgetPicture(const std::string &path)
{
    bool found = false;
    for (int index = 0; index < textures.count; index++) {
        const Texture *texture = tex_get(index);
        if (texture && texture->name && strcasecmp(texture->name, path.c_str()) == 0) {
            tex_delete(index);
            found = true;
        }
    }
    return found;
}

static bool isSplineFile(const std::string &path)
{
    for (const Section *section = demoSystem.sectionList; section; section = section->next) {
        for (int i = 0; i < section->splineNum; i++) {
            if (path == section->splineFiles[i])
                return true;
        }
    }
    return false;
}

// Changed files must be read again by the sections reloaded for them.
// Splines always are; a changed picture's textures are deleted, so that its
// sections load it afresh and share it again; any other file (a shader) is
// shared by name from a table that keeps its entries, so from now on the
// sections naming it read it themselves.
static void forgetChangedFiles(const std::set<std::string> &changed)
{
    for (const std::string &path : changed) {
        if (!forgetPicture(path) && !isSplineFile(path))
            watch.refreshed.insert(path);
    }
}

// The first section of `sections` not taken yet that `matches`, or -1.
template <typename Match>
static int findUntaken(const std::vector<WatchedSection> &sections, const std::vector<bool> &taken,
                       Match matches)
{
    for (size_t j = 0; j < sections.size(); j++) {
        if (!taken[j] && sections[j].section && matches(j))
            return static_cast<int>(j);
    }
    return -1;
}

// What a reload did, for its report.
struct ReloadCounts {
    int replaced, added, removed, loaded, waitingSettings;
};

// Matches the sections of a new text to the running ones of its script:
// an identical text first (wherever it moved), then the same id, then the
// same place among those left. Returns, for each new section, the old
// index or -1.
static std::vector<int> matchSections(const std::vector<WatchedSection> &old,
                                      const std::vector<Section *> &parsed,
                                      const std::vector<std::string> &texts)
{
    std::vector<int> match(parsed.size(), -1);
    std::vector<bool> taken(old.size(), false);
    auto take = [&](size_t i, int j) {
        if (j >= 0)
            match[i] = j, taken[j] = true;
    };
    for (size_t i = 0; i < parsed.size(); i++)
        take(i, findUntaken(old, taken, [&](size_t j) { return old[j].text == texts[i]; }));
    for (size_t i = 0; i < parsed.size(); i++) {
        if (match[i] < 0 && parsed[i]->identifier[0])
            take(i, findUntaken(old, taken, [&](size_t j) {
                     return strcmp(old[j].section->identifier, parsed[i]->identifier) == 0;
                 }));
    }
    // The rest in order: the n-th section left of the new text is the n-th
    // one left of the old, whatever was added or moved around them; two
    // different ids are two different sections.
    for (size_t i = 0; i < parsed.size(); i++) {
        if (match[i] < 0)
            take(i, findUntaken(old, taken, [&](size_t j) {
                     return !parsed[i]->identifier[0] || !old[j].section->identifier[0];
                 }));
    }
    return match;
}

// Parses a script text on its own list; the running sections stay as they
// are. Returns the new sections in file order.
static std::vector<Section *> parseApart(const std::string &text, const std::string &path)
{
    Section *running = demoSystem.sectionList;
    demoSystem.sectionList = nullptr;
    parseScript(withoutDebugLines(text).c_str(), path.c_str());
    std::vector<Section *> parsed;
    for (Section *section = demoSystem.sectionList; section; section = section->next)
        parsed.insert(parsed.begin(), section);
    demoSystem.sectionList = running;
    return parsed;
}

static void report(const std::string &line)
{
    engineTrace("%s", line.c_str());
    platformWrite(CHANNEL_STDERR, (line + "\n").c_str());
}

static std::string describe(const WatchedScript &script, const ReloadCounts &counts,
                            const std::vector<std::string> &changedFiles)
{
    char line[1024];
    snprintf(line, sizeof(line),
             "Reload: '%s' at second %.2f: %d replaced, %d added, %d removed, %d loaded, "
             "%d settings wait for a restart",
             script.path.c_str(), demoSystem.currentTime, counts.replaced, counts.added,
             counts.removed, counts.loaded, counts.waitingSettings);
    std::string text = line;
    for (size_t i = 0; i < changedFiles.size(); i++)
        text += (i == 0 ? "; changed files: " : ", ") + changedFiles[i];
    return text;
}

// Applies a script's new text: unchanged sections stay loaded, changed ones
// and those naming a changed file are replaced, new ones added, missing ones
// removed. A text with errors changes nothing.
static void reloadScript(WatchedScript *script, const std::set<std::string> &changedFiles,
                         ReloadCounts *counts)
{
    std::string text = scriptText(*script);
    ScriptParts parts = splitScript(text);
    std::vector<SettingValue> settings = saveSettings();
    int errorsBefore = engineErrorCount();
    std::vector<Section *> parsed = parseApart(text, script->path);
    restoreSettings(settings);
    parts.sections.resize(parsed.size());
    if (engineErrorCount() != errorsBefore) {
        for (Section *section : parsed)
            freeSection(section);
        script->broken = true;
        report("Reload: '" + script->path + "' has errors; the demo goes on as it was");
        return;
    }
    script->broken = false;
    counts->waitingSettings = applySettings(*script, parts.settings);
    script->settings = parts.settings;

    const std::vector<WatchedSection> &old = script->sections;
    std::vector<int> match = matchSections(old, parsed, parts.sections);
    std::vector<WatchedSection> next, dropped;
    std::vector<size_t> fresh;    // indices into `next` of the sections to load
    std::vector<bool> matched(old.size(), false);
    for (size_t i = 0; i < parsed.size(); i++) {
        int j = match[i];
        if (j >= 0)
            matched[j] = true;
        if (j >= 0 && old[j].text == parts.sections[i] && !namesFileOf(old[j].files, changedFiles)) {
            freeSection(parsed[i]);
            next.push_back(old[j]);
            continue;
        }
        if (j >= 0) {
            replaceInList(old[j].section, parsed[i]);
            dropped.push_back(old[j]);
            counts->replaced++;
        } else {
            linkSection(parsed[i]);
            counts->added++;
        }
        fresh.push_back(next.size());
        next.push_back({parsed[i], parts.sections[i], {}, false});
    }
    for (size_t j = 0; j < old.size(); j++) {
        if (!matched[j] && old[j].section) {
            unlinkSection(old[j].section);
            dropped.push_back(old[j]);
            counts->removed++;
        }
    }
    if (dropped.empty() && fresh.empty())
        return;
    // Ends the dropped sections that were running before they are freed.
    rebuildQueues();
    for (const WatchedSection &watched : dropped)
        dropSection(watched);
    for (size_t index : fresh)
        loadSection(&next[index]);
    script->sections = next;
}

// Loads the watched sections a change of the played range brought into it.
static int loadNewlyPlayable()
{
    int count = 0;
    for (WatchedScript &script : watch.scripts) {
        for (WatchedSection &watched : script.sections) {
            if (watched.section && !watched.loaded &&
                (demoSystem.slave == 1 || playableFrom(watched.section, demoSystem.demo_start))) {
                loadSection(&watched);
                count++;
            }
        }
    }
    return count;
}

// Clears the sections that are no longer in sectionList (an editor
// deleted them), and on the first check notes which ones loading loaded.
static void followSectionList()
{
    std::set<const Section *> live;
    for (const Section *section = demoSystem.sectionList; section; section = section->next)
        live.insert(section);
    for (WatchedScript &script : watch.scripts) {
        for (WatchedSection &watched : script.sections) {
            if (!live.count(watched.section))
                watched.section = nullptr;
            else if (!watch.started)
                watched.loaded = demoSystem.slave == 1 ||
                                 playableFrom(watched.section, demoSystem.demo_start);
        }
    }
    watch.started = true;
}

// Scripts that appeared in the directory since the last look; a script
// that is gone reads as an empty text.
static void followDirectory()
{
    for (const std::string &name : platformListFiles(watch.directory.c_str(), ".glm")) {
        std::string path = watch.directory + "/" + name;
        bool known = false;
        for (const WatchedScript &script : watch.scripts)
            known = known || strcasecmp(script.path.c_str(), path.c_str()) == 0;
        if (!known)
            watch.scripts.push_back({path, {false, 0, 0}, "", {}, false});
    }
}

// The named files that changed since their sections were loaded. Those of
// a script with errors wait until it is saved again: its sections cannot be
// reloaded, so their pictures stay as they are.
static std::set<std::string> changedNamedFiles()
{
    std::set<std::string> changed;
    for (const WatchedScript &script : watch.scripts) {
        if (script.broken && stampOf(script.path) == script.stamp)
            continue;
        for (const WatchedSection &watched : script.sections) {
            for (const NamedFile &file : watched.files) {
                if (watched.section && stampOf(file.path) != file.stamp)
                    changed.insert(file.path);
            }
        }
    }
    return changed;
}

// The changed files the script's sections name, each once.
static std::vector<std::string> changedFilesOf(const WatchedScript &script,
                                               const std::set<std::string> &changed)
{
    std::set<std::string> named;
    for (const WatchedSection &watched : script.sections) {
        for (const NamedFile &file : watched.files) {
            if (watched.section && changed.count(file.path))
                named.insert(file.path);
        }
    }
    return std::vector<std::string>(named.begin(), named.end());
}

void reload_check()
{
    if (watch.directory.empty())
        return;
    followSectionList();
    followDirectory();
    std::set<std::string> changedFiles = changedNamedFiles();
    forgetChangedFiles(changedFiles);
    for (WatchedScript &script : watch.scripts) {
        FileStamp stamp = stampOf(script.path);
        std::vector<std::string> namedChanges = changedFilesOf(script, changedFiles);
        bool scriptChanged = stamp != script.stamp;
        if (!scriptChanged && (script.broken || namedChanges.empty()))
            continue;
        script.stamp = stamp;
        float demoStart = demoSystem.demo_start, demoEnd = demoSystem.demo_end;
        ReloadCounts counts = {};
        reloadScript(&script, changedFiles, &counts);
        if (demoSystem.demo_start != demoStart || demoSystem.demo_end != demoEnd) {
            counts.loaded = loadNewlyPlayable();
            rebuildQueues();
        }
        if (counts.replaced || counts.added || counts.removed || counts.loaded ||
            counts.waitingSettings || demoSystem.demo_start != demoStart ||
            demoSystem.demo_end != demoEnd) {
            report(describe(script, counts, namedChanges));
            // The time spent loading is not a frame of the demo.
            resetTimer();
        }
    }
}

void reload_poll()
{
    if (!demoSystem.debug || demoSystem.state == STATE_LOADING || watch.directory.empty())
        return;
    uint32_t now = SDL_GetTicks();
    if (watch.started && now - watch.lastCheck < CHECK_INTERVAL_MS)
        return;
    watch.lastCheck = now;
    reload_check();
}

void reload_noteScript(const char *directory, const char *path, const char *text,
                       const Section *previousHead)
{
    watch.directory = directory;
    WatchedScript script = {path, stampOf(path), "", {}, false};
    ScriptParts parts = splitScript(text);
    script.settings = parts.settings;
    std::vector<Section *> sections;
    for (Section *section = demoSystem.sectionList; section && section != previousHead;
         section = section->next)
        sections.insert(sections.begin(), section);
    parts.sections.resize(sections.size());
    for (size_t i = 0; i < sections.size(); i++)
        script.sections.push_back({sections[i], parts.sections[i], namedFiles(sections[i]), false});
    watch.scripts.push_back(script);
}

void reload_forget()
{
    watch.directory.clear();
    watch.scripts.clear();
    watch.refreshed.clear();
    watch.started = false;
}
