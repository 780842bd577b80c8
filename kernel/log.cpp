// Reporting functions. Every message is formatted with bounds: longer
// results are cut to the buffer, never written past it.
#include "kernel/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kernel/demo.h"
#include "kernel/section.h"
#include "platform/platform.h"

enum { MESSAGE_SIZE = 1024, TRACE_SIZE = 1028 };

static std::string lastBoxText;
static bool boxShown;
static int errorCount;

#define FORMAT_INTO(buffer, format)                                  \
    do {                                                             \
        va_list args;                                                \
        va_start(args, format);                                      \
        vsnprintf(buffer, sizeof(buffer), format, args);             \
        va_end(args);                                                \
    } while (0)

static void reportError(const char *message)
{
    errorCount++;
    // Release sound, video and network first: a full-screen window must be
    // gone before the user reads the box.
    if (!demoSystem.debug)
        engineShutdown();

    std::string line = std::string("Error: ") + message + "\n";
    platformWrite(CHANNEL_STDERR, line.c_str());
    showErrorBox("Engine Error", message);
    platformWrite(CHANNEL_DEBUGGER, "MORVANE ERROR: ");
    platformWrite(CHANNEL_DEBUGGER, message);
    platformWrite(CHANNEL_DEBUGGER, "\n");

    if (!demoSystem.debug)
        exit(1);
}

void engineError(const char *format, ...)
{
    char message[MESSAGE_SIZE];
    FORMAT_INTO(message, format);
    reportError(message);
}

void engineWarning(const char *format, ...)
{
    char message[MESSAGE_SIZE];
    FORMAT_INTO(message, format);
    if (demoSystem.debug) {
        char line[MESSAGE_SIZE + 64];
        snprintf(line, sizeof(line), "Warning: second %.2f, message '%s'\n",
                 demoSystem.currentTime, message);
        platformWrite(CHANNEL_STDERR, line);
    }
    platformWrite(CHANNEL_DEBUGGER, "Engine Warning: ");
    platformWrite(CHANNEL_DEBUGGER, message);
    platformWrite(CHANNEL_DEBUGGER, "\n");
}

void engineTrace(const char *format, ...)
{
    char message[TRACE_SIZE];
    FORMAT_INTO(message, format);
    if (demoSystem.slave) {
        std::string line = std::string("Trace: ") + message + "\n";
        platformWrite(CHANNEL_STDOUT, line.c_str());
    }
    platformWrite(CHANNEL_DEBUGGER, "Engine Kernel Trace: ");
    platformWrite(CHANNEL_DEBUGGER, message);
    size_t length = strlen(message);
    if (length > 0 && message[length - 1] != '\n')
        platformWrite(CHANNEL_DEBUGGER, "\n");
}

void engineOutput(const char *format, ...)
{
    char message[MESSAGE_SIZE];
    FORMAT_INTO(message, format);
    platformWrite(CHANNEL_STDOUT, message);
}

void sectionError(const char *format, ...)
{
    char message[MESSAGE_SIZE];
    FORMAT_INTO(message, format);
    const Section *section = currentSection;
    if (!section) {
        engineError("%s", message);
        return;
    }
    engineError("%s (%d, %f -> %f): %s", sectionTypeName(section), section->layer,
                section->startTime, section->endTime, message);
}

void scriptError(const char *message, const char *file, int line)
{
    engineError("%s (file '%s', line %d)", message, file, line);
}

void showErrorBox(const char *caption, const char *text)
{
    if (boxShown && lastBoxText == text)
        return;
    platformMessageBox(caption, text);
    lastBoxText = text;
    boxShown = true;
}

int engineErrorCount()
{
    return errorCount;
}
