#include "common/PluginFiles.h"

#include <cerrno>
#include <dlfcn.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace corvanthelix::plugin {

namespace {

/// Owns a POSIX descriptor; closes it when it goes away unless Close() already did.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    /// Closes now; false when close reported an error (a write that did not reach the file).
    bool Close() {
        int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

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

} // namespace

std::string ModuleFolder(const void* address) {
    Dl_info library{};
    if (!::dladdr(address, &library) || !library.dli_fname) return {};
    std::string path = library.dli_fname;
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool ReadWholeFile(const std::string& path, std::string& out) {
    out.clear();
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return false;
    char buffer[16384];
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

bool ReadTextLines(const std::string& path, size_t maxLength, std::vector<std::string>& lines) {
    lines.clear();
    std::string text;
    if (!ReadWholeFile(path, text)) return false;
    std::string_view rest = text;
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        // A list edited on Windows keeps its CR in front of the LF.
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) continue;
        lines.emplace_back(line.substr(0, maxLength));
    }
    return true;
}

bool ReplaceFile(const std::string& path, const std::string& data) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = folder + "." + base + ".XXXXXX";
    Descriptor fd(::mkostemp(temp.data(), O_CLOEXEC)); // mkostemp makes it 0600
    if (!fd.valid()) return false;
    bool written = writeAll(fd.get(), data) && ::fsync(fd.get()) == 0;
    written = fd.Close() && written;
    if (!written || ::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

bool EnsureFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) == 0) return true;
    struct stat st {};
    return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace corvanthelix::plugin
