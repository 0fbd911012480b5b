#pragma once
#include "base/ProgramPaths.h"
#include "base/StatusState.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

namespace corvanthelix {

class Shell;

/// The program's one application object: program folder, settings path, the shell through which
/// the core reaches the user, the status window's state and the spam counter.
/// Process-wide; reached through `instance()`.
class Application {
public:
    static constexpr const char* kName = "Corvanthelix";
    static constexpr const char* kVersion = "0.9.8.1";
    static constexpr const char* kSettingsFileName = "corvanthelix.ini";

    /// The process-wide object. Never null; lives until the process ends.
    static Application& instance();

    /// The program folder: `homeOption` when given, else the CORVANTHELIX_HOME environment value
    /// when set, else the folder of the executable `argv0` (resolved through /proc/self/exe).
    /// Returns an absolute path without a trailing separator.
    static std::string resolveProgramFolder(const std::string& homeOption, const char* argv0);

    /// Uses `paths` for every file the program reads or writes; creates the data folder (0700)
    /// when missing. Returns false (and keeps the old paths) when it cannot be made.
    bool setPaths(const ProgramPaths& paths);
    /// Uses one portable folder for everything (as setPaths(ProgramPaths::portable(folder))).
    bool setProgramFolder(const std::string& folder);
    /// The layout decided at start-up: where data, resources and plug-ins are.
    const ProgramPaths& paths() const { return paths_; }
    /// The folder everything the program writes goes to (in the portable layout also the folder
    /// of its resources).
    const std::string& programFolder() const { return paths_.dataFolder(); }
    /// Full path of the settings file "corvanthelix.ini" in the data folder.
    const std::string& settingsPath() const { return settingsPath_; }
    /// The data folder joined with `relative` ("recycle/x.recycle").
    std::string pathInProgramFolder(const std::string& relative) const;
    /// The folder of the read-only resources: language files, icons, bitmaps, help, spampoints.ini.
    const std::string& resourceFolder() const { return paths_.resourceFolder(); }
    /// The folder the plug-in libraries are loaded from.
    const std::string& pluginFolder() const { return paths_.pluginFolder(); }

    /// Installs the shell; not owned, must outlive every call. Null installs a silent shell.
    void setShell(Shell* shell);
    /// The installed shell (a silent one until another is set).
    Shell& shell() const;

    StatusState& status() { return status_; }

    /// Shows string-table entry `id` (translated) in a box captioned "Corvanthelix"; returns the answer.
    int showMessage(int id, unsigned flags);
    /// Shows `text` as it is in a box captioned "Corvanthelix"; returns the answer.
    int showMessageText(const std::string& text, unsigned flags);

    /// Adds `count` to the spam counter shown in the tray and tells the shell.
    void addSpamCount(int count);
    /// Sets the counter to `count` (toggling the filter resets it to 0).
    void setSpamCount(int count);
    int spamCount() const { return spamCount_.load(); }

    /// Asks for a restart after the message loop ends.
    void requestRestart() { restartRequested_ = true; }
    bool restartRequested() const { return restartRequested_.load(); }

    /// Gives unused heap memory back to the system.
    void trimWorkingSet();

private:
    Application();
    ProgramPaths paths_;
    std::string settingsPath_;
    Shell* shell_;
    std::unique_ptr<Shell> silentShell_;
    StatusState status_;
    std::atomic<int> spamCount_{0};
    std::atomic<bool> restartRequested_{false};
};

} // namespace corvanthelix
