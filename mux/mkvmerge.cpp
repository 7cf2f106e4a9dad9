#include "mux/mkvmerge.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "engine/markup.h"

extern char** environ;

namespace kavrel::mux {

namespace fs = std::filesystem;

namespace {

constexpr int kPollMilliseconds = 100;
constexpr auto kGraceAfterTerm = std::chrono::seconds(5);
// mkvmerge's lines are short; a longer one is taken in pieces rather than held whole.
constexpr std::size_t kMaxLine = 64 * 1024;

std::string searchPath() {
    if (const char* path = std::getenv("PATH")) return path;
    std::string path(confstr(_CS_PATH, nullptr, 0), '\0');
    if (!path.empty()) confstr(_CS_PATH, path.data(), path.size());
    while (!path.empty() && path.back() == '\0') path.pop_back();
    return path;
}

bool isExecutableFile(const fs::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// Closes a descriptor on every way out.
class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_;
};

// Takes mkvmerge's output apart line by line: "#GUI#progress 42%", "#GUI#warning …",
// "#GUI#error …" (whose text may go on over the plain lines after it); other lines only say
// what it is doing.
class OutputLines {
  public:
    OutputLines(EngineHost& host, MkvmergeResult& result) : host_(host), result_(result) {}

    void take(const char* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            const char c = data[i];
            if (c == '\n' || c == '\r') {
                line(pending_);
                pending_.clear();
            } else {
                pending_ += c;
                if (pending_.size() >= kMaxLine) {
                    line(pending_);
                    pending_.clear();
                }
            }
        }
    }
    void finish() {
        if (!pending_.empty()) line(pending_);
        pending_.clear();
    }
    const std::string& error() const { return error_; }

  private:
    void line(std::string_view text) {
        if (text.empty()) return;
        constexpr std::string_view gui = "#GUI#";
        if (!text.starts_with(gui)) {
            if (inError_) error_ += " " + std::string(text);
            return;
        }
        inError_ = false;
        text.remove_prefix(gui.size());
        const std::string_view key = text.substr(0, text.find(' '));
        const std::string_view rest =
            key.size() < text.size() ? text.substr(key.size() + 1) : std::string_view();
        if (key == "progress") {
            int percent = -1;
            std::from_chars(rest.data(), rest.data() + rest.size(), percent);
            if (percent < 0 || percent > 100) return;
            host_.slog(std::to_string(percent) + "%", 1);
            host_.progress(static_cast<uint64_t>(percent), 100);
        } else if (key == "warning") {
            ++result_.warnings;
            host_.log("mkvmerge warning: " + markupLiteral(rest));
        } else if (key == "error") {
            if (!error_.empty()) error_ += " ";
            error_ += std::string(rest);
            inError_ = true;
        }
    }

    EngineHost& host_;
    MkvmergeResult& result_;
    std::string pending_;
    std::string error_;
    bool inError_ = false;
};

// The child's signals as a shell would leave them: what this process ignores or catches
// (a broken pipe, a file-size limit, Ctrl-C) acts as the default in mkvmerge.
void defaultSignals(posix_spawnattr_t& attributes) {
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGPIPE, SIGXFSZ, SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, signal);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    // A process group of its own: a terminal's Ctrl-C or hang-up, or a SIGTERM sent to this
    // process's group, cannot end it mid-write; this process stops it when it stops.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
}

int waitFor(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return status;
}

}  // namespace

fs::path findProgram(std::string_view name) {
    if (name.empty() || name.find('/') != std::string_view::npos) return {};
    const std::string path = searchPath();
    std::size_t from = 0;
    while (from <= path.size()) {
        std::size_t to = path.find(':', from);
        if (to == std::string::npos) to = path.size();
        // An empty entry stands for the current folder.
        const fs::path folder = to == from ? fs::path(".") : fs::path(path.substr(from, to - from));
        const fs::path candidate = folder / name;
        if (isExecutableFile(candidate)) return candidate;
        from = to + 1;
    }
    return {};
}

std::string mkvmergeMissing() {
    return std::string(kMkvmerge) + " was not found on PATH: install the Debian package " +
           kMkvmergePackage + " (apt install " + kMkvmergePackage + ")";
}

MkvmergeResult runMkvmerge(const fs::path& program, const fs::path& folder,
                           const std::string& optionFile, EngineHost& host,
                           std::atomic<bool>& stop) {
    MkvmergeResult result;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        result.error = std::string("Cannot start mkvmerge: ") + std::strerror(errno);
        return result;
    }
    Descriptor reader(fds[0]);
    Descriptor writer(fds[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writer.get(), 1);
    posix_spawn_file_actions_adddup2(&actions, writer.get(), 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    defaultSignals(attributes);

    // An absolute program: it is started from the folder.
    std::error_code ignored;
    const std::string programText = fs::absolute(program, ignored).string();
    const std::string argument = "@" + optionFile;
    std::array<char*, 3> argv{const_cast<char*>(programText.c_str()),
                              const_cast<char*>(argument.c_str()), nullptr};
    pid_t child = -1;
    const int spawned =
        posix_spawnp(&child, programText.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    writer.reset();  // the child holds the writing end now: its end is our end of file
    if (spawned != 0) {
        result.error = spawned == ENOENT
                           ? mkvmergeMissing()
                           : "Cannot start " + programText + ": " + std::strerror(spawned);
        return result;
    }

    host.setCancelEnabled(true);
    OutputLines lines(host, result);
    bool terminated = false;
    bool killed = false;
    std::chrono::steady_clock::time_point termAt;
    std::array<char, 4096> buffer;
    for (;;) {
        pollfd ready{reader.get(), POLLIN, 0};
        const int events = ::poll(&ready, 1, kPollMilliseconds);
        if (events > 0) {
            const ssize_t got = ::read(reader.get(), buffer.data(), buffer.size());
            if (got == 0) break;  // mkvmerge closed its output: it is ending
            if (got > 0) lines.take(buffer.data(), static_cast<std::size_t>(got));
            if (got < 0 && errno != EINTR && errno != EAGAIN) break;
        } else if (events < 0 && errno != EINTR) {
            break;
        }
        host.pump();  // the window's Cancel, the console's Ctrl-C
        if (stop.load() && !terminated) {
            ::kill(child, SIGTERM);
            terminated = true;
            termAt = std::chrono::steady_clock::now();
        }
        if (terminated && !killed && std::chrono::steady_clock::now() - termAt > kGraceAfterTerm) {
            ::kill(child, SIGKILL);
            killed = true;
        }
    }
    lines.finish();
    if (stop.load() && !terminated) ::kill(child, SIGTERM);
    const int status = waitFor(child);
    host.setCancelEnabled(false);
    host.slog("", 1);

    if (stop.load()) {
        result.ending = MkvmergeEnding::Stopped;
    } else if (status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) <= 1) {
        result.ending = WEXITSTATUS(status) == 0 ? MkvmergeEnding::Done : MkvmergeEnding::Warnings;
    } else {
        result.ending = MkvmergeEnding::Failed;
        result.error = lines.error();
        if (result.error.empty() && status >= 0 && WIFSIGNALED(status))
            result.error = "mkvmerge was ended by signal " + std::to_string(WTERMSIG(status));
        else if (result.error.empty() && status >= 0 && WIFEXITED(status))
            result.error = "mkvmerge failed with exit code " + std::to_string(WEXITSTATUS(status));
        else if (result.error.empty())
            result.error = "mkvmerge could not be waited for";
        else
            result.error = "mkvmerge: " + result.error;
    }
    return result;
}

}  // namespace kavrel::mux
