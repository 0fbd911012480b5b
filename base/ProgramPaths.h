#pragma once
// Where the program finds what it reads and keeps what it writes. Two layouts are decided once at
// start-up:
//   portable   one folder holds everything: the folder of the executable, or the folder given by
//              --home / CORVANTHELIX_HOME (tests, a copy on a stick, the build's staged folder);
//   installed  the executable lives in <prefix>/bin beside <prefix>/share/corvanthelix; resources
//              (language files, icons, bitmaps, help, spampoints.ini) are read from there, the
//              plug-ins from <prefix>/lib/corvanthelix/plugins, and everything the program writes
//              goes to the user's data folder, $XDG_DATA_HOME/corvanthelix (default
//              ~/.local/share/corvanthelix) or the folder given by --home / CORVANTHELIX_HOME.
// A program folder that is neither installed nor writable is used for its resources, and the
// user's data folder for the rest, as in the installed layout.
#include <string>

namespace corvanthelix {

class ProgramPaths {
public:
    enum class Layout { Portable, Installed };

    static constexpr const char* kSettingsFileName = "corvanthelix.ini";
    /// Name of the program's folder under the user's data home and under <prefix>/share and
    /// <prefix>/lib.
    static constexpr const char* kFolderName = "corvanthelix";
    static constexpr const char* kPluginFolderName = "plugins";
    // Names of what the program keeps in the data folder; the stores use these.
    static constexpr const char* kRecycleFolderName = "recycle";
    static constexpr const char* kTrainingFolderName = "training";
    static constexpr const char* kUidFolderName = "uid";
    static constexpr const char* kCacheFolderName = "cache";
    static constexpr const char* kHostListFileName = "hostlist.xml";
    static constexpr const char* kFilterLogFileName = "filter.log";
    static constexpr const char* kCertificateFileName = "cert.server.pem";
    static constexpr const char* kKeyFileName = "key.server.pem";
    static constexpr const char* kUserSpamWordsFileName = "spampoints_user.ini";
    static constexpr const char* kSpamWordsFileName = "spampoints.ini";

    /// What the decision looks at, gathered from the process by currentEnvironment() or given by
    /// a test. Empty strings mean "not set".
    struct Environment {
        std::string homeOption;       ///< the --home argument
        std::string homeVariable;     ///< CORVANTHELIX_HOME
        std::string xdgDataHome;      ///< XDG_DATA_HOME
        std::string userHome;         ///< HOME, else the home folder of the user's passwd entry
        std::string executableFolder; ///< absolute folder of the running executable
        bool executableFolderWritable = true;
    };

    /// The environment of this process: `homeOption` as given, the variables above, and the
    /// executable's folder from /proc/self/exe (falling back to `argv0`, which may be null).
    static Environment currentEnvironment(const std::string& homeOption, const char* argv0);

    /// The layout for `environment`: installed when installedPrefix() finds a prefix for the
    /// executable's folder, portable otherwise (see the file comment for the read-only case).
    /// Every returned folder is absolute and has no trailing separator. Touches no file except to
    /// look for <prefix>/share/corvanthelix.
    static ProgramPaths decide(const Environment& environment);

    /// Portable paths of one folder (data, resources and plug-ins all in `folder`).
    static ProgramPaths portable(const std::string& folder);

    /// "<prefix>" when `executableFolder` is "<prefix>/bin" and "<prefix>/share/corvanthelix" is
    /// a folder; "" otherwise.
    static std::string installedPrefix(const std::string& executableFolder);

    /// The user's data folder for `environment` when no --home or CORVANTHELIX_HOME is given:
    /// $XDG_DATA_HOME/corvanthelix when XDG_DATA_HOME is an absolute path (a relative one is
    /// ignored, as the XDG rules say), else <home>/.local/share/corvanthelix. "" when neither a
    /// data home nor a home folder is known.
    static std::string userDataFolder(const Environment& environment);

    Layout layout() const { return layout_; }
    /// The folder everything written goes to: settings, word files, recycle bin, training area,
    /// UID lists, cache, logs, host list, the local certificate and key.
    const std::string& dataFolder() const { return dataFolder_; }
    /// The folder of the read-only resources (language files, icons, bitmaps, help, spampoints.ini).
    const std::string& resourceFolder() const { return resourceFolder_; }
    /// The folder the plug-in libraries are loaded from.
    const std::string& pluginFolder() const { return pluginFolder_; }

    /// Full path of "corvanthelix.ini" in the data folder.
    std::string settingsFile() const { return dataPath(kSettingsFileName); }
    /// The recycle bin's folder (data folder).
    std::string recycleFolder() const { return dataPath(kRecycleFolderName); }
    /// The training area's folder, which also holds the learning filter's word lists (data folder).
    std::string trainingFolder() const { return dataPath(kTrainingFolderName); }
    /// The folder of the accounts' UID lists (data folder).
    std::string uidFolder() const { return dataPath(kUidFolderName); }
    /// The folder of the message cache (data folder).
    std::string cacheFolder() const { return dataPath(kCacheFolderName); }
    /// The plug-ins' own data (their lists and word files), in the data folder.
    std::string pluginDataFolder() const { return dataPath(kPluginFolderName); }
    /// The host list "hostlist.xml" (data folder).
    std::string hostListFile() const { return dataPath(kHostListFileName); }
    /// The filter log "filter.log" (data folder).
    std::string filterLogFile() const { return dataPath(kFilterLogFileName); }
    /// The local TLS port's certificate and key, made at the first start (data folder).
    std::string certificateFile() const { return dataPath(kCertificateFileName); }
    std::string keyFile() const { return dataPath(kKeyFileName); }
    /// The person's spam words (data folder) and the shipped ones (resources).
    std::string userSpamWordsFile() const { return dataPath(kUserSpamWordsFileName); }
    std::string spamWordsFile() const { return resourcePath(kSpamWordsFileName); }
    /// `relative` ("recycle/x.recycle") in the data folder.
    std::string dataPath(const std::string& relative) const { return dataFolder_ + "/" + relative; }
    /// `relative` ("icons/mini.ico") in the resource folder.
    std::string resourcePath(const std::string& relative) const { return resourceFolder_ + "/" + relative; }

    /// Makes the data folder when it is missing: 0700, and missing parents too (0700) in the
    /// installed layout, where it lies under the user's data home. Returns false when the folder
    /// cannot be made or a file that is not a folder is in its place.
    bool makeDataFolder() const;

private:
    Layout layout_ = Layout::Portable;
    std::string dataFolder_;
    std::string resourceFolder_;
    std::string pluginFolder_;
};

} // namespace corvanthelix
