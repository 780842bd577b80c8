// Editor round trips: how many pings the engine answers per second, for one
// client and for 50 clients at once, and how long one round trip (connect,
// send, read the reply until the close) takes, at the median and the 99th
// percentile. The engine plays the showcase demo in slave mode meanwhile,
// at whatever frame rate the display gives it. The baseline is a plain
// loopback TCP server in this process that answers each connection with
// its own message and closes it, measured by the same clients in the same
// run. Everything runs in a private network namespace.
//
// Run under a display (Xvfb will do): build/bench/editor/bench_editor
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <netinet/in.h>
#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/net/net_fixture.h"

enum { ENGINE_PORT = 28000, ECHO_PORT = 28001, MANY_CLIENTS = 50 };

static const double MEASURE_SECONDS = 3.0;
static const char *const PING = "0::command::ping";

using Clock = std::chrono::steady_clock;

static double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// ---------------------------------------------------------------------------
// The baseline: one message per connection, answered with itself.

static std::atomic<bool> echoStopping{false};

static int openEchoListener()
{
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(ECHO_PORT);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0 ||
        listen(listener, SOMAXCONN) != 0) {
        perror("echo server");
        exit(1);
    }
    return listener;
}

static void serveEcho(int listener)
{
    char message[1024];
    while (!echoStopping) {
        int connection = accept(listener, nullptr, nullptr);
        if (connection < 0)
            continue;
        ssize_t count = recv(connection, message, sizeof(message), 0);
        if (count > 0)
            send(connection, message, count, MSG_NOSIGNAL);
        close(connection);
    }
}

// ---------------------------------------------------------------------------
// Clients

struct Measurement {
    double pingsPerSecond;
    double medianMilliseconds;
    double p99Milliseconds;
    int failures;
    std::string lastReply;
};

// `clients` threads ping `port` one round trip after another for the
// measuring time.
static Measurement measure(int port, int clients)
{
    std::mutex lock;
    std::vector<double> times;
    int failures = 0;
    std::string lastReply;
    Clock::time_point start = Clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; i++) {
        threads.emplace_back([&] {
            std::vector<double> mine;
            int failed = 0;
            std::string reply;
            while (millisecondsSince(start) < MEASURE_SECONDS * 1000.0) {
                Clock::time_point sent = Clock::now();
                reply = exchange(port, PING);
                if (reply.empty())
                    failed++;
                else
                    mine.push_back(millisecondsSince(sent));
            }
            std::lock_guard<std::mutex> guard(lock);
            times.insert(times.end(), mine.begin(), mine.end());
            failures += failed;
            lastReply = reply;
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    double seconds = millisecondsSince(start) / 1000.0;
    std::sort(times.begin(), times.end());
    auto percentile = [&times](double fraction) {
        return times.empty() ? 0.0 : times[static_cast<size_t>(fraction * (times.size() - 1))];
    };
    return {times.size() / seconds, percentile(0.5), percentile(0.99), failures, lastReply};
}

// ---------------------------------------------------------------------------
// The engine

static void writeText(const std::string &path, const char *text)
{
    FILE *file = fopen(path.c_str(), "w");
    if (!file || fputs(text, file) < 0 || fclose(file) != 0) {
        fprintf(stderr, "can't write %s\n", path.c_str());
        exit(1);
    }
}

// A demo in a scratch copy of the showcase's data, made editable and
// endless without sound by the settings of a later script. `onlyScript`
// replaces the showcase's script.
static std::string prepareRunDirectory(const char *onlyScript)
{
    char pattern[] = "/tmp/glimra-bench-editor-XXXXXX";
    if (!mkdtemp(pattern)) {
        perror("mkdtemp");
        exit(1);
    }
    std::string root = pattern;
    std::string copy = "cp -r '" GLIMRA_SOURCE_DIR "/examples/showcase/data' '" + root + "/'";
    if (system(copy.c_str()) != 0) {
        fprintf(stderr, "can't copy the showcase to %s\n", root.c_str());
        exit(1);
    }
    writeText(root + "/data/zz_bench.glm", "slave 1\nsound 0\nloop 1\n");
    if (onlyScript)
        writeText(root + "/data/showcase.glm", onlyScript);
    return root;
}

static pid_t startEngine(const std::string &runDirectory)
{
    pid_t child = fork();
    if (child == 0) {
        if (chdir(runDirectory.c_str()) != 0)
            _exit(127);
        freopen("engine.out", "w", stdout);
        freopen("engine.err", "w", stderr);
        execl(GLIMRA_BINARY_DIR "/glimra", "glimra", runDirectory.c_str(),
              static_cast<char *>(nullptr));
        _exit(127);
    }
    return child;
}

// "tag::OK::fps::state::time::" -> fps and state.
static bool readReply(const std::string &reply, double *fps, int *state)
{
    return sscanf(reply.c_str(), "%*[^:]::%*[^:]::%lf::%d::", fps, state) == 2;
}

static bool awaitPlaying()
{
    for (int attempt = 0; attempt < 600; attempt++) {
        double fps;
        int state;
        if (readReply(exchange(ENGINE_PORT, PING), &fps, &state) && state == 2)
            return true;
        usleep(100000);
    }
    return false;
}

// ---------------------------------------------------------------------------
// The table

// The engine's rows also give the frame rate its last reply of the
// measurement reported.
static void printRow(const char *clients, const char *server, const Measurement &m)
{
    printf("%-11s %-7s %10.0f %11.3f %9.3f %9d", clients, server, m.pingsPerSecond,
           m.medianMilliseconds, m.p99Milliseconds, m.failures);
    double fps;
    int state;
    if (readReply(m.lastReply, &fps, &state))
        printf(" %9.0f", fps);
    printf("\n");
}

static void printRatio(const Measurement &engine, const Measurement &echo)
{
    printf("%-11s %-7s %10.3f %11.2f %9.2f\n", "", "ratio",
           engine.pingsPerSecond / echo.pingsPerSecond,
           engine.medianMilliseconds / echo.medianMilliseconds,
           engine.p99Milliseconds / echo.p99Milliseconds);
}

// A demo whose frames cost little: one picture over the whole window.
static const char *const onePicture =
    "demo_end 30\n"
    "[loading]\nstart 0\nend 0.01\nstring data/images/loading_back.tga\n"
    "string data/images/loading_front.tga\n"
    "param 1 1 1 1 0.1 0.1 0.9 0.15 1 1 1 0.5 0.09 0.09 0.91 0.16 0.005\n"
    "[background]\nid sky\nstart 0\nend 1000\nlayer 1\nstring data/images/sky.jpg\n";

struct Demo {
    const char *name;
    const char *window;    // settings of the one-picture demo; null: the showcase
};

// The showcase's thirty seconds of layers at 640 x 480, and the one picture
// over a window of that size and over a small one. A message that arrives
// while a frame is drawn waits for its end, so the frame time bounds a
// round trip.
static const Demo demos[] = {
    {"the showcase", nullptr},
    {"one picture at 640 x 480", "gl_width 640\ngl_height 480\n"},
    {"one picture at 160 x 120", "gl_width 160\ngl_height 120\n"},
};

// Both client counts against the engine playing `demo` and against the
// echo server; false if the engine did not play or did not end cleanly.
static bool measureDemo(const Demo &demo)
{
    std::string script = demo.window ? std::string(demo.window) + onePicture : "";
    std::string runDirectory = prepareRunDirectory(demo.window ? script.c_str() : nullptr);
    pid_t engine = startEngine(runDirectory);
    if (!awaitPlaying()) {
        fprintf(stderr, "the engine did not start playing; see %s/engine.err\n",
                runDirectory.c_str());
        kill(engine, SIGKILL);
        waitpid(engine, nullptr, 0);
        return false;
    }
    // The frame rate of the demo left alone for a second.
    sleep(1);
    double fps = 0.0;
    int state = 0;
    readReply(exchange(ENGINE_PORT, PING), &fps, &state);
    struct Row {
        int clients;
        const char *label;
    };
    const Row rows[] = {{1, "1 client"}, {MANY_CLIENTS, "50 clients"}};
    std::vector<Measurement> results;
    for (const Row &row : rows) {
        results.push_back(measure(ENGINE_PORT, row.clients));
        results.push_back(measure(ECHO_PORT, row.clients));
    }

    printf("\nEditor round trips on loopback, %.0f s each; %s, %.0f fps without clients\n",
           MEASURE_SECONDS, demo.name, fps);
    printf("%-11s %-7s %10s %11s %9s %9s %9s\n", "clients", "server", "pings/s", "median ms",
           "p99 ms", "failed", "fps");
    for (size_t i = 0; i < results.size(); i += 2) {
        printRow(rows[i / 2].label, "engine", results[i]);
        printRow("", "echo", results[i + 1]);
        printRatio(results[i], results[i + 1]);
    }
    fflush(stdout);

    kill(engine, SIGTERM);
    int status = 0;
    waitpid(engine, &status, 0);
    std::string remove = "rm -rf '" + runDirectory + "'";
    return system(remove.c_str()) == 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int main()
{
    if (!getenv("DISPLAY")) {
        fprintf(stderr, "bench_editor runs the engine: it needs a display (DISPLAY)\n");
        return 1;
    }
    if (!enterPrivateNetwork()) {
        fprintf(stderr, "bench_editor: no private network namespace on this system\n");
        return 1;
    }
    signal(SIGPIPE, SIG_IGN);
    int listener = openEchoListener();
    std::thread echo(serveEcho, listener);
    bool allEnded = true;
    for (const Demo &demo : demos)
        allEnded = measureDemo(demo) && allEnded;
    // A listener shut down makes the waiting accept fail.
    echoStopping = true;
    shutdown(listener, SHUT_RDWR);
    echo.join();
    close(listener);
    return allEnded ? 0 : 1;
}
