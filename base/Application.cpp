#include "base/Application.h"

#include "base/Shell.h"
#include "base/StringTable.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvanthelix {

namespace {

// Answers every question with its safe default and shows nothing; used until a real shell is set.
class SilentShell : public Shell {
public:
    int messageBox(const std::string&, const std::string&, unsigned flags) override {
        unsigned type = flags & mb::kTypeMask;
        return type == mb::kYesNo || type == mb::kYesNoCancel ? answer::kNo : answer::kOk;
    }
    int optionalMessageBox(const std::string&, const std::string&, unsigned, const std::string&,
                           int defaultAnswer) override { return defaultAnswer; }
    int timeoutQuestion() override { return 0; }
    void closeTimeoutQuestion() override {}
    bool loginDialog(LoginRequest&) override { return false; }
    void statusShow() override {}
    void statusDestroy() override {}
    void statusChanged(StatusField) override {}
    void traySetTooltip(const std::string&) override {}
    void traySetProgress(int) override {}
    void traySetSpamCounter(int) override {}
    void trayAnimate(bool) override {}
    void trayBalloon(const std::string&) override {}
    void mailCheckBegin() override {}
    void mailCheckEnd() override {}
    void recycleBinRowChanged(RecycleRowChange, const std::string&) override {}
};

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

} // namespace

Application& Application::instance() {
    static Application app;
    return app;
}

Application::Application() : silentShell_(std::make_unique<SilentShell>()) {
    shell_ = silentShell_.get();
    status_.setShell(shell_);
}

std::string Application::resolveProgramFolder(const std::string& homeOption, const char* argv0) {
    if (!homeOption.empty()) return absolute(homeOption);
    if (const char* env = std::getenv("CORVANTHELIX_HOME"); env && *env) return absolute(env);
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string path = n > 0 ? std::string(exe, static_cast<size_t>(n)) : absolute(argv0 ? argv0 : ".");
    auto slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool Application::setProgramFolder(const std::string& folder) {
    std::string path = absolute(folder);
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    } else if (!S_ISDIR(st.st_mode)) {
        return false;
    }
    programFolder_ = path;
    settingsPath_ = path + "/" + kSettingsFileName;
    return true;
}

std::string Application::pathInProgramFolder(const std::string& relative) const {
    return programFolder_ + "/" + relative;
}

void Application::setShell(Shell* shell) {
    shell_ = shell ? shell : silentShell_.get();
    status_.setShell(shell_);
}

Shell& Application::shell() const { return *shell_; }

int Application::showMessage(int id, unsigned flags) { return showMessageText(loadString(id), flags); }

int Application::showMessageText(const std::string& text, unsigned flags) {
    return shell_->messageBox(text, kName, flags);
}

void Application::addSpamCount(int count) {
    int now = spamCount_.fetch_add(count) + count;
    shell_->traySetSpamCounter(now);
}

void Application::setSpamCount(int count) {
    spamCount_ = count;
    shell_->traySetSpamCounter(count);
}

void Application::trimWorkingSet() { malloc_trim(0); }

} // namespace corvanthelix
