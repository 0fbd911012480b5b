#pragma once
#include <string>
#include <vector>

namespace corvanthelix {

class DesktopUser;

/// Runs another program and waits for it.
class ChildProcess {
public:
    struct Options {
        std::string input;          ///< written to the child's standard input, which then ends
        bool captureOutput = false; ///< standard output is returned, not shown
        bool showOutput = false;    ///< the child's own messages reach the terminal (else dropped)
        const DesktopUser* runAs = nullptr; ///< switch to this user first, when it needs a switch
    };
    struct Result {
        bool started = false; ///< false when the program could not be started at all
        int exitCode = -1;    ///< its exit code; -1 when it was killed by a signal
        std::string output;   ///< its standard output when captured
    };

    /// Runs `arguments[0]` (a full path) with `arguments`. Never throws.
    static Result run(const std::vector<std::string>& arguments, const Options& options);

    /// The full path of the executable `name` in $PATH or in `extraFolders`; "" when none.
    static std::string find(const std::string& name, const std::vector<std::string>& extraFolders = {});
};

} // namespace corvanthelix
