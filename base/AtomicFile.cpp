#include "base/AtomicFile.h"

#include "base/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvanthelix {

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

bool replaceFileAtomically(const std::string& path, std::string_view data, bool sync, mode_t mode) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = folder + "." + base + ".XXXXXX";
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC)); // made 0600
    if (!fd.valid()) return false;
    bool written = writeAll(fd.get(), data);
    if (written && mode != 0600) written = ::fchmod(fd.get(), mode) == 0;
    if (written && sync) written = ::fsync(fd.get()) == 0;
    written = fd.reset() && written;
    if (!written || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

bool readWholeFile(const std::string& path, std::string& out) {
    out.clear();
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return false;
    struct stat st {};
    if (::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        out.reserve(static_cast<size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            out.clear();
            return false;
        }
        out.append(buffer, static_cast<size_t>(n));
    }
}

bool ensureFolder(const std::string& path) {
    if (path.empty()) return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !ensureFolder(path.substr(0, slash))) return false;
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

} // namespace corvanthelix
