#include "update/UpdateDescription.h"

#include "base/IniFile.h"
#include "base/Settings.h"

#include <algorithm>
#include <cctype>

namespace corvanthelix {

namespace {
UpdateDescription::Entry readEntry(const char* section, const char* defaultVersion, const std::string& path) {
    UpdateDescription::Entry entry;
    entry.version = IniFile::readString(section, settings::key::kVersion, defaultVersion, path);
    entry.fileName = IniFile::readString(section, settings::key::kFilename, "", path);
    entry.sha256 = IniFile::readString(section, settings::key::kSha256, "", path);
    std::transform(entry.sha256.begin(), entry.sha256.end(), entry.sha256.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return entry;
}
} // namespace

UpdateDescription UpdateDescription::read(const std::string& path) {
    UpdateDescription description;
    description.program_ = readEntry(settings::section::kUpdates, "", path);
    description.patch_ = readEntry(settings::section::kPatches, "0", path);
    description.languagePack_ = readEntry(settings::section::kLanguagePacks, "1000", path);
    return description;
}

} // namespace corvanthelix
