#pragma once
// The update check's decisions as pure functions: what a version number is, which offer of an
// update description applies to the installed program or language pack, and which file names a
// description may give.
#include <optional>
#include <string>

namespace corvanthelix {
class UpdateDescription;
}

namespace corvanthelix::update {

/// A program version: major, minor and build.
struct ProgramVersion {
    int major = 0;
    int minor = 0;
    int build = 0;
};

/// What a check offers the person.
enum class Offer {
    nothing,      ///< nothing newer than what is installed
    newVersion,   ///< a newer program version
    patch,        ///< the same version with a higher patch level
    languagePack, ///< a newer language pack
    invalid,      ///< the description names no version: the check failed
};

/// Up to three decimal numbers separated by dots ("0.9.10", "1.2", "3"); missing parts are 0.
/// nullopt for an empty text, a part that is not a number, more than three parts, or a part
/// above 99 (the comparison gives each part two digits).
std::optional<ProgramVersion> parseVersion(const std::string& text);

/// The number versions compare as: "%02i%02i%02i" of major, minor and build, read as decimal.
int versionNumber(const ProgramVersion& version);

/// The installed program's version and patch level from a version text "major.minor.build.patch"
/// ("0.9.8.1" gives 0.9.8 and patch "1"; a missing patch part gives "0").
ProgramVersion installedVersion(const std::string& versionText);
std::string installedPatchLevel(const std::string& versionText);

/// The query value of the version-specific description: "%i_%i_%i_%s".
std::string versionQuery(const ProgramVersion& version, const std::string& patchLevel);

/// The program check's offer: newVersion when the description's version is higher than
/// `installed`; patch when it is the same and its patch level (a leading decimal number, default 0)
/// is higher than `installedPatch`; nothing otherwise; invalid when the description's version is
/// empty or unreadable.
Offer programOffer(const UpdateDescription& description, const ProgramVersion& installed,
                   const std::string& installedPatch);

/// The language pack check's offer: languagePack when the description's language pack version is
/// higher than `installedPackVersion`, nothing otherwise.
Offer languagePackOffer(const UpdateDescription& description, int installedPackVersion);

/// True for a file name a download may be stored under in the updates folder: not empty, no "/"
/// or "\\", not "." or "..", no "..", no control characters, at most 200 bytes.
bool safeFileName(const std::string& name);

/// True when `text` is 64 hexadecimal digits (either case): a usable SHA-256 from a description.
bool wellFormedSha256(const std::string& text);

} // namespace corvanthelix::update
