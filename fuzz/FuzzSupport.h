#pragma once
// Helpers shared by the fuzz targets: a checked assertion that survives NDEBUG, a private scratch
// folder for readers that take a path, loopback sockets for scripted servers, and small text
// helpers.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>

#include "base/AtomicFile.h"

namespace corvanthelix::fuzz {

/// Stops the run with a report when `condition` is false; libFuzzer then saves the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);   \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

/// A folder of this process under the system's temporary folder, made on the first call and
/// removed when the process exits normally. The path stays valid for the whole run.
inline const std::string& scratchFolder() {
    static const std::string folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "corvanthelix-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        static std::string removeAtExit;
        removeAtExit = pattern;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(removeAtExit, ignored);
        });
        return pattern;
    }();
    return folder;
}

/// Replaces the file `name` in the scratch folder with `bytes`; returns its full path.
inline std::string scratchFile(const std::string& name, std::string_view bytes) {
    std::string path = scratchFolder() + "/" + name;
    if (!replaceFileAtomically(path, bytes, false)) {
        std::perror(path.c_str());
        std::abort();
    }
    return path;
}

/// A TCP socket listening on 127.0.0.1 at a port the system picks, which `port` receives. Stops
/// the run when it cannot be made.
inline int listenOnLoopback(int& port) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 8) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("loopback listener");
        std::abort();
    }
    port = ntohs(address.sin_port);
    return listener;
}

/// Closes an accepted socket whose peer has closed already with a reset instead of a FIN, so that
/// neither side keeps a TIME_WAIT entry and thousands of runs do not use up the loopback ports.
inline void closeAbortively(int fd) {
    linger abortive{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    ::close(fd);
}

/// `text` with every NUL byte replaced by a space, as the readers keep received text.
inline std::string spacedOutZeros(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == '\0') c = ' ';
    return out;
}

} // namespace corvanthelix::fuzz
