#include "ChildProcess.h"

#include "DesktopUser.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace corvanthelix {

namespace {

// Both ends of a pipe, closed when it goes away.
class Pipe {
public:
    Pipe() {
        if (::pipe2(ends_, O_CLOEXEC) != 0) ends_[0] = ends_[1] = -1;
    }
    ~Pipe() {
        closeReader();
        closeWriter();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    bool valid() const { return ends_[0] >= 0; }
    int reader() const { return ends_[0]; }
    int writer() const { return ends_[1]; }
    void closeReader() { closeEnd(0); }
    void closeWriter() { closeEnd(1); }

private:
    void closeEnd(int which) {
        if (ends_[which] >= 0) ::close(ends_[which]);
        ends_[which] = -1;
    }
    int ends_[2];
};

// In the child between fork and exec: only async-signal-safe calls, and _exit on any failure.
[[noreturn]] void becomeChild(char* const* argv, const ChildProcess::Options& options, int input, int output) {
    const int nothing = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (nothing < 0) ::_exit(127);
    const int outputTarget = output >= 0 ? output : (options.showOutput ? STDOUT_FILENO : nothing);
    const int errorTarget = options.showOutput ? STDERR_FILENO : nothing;
    if (::dup2(input >= 0 ? input : nothing, STDIN_FILENO) < 0) ::_exit(127);
    if (outputTarget != STDOUT_FILENO && ::dup2(outputTarget, STDOUT_FILENO) < 0) ::_exit(127);
    if (errorTarget != STDERR_FILENO && ::dup2(errorTarget, STDERR_FILENO) < 0) ::_exit(127);
    if (options.runAs && options.runAs->needsSwitch()) {
        // Groups first: once the user id is dropped, they can no longer be changed.
        const bool groups = options.runAs->name().empty()
                                ? ::setgroups(0, nullptr) == 0
                                : ::initgroups(options.runAs->name().c_str(), options.runAs->gid()) == 0;
        if (!groups || ::setgid(options.runAs->gid()) != 0 || ::setuid(options.runAs->uid()) != 0) ::_exit(126);
    }
    ::execv(argv[0], argv);
    ::_exit(127);
}

bool writeAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void readAll(int fd, std::string& out) {
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        out.append(buffer, static_cast<size_t>(n));
    }
}

} // namespace

ChildProcess::Result ChildProcess::run(const std::vector<std::string>& arguments, const Options& options) {
    Result result;
    if (arguments.empty()) return result;
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    Pipe input, output;
    if (!input.valid() || (options.captureOutput && !output.valid())) return result;
    // A child that stops reading must not kill the tool with SIGPIPE; write() reports it instead.
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);

    std::fflush(nullptr); // what was printed so far comes before the child's output
    const pid_t pid = ::fork();
    if (pid == 0) becomeChild(argv.data(), options, input.reader(), options.captureOutput ? output.writer() : -1);
    input.closeReader();
    output.closeWriter();
    if (pid > 0) {
        writeAll(input.writer(), options.input);
        input.closeWriter();
        if (options.captureOutput) readAll(output.reader(), result.output);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        // 127 from the child itself means exec failed: the program never ran.
        result.started = !(WIFEXITED(status) && WEXITSTATUS(status) == 127);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ::sigaction(SIGPIPE, &previous, nullptr);
    return result;
}

std::string ChildProcess::find(const std::string& name, const std::vector<std::string>& extraFolders) {
    std::vector<std::string> folders;
    const char* path = std::getenv("PATH");
    std::string list = path ? path : "";
    for (size_t start = 0; start <= list.size();) {
        size_t colon = list.find(':', start);
        if (colon == std::string::npos) colon = list.size();
        if (colon > start) folders.push_back(list.substr(start, colon - start));
        start = colon + 1;
    }
    folders.insert(folders.end(), extraFolders.begin(), extraFolders.end());
    for (const std::string& folder : folders) {
        std::string candidate = folder + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

} // namespace corvanthelix
