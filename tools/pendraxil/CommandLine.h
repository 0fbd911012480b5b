#pragma once
#include <string>

namespace corvanthelix {

/// pendraxil's command line: everything after the program name, joined by single spaces, is the
/// path of the certificate file, used as it stands (quotes the shell left in are part of the
/// name). A first argument "--verbose" is taken off before.
class CommandLine {
public:
    /// Reads argv[1..argc-1].
    static CommandLine parse(int argc, const char* const* argv);

    /// The certificate file's path, as given.
    const std::string& path() const { return path_; }
    bool verbose() const { return verbose_; }
    /// True when the path is too short to name any file the tool reads (under 4 characters).
    bool wantsUsage() const { return path_.size() < 4; }
    /// True when the path ends in ".p12" in any case: the file is read as PKCS #12, else as DER.
    bool namesPkcs12() const;

private:
    std::string path_;
    bool verbose_ = false;
};

} // namespace corvanthelix
