// The editor protocol: reading a message from its connection, carrying out
// its verb, and answering with the engine's frame rate, state and time.
#include "net/editor.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kernel/demo.h"
#include "kernel/log.h"
#include "kernel/script.h"
#include "kernel/section.h"
#include "kernel/timeline.h"
#include "net/sockets.h"

enum { MAX_FIELDS = 5 };    // tag, kind, verb and two arguments

// A message split into its fields. Any run of ':' separates two fields, so
// no field is empty.
struct Message {
    const char *text;                  // the whole message
    char copy[EDITOR_MESSAGE_SIZE + 1];
    const char *field[MAX_FIELDS];     // field[0] is field 1, the tag
    int fieldCount;                    // fields beyond MAX_FIELDS are not kept
    float seconds;                     // field 4 read as a time
    int integer;                       // field 4 read as a layer
};

enum ArgumentType { NO_ARGUMENT, TEXT, SECONDS, INTEGER };

struct Argument {
    ArgumentType type;
    const char *name;    // what the details of a reply call it when missing
};

enum Loading { REFUSED_WHILE_LOADING, ANSWERED_WHILE_LOADING };

// One verb of the protocol: its kind, its arguments (fields 4 and 5), what
// it does, and whether it is carried out before the demo has loaded.
struct EditorVerb {
    const char *kind;
    const char *verb;
    Argument arguments[2];
    void (*perform)(const Message &message);
    Loading whileLoading;
};

static void (*toggleFrame)() = drawFrame;

void useToggleFrame(void (*draw)())
{
    toggleFrame = draw ? draw : drawFrame;
}

// ---------------------------------------------------------------------------
// Section edits

static Section *findSection(const char *id)
{
    for (Section *section = demoSystem.sectionList; section; section = section->next) {
        if (strcmp(section->identifier, id) == 0)
            return section;
    }
    return nullptr;
}

// Calls `edit` with the first section of each id of a ","-separated list.
template <typename Edit>
static void forEachListed(const char *ids, Edit edit)
{
    const char *id = ids;
    while (*id) {
        size_t length = strcspn(id, ",");
        if (length > 0 && length < SECTION_ID_SIZE) {
            char name[SECTION_ID_SIZE];
            memcpy(name, id, length);
            name[length] = '\0';
            if (Section *section = findSection(name))
                edit(section);
        }
        id += length;
        if (*id == ',')
            id++;
    }
}

void addSection(const char *text)
{
    Section *previousHead = demoSystem.sectionList;
    parseScript(text, "");
    Section *section = demoSystem.sectionList;
    // A text of settings lines only adds no section, and the head of the
    // list is then an older, already loaded one.
    if (section == previousHead)
        return;
    currentSection = section;
    setupSplines(section);
    callOperation(section, &SectionType::preload);
    callOperation(section, &SectionType::load);
    rebuildQueues();
}

void toggleSections(const char *ids)
{
    forEachListed(ids, [](Section *section) { section->enabled = section->enabled ? 0 : 1; });
    toggleFrame();
}

void deleteSection(const char *id)
{
    Section *section = findSection(id);
    if (!section)
        return;
    unlinkSection(section);
    // Ends the section if it was running.
    rebuildQueues();
    if (currentSection == section)
        currentSection = nullptr;
    freeSection(section);
}

void updateSection(const char *id, const char *text)
{
    deleteSection(id);
    addSection(text);
}

// After a change of the time window: its length, and splines spread over it.
static void retimeSection(Section *section)
{
    section->duration = section->endTime - section->startTime;
    for (int i = 0; i < section->splineNum; i++)
        section->splineDurations[i] = section->duration;
    if (section->splineNum > 0) {
        currentSection = section;
        setupSplines(section);
    }
}

void setSectionStart(float seconds, const char *ids)
{
    forEachListed(ids, [seconds](Section *section) {
        section->startTime = seconds;
        retimeSection(section);
    });
    rebuildQueues();
}

void setSectionEnd(float seconds, const char *ids)
{
    forEachListed(ids, [seconds](Section *section) {
        section->endTime = seconds;
        retimeSection(section);
    });
    rebuildQueues();
}

void setSectionLayer(int layer, const char *id)
{
    if (Section *section = findSection(id))
        section->layer = layer;
    rebuildQueues();
}

// ---------------------------------------------------------------------------
// Verbs

static void performPause(const Message &) { timeline::pause(); }
static void performPlay(const Message &) { timeline::play(); }
static void performRestart(const Message &) { timeline::restart(); }
static void performStartTime(const Message &message) { setDemoStart(message.seconds); }
static void performCurrentTime(const Message &message) { setCurrentTime(message.seconds); }
static void performEndTime(const Message &message) { setDemoEnd(message.seconds); }
static void performPing(const Message &) {}
static void performNew(const Message &message) { addSection(message.field[3]); }
static void performToggle(const Message &message) { toggleSections(message.field[3]); }
static void performDelete(const Message &message) { deleteSection(message.field[3]); }
static void performUpdate(const Message &message)
{
    updateSection(message.field[3], message.field[4]);
}
static void performSetStart(const Message &message)
{
    setSectionStart(message.seconds, message.field[4]);
}
static void performSetEnd(const Message &message)
{
    setSectionEnd(message.seconds, message.field[4]);
}
static void performSetLayer(const Message &message)
{
    setSectionLayer(message.integer, message.field[4]);
}

static const Argument none = {NO_ARGUMENT, ""};
static const Argument aTime = {SECONDS, "a time in seconds"};
static const Argument anIdList = {TEXT, "a list of ids"};
static const Argument anId = {TEXT, "an id"};
static const Argument aSectionText = {TEXT, "a section text"};
static const Argument aLayer = {INTEGER, "a layer"};

static const EditorVerb editorVerbs[] = {
    {"command", "pause", {none, none}, performPause, REFUSED_WHILE_LOADING},
    {"command", "play", {none, none}, performPlay, REFUSED_WHILE_LOADING},
    {"command", "restart", {none, none}, performRestart, REFUSED_WHILE_LOADING},
    {"command", "startTime", {aTime, none}, performStartTime, REFUSED_WHILE_LOADING},
    {"command", "currentTime", {aTime, none}, performCurrentTime, REFUSED_WHILE_LOADING},
    {"command", "endTime", {aTime, none}, performEndTime, REFUSED_WHILE_LOADING},
    {"command", "ping", {none, none}, performPing, ANSWERED_WHILE_LOADING},
    {"section", "new", {aSectionText, none}, performNew, REFUSED_WHILE_LOADING},
    {"section", "toggle", {anIdList, none}, performToggle, REFUSED_WHILE_LOADING},
    {"section", "delete", {anId, none}, performDelete, REFUSED_WHILE_LOADING},
    {"section", "update", {anId, aSectionText}, performUpdate, REFUSED_WHILE_LOADING},
    {"section", "setStartTime", {aTime, anIdList}, performSetStart, REFUSED_WHILE_LOADING},
    {"section", "setEndTime", {aTime, anIdList}, performSetEnd, REFUSED_WHILE_LOADING},
    {"section", "setLayer", {aLayer, anId}, performSetLayer, REFUSED_WHILE_LOADING},
};

// What a reply says about a kind that is known but a verb that is not, and
// about a verb of the kind that must wait until the demo has loaded.
struct EditorKind {
    const char *kind;
    const char *unknownVerb;
    const char *whileLoading;
};

static const EditorKind editorKinds[] = {
    {"command", "Unknown command (%s)", "The play state and time can't change while loading (%s)"},
    {"section", "Unknown section (%s)", "Sections can't be edited while loading (%s)"},
};

// ---------------------------------------------------------------------------
// Messages and replies

static void splitFields(const char *text, Message *message)
{
    message->text = text;
    snprintf(message->copy, sizeof(message->copy), "%s", text);
    message->fieldCount = 0;
    char *position = message->copy;
    while (*position) {
        position += strspn(position, ":");
        if (!*position)
            break;
        char *end = position + strcspn(position, ":");
        if (message->fieldCount < MAX_FIELDS)
            message->field[message->fieldCount] = position;
        message->fieldCount++;
        if (*end)
            *end++ = '\0';
        position = end;
    }
}

// A time: a leading decimal number, which must be finite.
static bool readSeconds(const char *field, float *seconds)
{
    char *end;
    float value = strtof(field, &end);
    if (end == field || !std::isfinite(value))
        return false;
    *seconds = value;
    return true;
}

// A layer: a leading decimal integer that fits the layer field.
static bool readInteger(const char *field, int *integer)
{
    char *end;
    errno = 0;
    long value = strtol(field, &end, 10);
    if (end == field || errno == ERANGE || value < INT_MIN || value > INT_MAX)
        return false;
    *integer = static_cast<int>(value);
    return true;
}

static std::string formatReply(const char *tag, bool ok, const char *details)
{
    const char *format = "%s::%s::%f::%d::%f::%s";
    const char *status = ok ? "OK" : "NOK";
    double fps = demoSystem.fpsValue, time = demoSystem.currentTime;
    int length = snprintf(nullptr, 0, format, tag, status, fps, demoSystem.state, time, details);
    std::string reply(length, '\0');
    snprintf(&reply[0], length + 1, format, tag, status, fps, demoSystem.state, time, details);
    return reply;
}

static std::string refuse(const Message &message, const char *format, ...) PRINTF_LIKE(2, 3);

static std::string refuse(const Message &message, const char *format, ...)
{
    char details[EDITOR_DETAILS_SIZE];
    va_list args;
    va_start(args, format);
    vsnprintf(details, sizeof(details), format, args);
    va_end(args);
    return formatReply(message.fieldCount > 0 ? message.field[0] : "", false, details);
}

static const EditorVerb *findVerb(const char *kind, const char *verb)
{
    for (const EditorVerb &entry : editorVerbs) {
        if (strcmp(entry.kind, kind) == 0 && strcmp(entry.verb, verb) == 0)
            return &entry;
    }
    return nullptr;
}

static const EditorKind *findKind(const char *kind)
{
    for (const EditorKind &entry : editorKinds) {
        if (strcmp(entry.kind, kind) == 0)
            return &entry;
    }
    return nullptr;
}

// Checks fields 4 and 5 against what the verb needs and reads the number
// of field 4; an empty string when they fit, else the details of a refusal.
static std::string checkArguments(const EditorVerb &verb, Message *message)
{
    for (int i = 0; i < 2; i++) {
        const Argument &argument = verb.arguments[i];
        if (argument.type == NO_ARGUMENT)
            continue;
        int fieldIndex = 3 + i;
        if (message->fieldCount <= fieldIndex)
            return refuse(*message, "Missing %s (%s)", argument.name, message->text);
        const char *field = message->field[fieldIndex];
        if ((argument.type == SECONDS && !readSeconds(field, &message->seconds)) ||
            (argument.type == INTEGER && !readInteger(field, &message->integer)))
            return refuse(*message, "Not a number: %s (%s)", field, message->text);
    }
    return "";
}

static std::string refuseOversized(const char *text)
{
    Message message;
    splitFields(text, &message);
    return refuse(message, "Message longer than %d bytes", EDITOR_MESSAGE_SIZE);
}

std::string handleEditorMessage(const char *text)
{
    if (strnlen(text, EDITOR_MESSAGE_SIZE + 1) > EDITOR_MESSAGE_SIZE)
        return refuseOversized(text);
    Message message;
    splitFields(text, &message);
    if (message.fieldCount < 2)
        return refuse(message, "Missing the message kind (%s)", text);
    const EditorKind *kind = findKind(message.field[1]);
    if (!kind)
        return refuse(message, "Unknown message (%s)", text);
    if (message.fieldCount < 3)
        return refuse(message, "Missing the verb (%s)", text);
    const EditorVerb *verb = findVerb(kind->kind, message.field[2]);
    if (!verb)
        return refuse(message, kind->unknownVerb, text);
    std::string refusal = checkArguments(*verb, &message);
    if (!refusal.empty())
        return refusal;
    // The loading sequence walks the section list and the ready queue, and
    // draws with the loading section, between the steps in which it handles
    // events; none of them may change under it, and the state stays
    // "loading" until the main loop starts playing.
    if (demoSystem.state == STATE_LOADING && verb->whileLoading == REFUSED_WHILE_LOADING)
        return refuse(message, kind->whileLoading, text);
    verb->perform(message);
    return formatReply(message.field[0], true, "");
}

// ---------------------------------------------------------------------------
// The network side

void startNetwork()
{
    startNetworking(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE | SDL_INIT_EVENTTHREAD);
    engineTrace("Net2: SDLNet has been inited successfully");
    NET2_ListenTCP(EDITOR_PORT);
}

// Reads the connection's message, answers it and closes the connection.
static void answerConnection(int socket)
{
    // One byte beyond the longest message shows that a message was longer.
    char message[EDITOR_MESSAGE_SIZE + 2];
    int received = 0, taken;
    while (received <= EDITOR_MESSAGE_SIZE &&
           (taken = NET2_ReadTCP(socket, message + received, EDITOR_MESSAGE_SIZE + 1 - received)) > 0)
        received += taken;
    // Nothing to read: an earlier event of this connection took its bytes
    // and answered them.
    if (received == 0)
        return;
    message[received] = '\0';
    std::string reply = received > EDITOR_MESSAGE_SIZE ? refuseOversized(message)
                                                       : handleEditorMessage(message);
    if (NET2_TCPSend(socket, reply.data(), static_cast<int>(reply.size())) < 0)
        engineTrace("Net2: NET2_TCPSend: Error: %s", NET2_LastError());
    NET2_CloseTCP(socket);
}

void handleNetworkEvent(const SDL_Event &event)
{
    int socket = NET2_EventSocket(event);
    switch (NET2_EventKind(event)) {
    case NET2_ERROREVENT:
        engineTrace("Net2: Error: %s(%d)\n", NET2_EventText(event), socket);
        printNetEvent(event);
        break;
    case NET2_ACCEPTEVENT:
        // The connection waits for its data.
        break;
    case NET2_TCPRECEIVEEVENT:
        answerConnection(socket);
        break;
    case NET2_TCPCLOSEEVENT:
        engineTrace("Net2: Close(%d)\n", socket);
        // A connection already answered and closed may carry a new one by
        // now; only a connection still waiting to be closed is closed.
        if (NET2_PeerClosed(socket))
            NET2_CloseTCP(socket);
        fflush(nullptr);
        break;
    default:
        engineTrace("Net2: Unknown Network Event");
        break;
    }
}
