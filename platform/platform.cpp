// POSIX implementation of the platform layer.
#include "platform/platform.h"

#include <dirent.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

static FILE *debugChannel;
static PlatformTap platformTap;

void platformOpenDebugChannel()
{
    if (debugChannel)
        fclose(debugChannel);
    debugChannel = fopen("debug.log", "w");
}

void platformWrite(PlatformChannel channel, const char *text)
{
    if (platformTap) {
        platformTap(channel, text);
        return;
    }
    switch (channel) {
    case CHANNEL_STDOUT:
        fputs(text, stdout);
        fflush(stdout);
        break;
    case CHANNEL_STDERR:
    case CHANNEL_BOX:
        fputs(text, stderr);
        break;
    case CHANNEL_DEBUGGER:
        if (debugChannel) {
            fputs(text, debugChannel);
            fflush(debugChannel);
        }
        break;
    }
}

void platformMessageBox(const char *caption, const char *text)
{
    std::string line = std::string(caption) + ": " + text + "\n";
    platformWrite(CHANNEL_BOX, line.c_str());
}

void platformSetTap(PlatformTap tap)
{
    platformTap = tap;
}

bool platformChangeDirectory(const char *path)
{
    return chdir(path) == 0;
}

static bool hasExtension(const char *name, const char *extension)
{
    size_t nameLength = strlen(name);
    size_t extensionLength = strlen(extension);
    return nameLength > extensionLength &&
           strcasecmp(name + nameLength - extensionLength, extension) == 0;
}

std::vector<std::string> platformListFiles(const char *directory, const char *extension)
{
    std::vector<std::string> names;
    DIR *dir = opendir(directory);
    if (!dir)
        return names;
    while (dirent *entry = readdir(dir)) {
        if (hasExtension(entry->d_name, extension))
            names.push_back(entry->d_name);
    }
    closedir(dir);
    // Ties ignoring case fall back to byte order so the order is total.
    std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
        int order = strcasecmp(a.c_str(), b.c_str());
        return order != 0 ? order < 0 : a < b;
    });
    return names;
}
