#include "base/ListeningPortOptions.h"

#include "base/IniFile.h"
#include "base/Settings.h"

namespace corvanthelix {

namespace {
const char* portKey(ListeningPortOptions::Kind kind) {
    return kind == ListeningPortOptions::Kind::Plain ? settings::key::kPort : settings::key::kPortSsl;
}
const char* flagKey(ListeningPortOptions::Kind kind) {
    return kind == ListeningPortOptions::Kind::Plain ? settings::key::kEnablePort : settings::key::kEnablePortSsl;
}
int defaultPort(ListeningPortOptions::Kind kind, const std::string& file) {
    // The accessors know the default; a file without the key gives it.
    return kind == ListeningPortOptions::Kind::Plain ? settings::port(file) : settings::portSsl(file);
}
// The port as stored, or the default port's number when the file holds none: a page showing the
// default and left alone then counts as unchanged.
std::string storedPortText(ListeningPortOptions::Kind kind, const std::string& file) {
    return IniFile::readString(settings::section::kServer, portKey(kind), std::to_string(defaultPort(kind, file)), file);
}
int storedFlag(ListeningPortOptions::Kind kind, const std::string& file) {
    return kind == ListeningPortOptions::Kind::Plain ? settings::enablePort(file) : settings::enablePortSsl(file);
}
} // namespace

ListeningPortOptions ListeningPortOptions::load(Kind kind, const std::string& settingsFile) {
    ListeningPortOptions options;
    options.kind = kind;
    options.portText = std::to_string(defaultPort(kind, settingsFile));
    options.enabled = storedFlag(kind, settingsFile) == 1;
    return options;
}

bool ListeningPortOptions::store(const std::string& settingsFile) const {
    const std::string text = portText.substr(0, kMaxPortText);
    const bool portChanged = text != storedPortText(kind, settingsFile);
    const bool flagChanged = (enabled ? 1 : 0) != storedFlag(kind, settingsFile);
    if (!portChanged && !flagChanged) return false;
    IniFile::writeString(settings::section::kServer, portKey(kind), text, settingsFile);
    IniFile::writeSettingInt(settings::section::kServer, flagKey(kind), enabled ? 1 : 0, settingsFile);
    return true;
}

} // namespace corvanthelix
