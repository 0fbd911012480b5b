#include "tests/fakes/HttpsUpdateServer.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

namespace corvanthelix::testing {

namespace {
std::string serverScript() { return std::string(CORVANTHELIX_FIXTURES) + "/../fakes/https_update_server.py"; }
} // namespace

HttpsUpdateServer::HttpsUpdateServer() {
    int fds[2];
    if (::pipe(fds) != 0) return;
    const std::string ready = certificates_.file("ready");
    const std::string script = serverScript();
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(fds[0], 0);
        ::close(fds[0]);
        ::close(fds[1]);
        ::execlp("python3", "python3", script.c_str(), "--root", root_.path().c_str(), "--folder",
                 certificates_.path().c_str(), "--ready", ready.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[0]);
    stdinPipe_ = fds[1];
    if (pid_ < 0) return;
    // Making the keys takes a moment on a loaded machine.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream in(ready);
        if (in >> goodPort_ >> wrongPort_) return;
        goodPort_ = wrongPort_ = 0;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

HttpsUpdateServer::~HttpsUpdateServer() {
    if (stdinPipe_ >= 0) ::close(stdinPipe_);
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
}

} // namespace corvanthelix::testing
