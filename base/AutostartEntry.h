#pragma once
// The desktop's autostart entry that launches the program when the user logs in:
// $XDG_CONFIG_HOME/autostart/corvanthelix.desktop (~/.config/autostart when XDG_CONFIG_HOME is
// unset or not absolute). Its Exec line runs the executable that runs now and passes --home only
// when the program's folders would not be found without it.
#include "base/ProgramPaths.h"

#include <string>

namespace corvanthelix {

class AutostartEntry {
public:
    static constexpr const char* kFileName = "corvanthelix.desktop";

    /// The entry's path for the configuration home `xdgConfigHome` (used when absolute) and the
    /// home folder `userHome`; "" when neither gives a folder.
    static std::string pathFor(const std::string& xdgConfigHome, const std::string& userHome);
    /// pathFor() with XDG_CONFIG_HOME and HOME of this process.
    static std::string path();

    /// The full path of the running executable (from /proc/self/exe); "" when unknown.
    static std::string runningExecutable();

    /// The folder to pass with --home so that a start from `environment` without --home or
    /// CORVANTHELIX_HOME uses the same data folder as `paths`; "" when it would anyway.
    static std::string homeArgument(const ProgramPaths& paths, const ProgramPaths::Environment& environment);

    /// The entry's text: a desktop entry of type Application whose Exec runs `executable`, with
    /// "--home" and `home` after it when `home` is not empty; each argument quoted and escaped as
    /// desktop entries need.
    static std::string content(const std::string& executable, const std::string& home);

    /// True when the file at `entryPath` exists and is not empty.
    static bool present(const std::string& entryPath);
    /// Writes content() to `entryPath` atomically, making its folder when missing. False when it
    /// cannot be written.
    static bool install(const std::string& entryPath, const std::string& executable, const std::string& home);
    /// Removes the file; true when it is gone afterwards.
    static bool remove(const std::string& entryPath);

    /// One argument of an Exec line: in double quotes, with '"', '`', '$' and '\' escaped by a
    /// backslash, then every backslash doubled and every "%" doubled for the entry's value rules.
    static std::string quoteExecArgument(const std::string& argument);
};

} // namespace corvanthelix
