#pragma once
// An update description ("updates.ini" in the settings-file format): the newest program version,
// the newest patch for it and the newest language pack, each with the file to download and,
// optionally, the file's SHA-256 in hexadecimal ("Sha256").
#include <string>

namespace corvanthelix {

class UpdateDescription {
public:
    /// One offered file.
    struct Entry {
        std::string version;  ///< as written, trimmed; may be empty
        std::string fileName; ///< as written; checked by the caller before use
        std::string sha256;   ///< lower-case hexadecimal, or empty when the key is missing
    };

    /// Reads the description file at `path`; a missing file gives empty entries (with the patch
    /// version "0" and the language pack version "1000", the defaults of a missing key).
    static UpdateDescription read(const std::string& path);

    const Entry& program() const { return program_; }
    const Entry& patch() const { return patch_; }
    const Entry& languagePack() const { return languagePack_; }

private:
    Entry program_;
    Entry patch_;
    Entry languagePack_;
};

} // namespace corvanthelix
