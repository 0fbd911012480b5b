#include "base/AutostartEntry.h"

#include "base/AtomicFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace corvanthelix {

namespace {
std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string parentOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}
} // namespace

std::string AutostartEntry::pathFor(const std::string& xdgConfigHome, const std::string& userHome) {
    std::string folder;
    if (!xdgConfigHome.empty() && xdgConfigHome.front() == '/') folder = xdgConfigHome;
    else if (!userHome.empty()) folder = userHome + "/.config";
    else return {};
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder + "/autostart/" + kFileName;
}

std::string AutostartEntry::path() { return pathFor(environmentValue("XDG_CONFIG_HOME"), environmentValue("HOME")); }

std::string AutostartEntry::runningExecutable() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return {};
    return std::string(buffer, static_cast<size_t>(length));
}

std::string AutostartEntry::homeArgument(const ProgramPaths& paths, const ProgramPaths::Environment& environment) {
    ProgramPaths::Environment plain = environment;
    plain.homeOption.clear();
    plain.homeVariable.clear();
    const ProgramPaths unaided = ProgramPaths::decide(plain);
    return unaided.dataFolder() == paths.dataFolder() ? std::string() : paths.dataFolder();
}

std::string AutostartEntry::quoteExecArgument(const std::string& argument) {
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    // The value rules of the entry file apply before the Exec line's quoting is read.
    std::string value;
    for (char c : quoted) {
        if (c == '\\') value += "\\\\";
        else if (c == '%') value += "%%";
        else value += c;
    }
    return value;
}

std::string AutostartEntry::content(const std::string& executable, const std::string& home) {
    std::string exec = quoteExecArgument(executable);
    if (!home.empty()) exec += " --home " + quoteExecArgument(home);
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Corvanthelix\n"
           "Comment=Filters spam out of POP3 mail as a local proxy\n"
           "Exec=" + exec + "\n"
           "Icon=corvanthelix\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool AutostartEntry::present(const std::string& entryPath) {
    struct stat info {};
    return !entryPath.empty() && ::stat(entryPath.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
}

bool AutostartEntry::install(const std::string& entryPath, const std::string& executable, const std::string& home) {
    if (entryPath.empty() || executable.empty()) return false;
    const std::string folder = parentOf(entryPath);
    if (!ensureFolder(folder)) return false;
    return replaceFileAtomically(entryPath, content(executable, home), true, 0644);
}

bool AutostartEntry::remove(const std::string& entryPath) {
    if (entryPath.empty()) return false;
    return ::unlink(entryPath.c_str()) == 0 || errno == ENOENT;
}

} // namespace corvanthelix
