// glimra-record RUNDIR OUTPUT [--fps N] [--size WxH] [--from S] [--to S]
//               [--crf Q] [--quiet]
//
// Plays a demo in record mode and writes it as a video file with its music.
// The engine runs on a private copy of the run directory (symbolic links to
// the author's files plus one generated script with the recording settings)
// and sends its frames down a pipe (glimra --frame-fd); this program passes
// them on to ffmpeg, which also reads the music of the demo's sound sections
// at their offsets. Nothing is written to disk but the video: the frames
// stream through, and the video is written under a hidden name beside
// OUTPUT and renamed when it is complete. Everything temporary is removed on
// success, on error and on Ctrl-C.
#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

using json = nlohmann::json;

enum { TGA_HEADER_SIZE = 18, FRAME_DESCRIPTOR = 3, DEFAULT_CRF = 18, PROGRESS_WIDTH = 24 };

struct Options {
    std::string runDirectory, output;
    double fps = 0, from = NAN, to = NAN;
    int width = 0, height = 0;
    int crf = DEFAULT_CRF;
    bool quiet = false;
};

// One sound section's music as ffmpeg plays it: `seek` seconds into the
// file, starting `delay` seconds into the video, for `length` seconds.
struct Music {
    std::string path;
    double seek, delay, length;
};

// What the export has made so far, to be undone on the way out.
struct Job {
    std::string temporaryDirectory, partialOutput;
    pid_t engine = -1, encoder = -1, display = -1;
};

static Job job;
static volatile sig_atomic_t interrupted;

static const char *const USAGE =
    "usage: glimra-record RUNDIR OUTPUT [--fps N] [--size WxH] [--from S] [--to S] [--crf Q] "
    "[--quiet]\n";

// ---------------------------------------------------------------------------
// Leaving

static int removeEntry(const char *path, const struct stat *, int, struct FTW *)
{
    remove(path);
    return 0;
}

static void stopProcess(pid_t &pid, int signal)
{
    if (pid <= 0)
        return;
    kill(pid, signal);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid = -1;
}

// Stops what still runs and removes every temporary file. The links of the
// private run directory are removed, never followed (FTW_PHYS).
static void cleanUp()
{
    stopProcess(job.engine, SIGKILL);
    stopProcess(job.encoder, SIGKILL);
    stopProcess(job.display, SIGTERM);
    if (!job.partialOutput.empty())
        unlink(job.partialOutput.c_str());
    if (!job.temporaryDirectory.empty())
        nftw(job.temporaryDirectory.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    job = Job();
}

[[noreturn]] static void fail(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    fputs("glimra-record: ", stderr);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
    va_end(args);
    cleanUp();
    exit(interrupted ? 130 : 1);
}

static void onSignal(int)
{
    interrupted = 1;
}

// Without SA_RESTART a blocking read, write or wait returns at once with
// EINTR, and the export stops there.
static void catchSignals()
{
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    // A child that dies shows as an error code of a write, not a kill.
    signal(SIGPIPE, SIG_IGN);
}

static void stopIfInterrupted()
{
    if (interrupted)
        fail("interrupted; nothing was written");
}

// ---------------------------------------------------------------------------
// Files and processes

static std::string readFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// A report of a child, without its last line feed (fail adds one).
static std::string readReport(const std::string &path)
{
    std::string text = readFile(path);
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

static bool isDirectory(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

static std::string directoryOf(const std::string &path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

static std::string baseNameOf(const std::string &path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

static std::string absolutePath(const std::string &path)
{
    char *resolved = realpath(path.c_str(), nullptr);
    if (!resolved)
        return path;
    std::string result = resolved;
    free(resolved);
    return result;
}

static std::string findInPath(const char *program)
{
    const char *path = getenv("PATH");
    std::string directories = path ? path : "";
    size_t start = 0;
    while (start <= directories.size()) {
        size_t end = directories.find(':', start);
        if (end == std::string::npos)
            end = directories.size();
        std::string candidate =
            (end > start ? directories.substr(start, end - start) : ".") + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0 && !isDirectory(candidate))
            return candidate;
        start = end + 1;
    }
    return "";
}

// A program built beside this one.
static std::string siblingProgram(const char *name)
{
    char self[4096];
    ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (length <= 0)
        fail("cannot find my own directory");
    self[length] = '\0';
    std::string program = directoryOf(self) + "/" + name;
    if (access(program.c_str(), X_OK) != 0)
        fail("%s not found beside glimra-record (%s)", name, program.c_str());
    return program;
}

// How a child starts: its working directory, its standard streams (-1:
// /dev/null) and one more descriptor handed over as FRAME_DESCRIPTOR.
struct ChildSetup {
    std::string directory;
    int input = -1, output = -1, errors = -1, frames = -1;
    std::vector<std::pair<const char *, std::string>> environment;
};

static void becomeChild(const std::vector<std::string> &arguments, const ChildSetup &setup)
{
    signal(SIGPIPE, SIG_DFL);
    int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    dup2(setup.input >= 0 ? setup.input : null, STDIN_FILENO);
    dup2(setup.output >= 0 ? setup.output : null, STDOUT_FILENO);
    dup2(setup.errors >= 0 ? setup.errors : null, STDERR_FILENO);
    if (setup.frames >= 0)
        dup2(setup.frames, FRAME_DESCRIPTOR);
    if (!setup.directory.empty() && chdir(setup.directory.c_str()) != 0)
        _exit(127);
    for (const auto &variable : setup.environment)
        setenv(variable.first, variable.second.c_str(), 1);
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

// Every descriptor this program opens is close-on-exec, so a child gets
// only what its setup names.
static pid_t startChild(const std::vector<std::string> &arguments, const ChildSetup &setup)
{
    pid_t pid = fork();
    if (pid < 0)
        fail("cannot start %s: %s", arguments[0].c_str(), strerror(errno));
    if (pid == 0)
        becomeChild(arguments, setup);
    return pid;
}

static int openForChild(const std::string &path)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        fail("cannot write %s: %s", path.c_str(), strerror(errno));
    return fd;
}

// The exit status of a child, -1 if it was killed.
static int waitForChild(pid_t &pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            break;
        stopIfInterrupted();
    }
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

static bool readExactly(int fd, uint8_t *buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t got = read(fd, buffer + done, size - done);
        if (got < 0 && errno == EINTR)
            stopIfInterrupted();
        else if (got <= 0)
            return false;
        else
            done += got;
    }
    return true;
}

static bool writeAll(int fd, const uint8_t *buffer, size_t size)
{
    size_t done = 0;
    while (done < size) {
        ssize_t put = write(fd, buffer + done, size - done);
        if (put < 0 && errno == EINTR)
            stopIfInterrupted();
        else if (put <= 0)
            return false;
        else
            done += put;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Command line

static double numberArgument(const char *option, const char *text)
{
    char *end = nullptr;
    double value = strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value))
        fail("%s needs a number, not '%s'", option, text);
    return value;
}

static Options parseArguments(int argc, char **argv)
{
    Options options;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; i++) {
        std::string argument = argv[i];
        bool hasValue = i + 1 < argc;
        auto value = [&]() -> const char * {
            if (!hasValue)
                fail("%s needs a value\n%s", argument.c_str(), USAGE);
            return argv[++i];
        };
        if (argument == "--quiet") {
            options.quiet = true;
        } else if (argument == "--fps") {
            options.fps = numberArgument("--fps", value());
            if (options.fps <= 0 || options.fps > 1000)
                fail("--fps must be above 0 and at most 1000");
        } else if (argument == "--from") {
            options.from = numberArgument("--from", value());
        } else if (argument == "--to") {
            options.to = numberArgument("--to", value());
        } else if (argument == "--crf") {
            options.crf = static_cast<int>(numberArgument("--crf", value()));
            if (options.crf < 0 || options.crf > 51)
                fail("--crf must be 0 to 51");
        } else if (argument == "--size") {
            const char *text = value();
            char extra;
            if (sscanf(text, "%dx%d%c", &options.width, &options.height, &extra) != 2 ||
                options.width < 16 || options.height < 16 || options.width > 8192 ||
                options.height > 8192)
                fail("--size needs WIDTHxHEIGHT (16 to 8192 pixels each), not '%s'", text);
        } else if (argument.compare(0, 2, "--") == 0) {
            fail("unknown option %s\n%s", argument.c_str(), USAGE);
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.size() != 2)
        fail("needs a run directory and an output file\n%s", USAGE);
    options.runDirectory = positional[0];
    options.output = positional[1];
    return options;
}

// ---------------------------------------------------------------------------
// The demo

// The settings and sections of the demo as the engine reads them.
static json readDemo(const std::string &runDirectory)
{
    std::string documentPath = job.temporaryDirectory + "/check.json";
    std::string errorsPath = job.temporaryDirectory + "/check.txt";
    ChildSetup setup;
    setup.directory = job.temporaryDirectory;
    setup.output = openForChild(documentPath);
    setup.errors = openForChild(errorsPath);
    pid_t check = startChild({siblingProgram("glimra-check"), runDirectory}, setup);
    close(setup.output);
    close(setup.errors);
    int status = waitForChild(check);
    if (status != 0)
        fail("the demo's scripts have errors:\n%s", readReport(errorsPath).c_str());
    json demo = json::parse(readFile(documentPath), nullptr, false);
    if (demo.is_discarded() || !demo.contains("settings") || !demo.contains("sections"))
        fail("glimra-check gave no description of the demo");
    return demo;
}

// The music of every sound section that plays within [from, to], placed on
// the video's time line (0 at `from`).
static std::vector<Music> demoMusic(const json &demo, const std::string &runDirectory, double from,
                                    double to)
{
    std::vector<Music> music;
    if (demo["settings"].value("sound", 0) == 0)
        return music;
    for (const json &section : demo["sections"]) {
        if (!section["type"].is_string() || section["type"] != "sound" ||
            section["strings"].size() != 1)
            continue;
        double start = section["start"], end = section["end"];
        double playFrom = std::max(start, from), playTo = std::min(end, to);
        if (playTo <= playFrom)
            continue;
        // Names are relative to the run directory, as the engine opens them.
        std::string file = section["strings"][0].get<std::string>();
        music.push_back({file[0] == '/' ? file : runDirectory + "/" + file, playFrom - start,
                         playFrom - from, playTo - playFrom});
    }
    return music;
}

static void linkEntries(const std::string &from, const std::string &to,
                        const std::vector<std::string> &skipped)
{
    DIR *directory = opendir(from.c_str());
    if (!directory)
        fail("cannot read %s: %s", from.c_str(), strerror(errno));
    while (dirent *entry = readdir(directory)) {
        std::string name = entry->d_name;
        if (name == "." || name == ".." ||
            std::find(skipped.begin(), skipped.end(), name) != skipped.end())
            continue;
        if (symlink((from + "/" + name).c_str(), (to + "/" + name).c_str()) != 0)
            fail("cannot link %s: %s", name.c_str(), strerror(errno));
    }
    closedir(directory);
}

// A name that the engine reads after every script of the demo (scripts are
// read in name order ignoring case, and a later script's settings win).
static std::string lastScriptName(const std::string &dataDirectory)
{
    std::string name = "~glimra-record.glm";
    for (int tries = 0; tries < 16; tries++, name = "~" + name) {
        bool last = true;
        DIR *directory = opendir(dataDirectory.c_str());
        while (dirent *entry = directory ? readdir(directory) : nullptr)
            last = last && strcasecmp(entry->d_name, name.c_str()) < 0;
        if (directory)
            closedir(directory);
        if (last)
            return name;
    }
    fail("cannot name a script that the engine reads after those in %s", dataDirectory.c_str());
}

// The private run directory: links to everything of the author's, and in
// data/ one more script that turns recording on for the frames wanted.
// The last frame is drawn at from + (frames - 1) / fps; the end lies half a
// step after it, so that the sum of the steps cannot add or lose a frame.
static std::string privateRunDirectory(const std::string &runDirectory, const Options &options,
                                       int frames)
{
    std::string run = job.temporaryDirectory + "/run";
    std::string data = run + "/data";
    if (mkdir(run.c_str(), 0700) != 0 || mkdir(data.c_str(), 0700) != 0)
        fail("cannot make %s: %s", data.c_str(), strerror(errno));
    linkEntries(runDirectory, run, {"data", "camera.cam"});
    linkEntries(runDirectory + "/data", data, {});
    std::string script = data + "/" + lastScriptName(runDirectory + "/data");
    FILE *file = fopen(script.c_str(), "w");
    if (!file)
        fail("cannot write %s: %s", script.c_str(), strerror(errno));
    fprintf(file,
            "; written by glimra-record\n"
            "record 1\nrecord_fps %.9g\ncompress_tga 0\ndemo_start %.9g\ndemo_end %.9g\n"
            "gl_width %d\ngl_height %d\ngl_fullscreen 0\ndebug 0\nloop 0\nslave 0\nbench 0\n"
            "fps 0\ntiming 0\nconfig_dialog 0\n",
            options.fps, options.from, options.from + (frames - 0.5) / options.fps,
            options.width, options.height);
    if (fclose(file) != 0)
        fail("cannot write %s", script.c_str());
    return run;
}

// ---------------------------------------------------------------------------
// Display, engine, encoder

// Xvfb picks a free display and writes its number to the descriptor.
static std::string startDisplay(int width, int height)
{
    int numbers[2];
    if (pipe2(numbers, O_CLOEXEC) != 0)
        fail("cannot start Xvfb: %s", strerror(errno));
    std::string xvfb = findInPath("Xvfb");
    if (xvfb.empty())
        fail("no DISPLAY and no Xvfb to start one (install the Debian package xvfb)");
    char screen[32];
    snprintf(screen, sizeof(screen), "%dx%dx24", std::max(width, 1280), std::max(height, 1024));
    ChildSetup setup;
    setup.frames = numbers[1];
    job.display = startChild({xvfb, "-displayfd", std::to_string(FRAME_DESCRIPTOR), "-screen", "0",
                              screen, "-noreset", "-nolisten", "tcp"},
                             setup);
    close(numbers[1]);
    std::string number;
    pollfd waiting = {numbers[0], POLLIN, 0};
    char byte;
    while (poll(&waiting, 1, 20000) > 0 && read(numbers[0], &byte, 1) == 1 && byte != '\n')
        number += byte;
    close(numbers[0]);
    stopIfInterrupted();
    if (number.empty())
        fail("Xvfb did not start");
    return ":" + number;
}

static std::string ffmpegSeconds(double seconds)
{
    char text[32];
    snprintf(text, sizeof(text), "%.6f", seconds);
    return text;
}

static bool endsWith(const std::string &text, const char *ending)
{
    size_t length = strlen(ending);
    return text.size() >= length && strcasecmp(text.c_str() + text.size() - length, ending) == 0;
}

// Raw frames (blue, green, red, bottom row first) on standard input, each
// piece of music as one more input; H.264 and AAC for the usual containers,
// otherwise whatever ffmpeg picks for the extension.
static std::vector<std::string> encoderArguments(const std::string &ffmpeg, const Options &options,
                                                 const std::vector<Music> &music, int frames)
{
    double length = frames / options.fps;
    std::vector<std::string> arguments = {
        ffmpeg, "-hide_banner", "-loglevel", "error", "-nostats", "-y",
        "-f", "rawvideo", "-pix_fmt", "bgr24",
        "-s", std::to_string(options.width) + "x" + std::to_string(options.height),
        "-framerate", ffmpegSeconds(options.fps), "-i", "pipe:0"};
    for (const Music &piece : music) {
        for (const std::string &argument : {std::string("-ss"), ffmpegSeconds(piece.seek),
                                            std::string("-t"), ffmpegSeconds(piece.length),
                                            std::string("-i"), piece.path})
            arguments.push_back(argument);
    }
    // Rows come bottom first; H.264 in 4:2:0 wants even sides.
    std::string filter = "[0:v]vflip,pad=ceil(iw/2)*2:ceil(ih/2)*2[v]";
    std::string mixed;
    for (size_t i = 0; i < music.size(); i++) {
        long delay = std::lround(music[i].delay * 1000.0);
        filter += ";[" + std::to_string(i + 1) + ":a]aresample=48000,adelay=" +
                  std::to_string(delay) + ":all=1[a" + std::to_string(i + 1) + "]";
        mixed += "[a" + std::to_string(i + 1) + "]";
    }
    if (music.size() > 1)
        filter += ";" + mixed + "amix=inputs=" + std::to_string(music.size()) +
                  ":duration=longest:normalize=0[am]";
    if (!music.empty())
        filter += ";" + (music.size() > 1 ? std::string("[am]") : mixed) +
                  "apad,atrim=end=" + ffmpegSeconds(length) + "[a]";
    for (const std::string &argument : {std::string("-filter_complex"), filter,
                                        std::string("-map"), std::string("[v]")})
        arguments.push_back(argument);
    if (!music.empty()) {
        arguments.push_back("-map");
        arguments.push_back("[a]");
    }
    if (endsWith(options.output, ".mp4") || endsWith(options.output, ".m4v") ||
        endsWith(options.output, ".mov") || endsWith(options.output, ".mkv")) {
        for (const char *argument : {"-c:v", "libx264", "-preset", "fast", "-pix_fmt", "yuv420p",
                                     "-c:a", "aac", "-b:a", "192k"})
            arguments.push_back(argument);
        arguments.push_back("-crf");
        arguments.push_back(std::to_string(options.crf));
        if (!endsWith(options.output, ".mkv")) {
            arguments.push_back("-movflags");
            arguments.push_back("+faststart");
        }
    }
    arguments.push_back("-t");
    arguments.push_back(ffmpegSeconds(length));
    arguments.push_back(job.partialOutput);
    return arguments;
}

// Creates the hidden file the video is written to: proof that OUTPUT's
// directory takes files, and nothing at OUTPUT until the video is whole.
// It keeps OUTPUT's extension, from which ffmpeg picks the format.
static void claimPartialOutput(const std::string &output)
{
    if (isDirectory(output))
        fail("cannot write %s: it is a directory", output.c_str());
    if (access(output.c_str(), F_OK) == 0 && access(output.c_str(), W_OK) != 0)
        fail("cannot write %s: %s", output.c_str(), strerror(errno));
    std::string partial = directoryOf(output) + "/.glimra-record-" + std::to_string(getpid()) +
                          "-" + baseNameOf(output);
    int fd = open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        fail("cannot write %s: %s", output.c_str(), strerror(errno));
    close(fd);
    job.partialOutput = partial;
}

// ---------------------------------------------------------------------------
// Progress

struct Progress {
    bool quiet;
    int total;
    double from, fps;
    std::chrono::steady_clock::time_point start, shown;
};

static double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// "[#####-----]  120/500 frames  demo 14.8 s  42.3 fps  0:09 left", at
// most five times a second and once at the end.
static void showProgress(Progress &progress, int done)
{
    if (progress.quiet || (done < progress.total && secondsSince(progress.shown) < 0.2))
        return;
    progress.shown = std::chrono::steady_clock::now();
    double elapsed = secondsSince(progress.start);
    double rate = elapsed > 0 ? done / elapsed : 0;
    int left = rate > 0 ? static_cast<int>((progress.total - done) / rate + 0.5) : 0;
    int filled = progress.total ? PROGRESS_WIDTH * done / progress.total : 0;
    std::string bar = std::string(filled, '#') + std::string(PROGRESS_WIDTH - filled, '-');
    fprintf(stderr, "\r[%s] %d/%d frames  demo %.1f s  %.1f fps  %d:%02d left ", bar.c_str(), done,
            progress.total, progress.from + done / progress.fps, rate, left / 60, left % 60);
    if (done == progress.total)
        fputc('\n', stderr);
}

// ---------------------------------------------------------------------------
// The export

static void engineFailed(const std::string &errorsPath, const char *what)
{
    std::string errors = readReport(errorsPath);
    fail("the engine %s%s%s", what, errors.empty() ? "" : ":\n", errors.c_str());
}

// The settings the command line left open come from the demo.
static void completeOptions(Options &options, const json &settings)
{
    if (options.fps <= 0)
        options.fps = settings.value("record_fps", 25.0);
    if (std::isnan(options.from))
        options.from = settings.value("demo_start", 0.0);
    if (std::isnan(options.to))
        options.to = settings.value("demo_end", 0.0);
    if (options.to <= 0)
        fail("the demo has no end (demo_end 0): say where to stop with --to");
    if (options.width == 0) {
        options.width = settings.value("gl_width", 640);
        options.height = settings.value("gl_height", 480);
    }
    if (options.fps <= 0 || options.width < 1 || options.height < 1)
        fail("the demo's record_fps or window size cannot be recorded");
}

int main(int argc, char **argv)
{
    catchSignals();
    Options options = parseArguments(argc, argv);
    std::string ffmpeg = findInPath("ffmpeg");
    if (ffmpeg.empty())
        fail("ffmpeg not found (install the Debian package ffmpeg)");
    if (!isDirectory(options.runDirectory))
        fail("no run directory %s", options.runDirectory.c_str());
    std::string runDirectory = absolutePath(options.runDirectory);
    if (!isDirectory(runDirectory + "/data"))
        fail("%s has no data directory: it is not a demo", options.runDirectory.c_str());
    std::string engine = siblingProgram("glimra");

    const char *temporaryRoot = getenv("TMPDIR");
    std::string pattern = std::string(temporaryRoot && *temporaryRoot ? temporaryRoot : "/tmp") +
                          "/glimra-record-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data()))
        fail("cannot make a temporary directory in %s: %s", directoryOf(pattern).c_str(),
             strerror(errno));
    job.temporaryDirectory = name.data();
    claimPartialOutput(options.output);

    json demo = readDemo(runDirectory);
    completeOptions(options, demo["settings"]);
    int frames = static_cast<int>(std::lround((options.to - options.from) * options.fps));
    if (frames < 1)
        fail("nothing to record from %g s to %g s", options.from, options.to);
    std::vector<Music> music = demoMusic(demo, runDirectory, options.from, options.to);
    std::string run = privateRunDirectory(runDirectory, options, frames);

    const char *display = getenv("DISPLAY");
    std::string displayName = display && *display ? display
                                                  : startDisplay(options.width, options.height);

    // The engine: frames on the pipe, its report in a file, the music muted
    // (it is mixed into the video from the files).
    int framePipe[2];
    if (pipe2(framePipe, O_CLOEXEC) != 0)
        fail("cannot make a pipe: %s", strerror(errno));
    std::string engineErrors = job.temporaryDirectory + "/engine.txt";
    ChildSetup engineSetup;
    engineSetup.directory = job.temporaryDirectory;
    engineSetup.errors = openForChild(engineErrors);
    engineSetup.frames = framePipe[1];
    engineSetup.environment = {{"DISPLAY", displayName}, {"SDL_AUDIODRIVER", "dummy"}};
    job.engine = startChild({engine, "--frame-fd", std::to_string(FRAME_DESCRIPTOR), run},
                            engineSetup);
    close(framePipe[1]);
    close(engineSetup.errors);

    size_t frameBytes = static_cast<size_t>(options.width) * options.height * 3;
    std::vector<uint8_t> header(TGA_HEADER_SIZE), pixels(frameBytes);
    int encoderInput[2] = {-1, -1};
    std::string encoderErrors = job.temporaryDirectory + "/ffmpeg.txt";
    Progress progress = {options.quiet, frames, options.from, options.fps,
                         std::chrono::steady_clock::now(), {}};
    int done = 0;
    while (readExactly(framePipe[0], header.data(), header.size())) {
        int width = header[12] | header[13] << 8, height = header[14] | header[15] << 8;
        if (header[2] != 2 || width != options.width || height != options.height)
            fail("the engine sent a %d x %d frame of type %d, not %d x %d", width, height,
                 header[2], options.width, options.height);
        if (!readExactly(framePipe[0], pixels.data(), pixels.size()))
            break;
        if (done == frames)
            continue;
        if (done == 0) {
            // ffmpeg starts with the first frame: until then the engine may
            // still fail while loading.
            if (pipe2(encoderInput, O_CLOEXEC) != 0)
                fail("cannot make a pipe: %s", strerror(errno));
            ChildSetup encoderSetup;
            encoderSetup.input = encoderInput[0];
            encoderSetup.errors = openForChild(encoderErrors);
            job.encoder = startChild(encoderArguments(ffmpeg, options, music, frames), encoderSetup);
            close(encoderInput[0]);
            close(encoderSetup.errors);
            progress.start = std::chrono::steady_clock::now();
        }
        if (!writeAll(encoderInput[1], pixels.data(), pixels.size()))
            fail("ffmpeg failed:\n%s", readReport(encoderErrors).c_str());
        showProgress(progress, ++done);
    }
    stopIfInterrupted();
    close(framePipe[0]);
    int engineStatus = waitForChild(job.engine);
    if (engineStatus != 0)
        engineFailed(engineErrors, "failed");
    if (done < frames) {
        char what[64];
        snprintf(what, sizeof(what), "stopped after %d of %d frames", done, frames);
        engineFailed(engineErrors, what);
    }
    close(encoderInput[1]);
    if (waitForChild(job.encoder) != 0)
        fail("ffmpeg failed:\n%s", readReport(encoderErrors).c_str());
    if (rename(job.partialOutput.c_str(), options.output.c_str()) != 0)
        fail("cannot write %s: %s", options.output.c_str(), strerror(errno));
    job.partialOutput.clear();
    double seconds = secondsSince(progress.start);
    cleanUp();
    if (!options.quiet)
        fprintf(stderr, "%s: %d frames, %.2f s of demo in %.1f s\n", options.output.c_str(),
                frames, frames / options.fps, seconds);
    return 0;
}
