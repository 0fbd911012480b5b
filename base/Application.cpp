#include "base/Application.h"

#include "base/Shell.h"
#include "base/StringTable.h"

#include <climits>
#include <cstdlib>
#include <malloc.h>
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
    ProgramPaths::Environment environment = ProgramPaths::currentEnvironment(homeOption, argv0);
    if (!environment.homeOption.empty()) return absolute(environment.homeOption);
    if (!environment.homeVariable.empty()) return absolute(environment.homeVariable);
    return environment.executableFolder;
}

bool Application::setPaths(const ProgramPaths& paths) {
    if (!paths.makeDataFolder()) return false;
    paths_ = paths;
    settingsPath_ = paths_.settingsFile();
    return true;
}

bool Application::setProgramFolder(const std::string& folder) {
    return setPaths(ProgramPaths::portable(absolute(folder)));
}

std::string Application::pathInProgramFolder(const std::string& relative) const {
    return paths_.dataPath(relative);
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
