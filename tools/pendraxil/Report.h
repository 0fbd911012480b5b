#pragma once
#include <string>

namespace corvanthelix {

/// What pendraxil tells about its run. Quiet by default: only --verbose makes it say what was
/// done and why something failed; the usage text is the one thing shown in every case.
class Report {
public:
    explicit Report(bool verbose) : verbose_(verbose) {}

    /// Whether notes are shown; child programs' own output is shown only then too.
    bool verbose() const { return verbose_; }
    /// Prints `line` on standard output when verbose.
    void note(const std::string& line) const;
    /// Prints the usage text on standard error, verbose or not.
    static void usage();

private:
    bool verbose_;
};

} // namespace corvanthelix
