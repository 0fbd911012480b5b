#include "base/ProgramPaths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace corvanthelix {

namespace {

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') return withoutTrailingSlash(path);
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) return withoutTrailingSlash(path);
    return withoutTrailingSlash(std::string(cwd) + "/" + path);
}

std::string parentOf(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string passwdHome() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir)
        return {};
    return found->pw_dir;
}

bool isFolder(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Makes `path` (0700) unless it is a folder already; with `parents`, missing parents first.
bool makeFolder(const std::string& path, bool parents) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    if (parents) {
        std::string parent = parentOf(path);
        if (parent != path && !makeFolder(parent, true)) return false;
    }
    return mkdir(path.c_str(), 0700) == 0 || (errno == EEXIST && isFolder(path));
}

} // namespace

ProgramPaths::Environment ProgramPaths::currentEnvironment(const std::string& homeOption, const char* argv0) {
    Environment environment;
    environment.homeOption = homeOption;
    environment.homeVariable = variable("CORVANTHELIX_HOME");
    environment.xdgDataHome = variable("XDG_DATA_HOME");
    environment.userHome = variable("HOME");
    if (environment.userHome.empty()) environment.userHome = passwdHome();
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string path = n > 0 ? std::string(exe, static_cast<size_t>(n)) : absolute(argv0 ? argv0 : ".");
    environment.executableFolder = parentOf(path);
    environment.executableFolderWritable = access(environment.executableFolder.c_str(), W_OK) == 0;
    return environment;
}

std::string ProgramPaths::installedPrefix(const std::string& executableFolder) {
    std::string folder = withoutTrailingSlash(executableFolder);
    auto slash = folder.rfind('/');
    if (slash == std::string::npos || folder.substr(slash + 1) != "bin") return {};
    std::string prefix = slash == 0 ? std::string() : folder.substr(0, slash);
    return isFolder(prefix + "/share/" + kFolderName) ? (prefix.empty() ? std::string("/") : prefix) : std::string();
}

std::string ProgramPaths::userDataFolder(const Environment& environment) {
    if (!environment.xdgDataHome.empty() && environment.xdgDataHome[0] == '/')
        return withoutTrailingSlash(environment.xdgDataHome) + "/" + kFolderName;
    if (environment.userHome.empty()) return {};
    return absolute(environment.userHome) + "/.local/share/" + kFolderName;
}

ProgramPaths ProgramPaths::portable(const std::string& folder) {
    ProgramPaths paths;
    paths.layout_ = Layout::Portable;
    paths.dataFolder_ = absolute(folder);
    paths.resourceFolder_ = paths.dataFolder_;
    paths.pluginFolder_ = paths.dataFolder_ + "/" + kPluginFolderName;
    return paths;
}

ProgramPaths ProgramPaths::decide(const Environment& environment) {
    const std::string& given = !environment.homeOption.empty() ? environment.homeOption : environment.homeVariable;
    const std::string executableFolder = absolute(environment.executableFolder);
    const std::string prefix = installedPrefix(executableFolder);
    if (prefix.empty() && (!given.empty() || environment.executableFolderWritable))
        return portable(given.empty() ? executableFolder : given);

    ProgramPaths paths;
    paths.layout_ = Layout::Installed;
    if (prefix.empty()) {
        // A read-only program folder: its resources are used where they are.
        paths.resourceFolder_ = executableFolder;
        paths.pluginFolder_ = executableFolder + "/" + kPluginFolderName;
    } else {
        const std::string base = prefix == "/" ? std::string() : prefix;
        paths.resourceFolder_ = base + "/share/" + kFolderName;
        paths.pluginFolder_ = base + "/lib/" + kFolderName + "/" + kPluginFolderName;
    }
    paths.dataFolder_ = given.empty() ? userDataFolder(environment) : absolute(given);
    return paths;
}

bool ProgramPaths::makeDataFolder() const {
    if (dataFolder_.empty()) return false;
    return makeFolder(dataFolder_, layout_ == Layout::Installed);
}

} // namespace corvanthelix
