// glimra-remote: the command-line editor client. Joins its fields with "::"
// behind a tag, sends them as one message to an engine in slave mode and
// prints the reply exactly as received.
//
//   glimra-remote [--host H] [--port P] [--tag T] FIELD...
//
// Exit code: 0 for an "OK" reply, 1 for "NOK", 2 when the engine cannot be
// reached or no reply comes within the timeout.
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

enum { EXIT_OK = 0, EXIT_NOK = 1, EXIT_NO_REPLY = 2, TIMEOUT_MILLISECONDS = 10000 };

struct Options {
    std::string host = "127.0.0.1";
    std::string port = "28000";
    std::string message = "1";    // the tag, then the fields
};

static int usage()
{
    fprintf(stderr, "usage: glimra-remote [--host H] [--port P] [--tag T] FIELD...\n");
    return EXIT_NO_REPLY;
}

// False when the command line is not understood.
static bool readOptions(int argc, char **argv, Options *options)
{
    std::string tag = "1", fields;
    int arg = 1;
    for (; arg + 1 < argc && strncmp(argv[arg], "--", 2) == 0; arg += 2) {
        if (strcmp(argv[arg], "--host") == 0)
            options->host = argv[arg + 1];
        else if (strcmp(argv[arg], "--port") == 0)
            options->port = argv[arg + 1];
        else if (strcmp(argv[arg], "--tag") == 0)
            tag = argv[arg + 1];
        else
            return false;
    }
    if (arg >= argc)
        return false;
    options->message = tag;
    for (; arg < argc; arg++)
        options->message += std::string("::") + argv[arg];
    return true;
}

// A connected socket, or -1 with the reason on standard error.
static int connectTo(const Options &options)
{
    addrinfo hints = {}, *addresses;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    int status = getaddrinfo(options.host.c_str(), options.port.c_str(), &hints, &addresses);
    if (status != 0) {
        fprintf(stderr, "glimra-remote: %s: %s\n", options.host.c_str(), gai_strerror(status));
        return -1;
    }
    int connection = -1;
    for (addrinfo *address = addresses; address && connection < 0; address = address->ai_next) {
        connection = socket(address->ai_family, address->ai_socktype, address->ai_protocol);
        if (connection >= 0 && connect(connection, address->ai_addr, address->ai_addrlen) != 0) {
            close(connection);
            connection = -1;
        }
    }
    freeaddrinfo(addresses);
    if (connection < 0)
        fprintf(stderr, "glimra-remote: can't connect to %s port %s: %s\n",
                options.host.c_str(), options.port.c_str(), strerror(errno));
    return connection;
}

static bool sendAll(int connection, const std::string &message)
{
    size_t sent = 0;
    while (sent < message.size()) {
        ssize_t count = send(connection, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        sent += count;
    }
    return true;
}

// Everything the engine sends until it closes the connection; false when
// that does not happen within the timeout.
static bool receiveReply(int connection, std::string *reply)
{
    char buffer[4096];
    for (;;) {
        pollfd waiting = {connection, POLLIN, 0};
        int ready = poll(&waiting, 1, TIMEOUT_MILLISECONDS);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        ssize_t count = recv(connection, buffer, sizeof(buffer), 0);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return !reply->empty();
        if (count == 0)
            return true;
        reply->append(buffer, count);
    }
}

// The status is the second field of "tag::status::fps::state::time::details".
static int exitCodeFor(const std::string &reply)
{
    size_t first = reply.find("::");
    if (first == std::string::npos)
        return EXIT_NO_REPLY;
    std::string rest = reply.substr(first + 2);
    if (rest.compare(0, 4, "OK::") == 0)
        return EXIT_OK;
    if (rest.compare(0, 5, "NOK::") == 0)
        return EXIT_NOK;
    return EXIT_NO_REPLY;
}

int main(int argc, char **argv)
{
    Options options;
    if (!readOptions(argc, argv, &options))
        return usage();
    int connection = connectTo(options);
    if (connection < 0)
        return EXIT_NO_REPLY;
    std::string reply;
    bool replied = sendAll(connection, options.message) && receiveReply(connection, &reply);
    close(connection);
    fwrite(reply.data(), 1, reply.size(), stdout);
    if (!replied || reply.empty()) {
        fprintf(stderr, "glimra-remote: no reply\n");
        return EXIT_NO_REPLY;
    }
    return exitCodeFor(reply);
}
