#include "base/OptionsPageValues.h"

#include "base/IniFile.h"
#include "base/Settings.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace corvanthelix {

namespace {
using settings::section::kCorvanthelix;
using settings::section::kServer;

bool checked(int value) { return value == 1; }
int flag(bool on) { return on ? 1 : 0; }

// A number field's text as the page shows it: the stored value as written (or the default), cut
// to the field's room.
std::string numberText(const char* section, const char* key, const char* defaultText, const std::string& file) {
    return IniFile::readString(section, key, defaultText, file, kMaxNumberText + 1);
}
void writeNumberText(const char* section, const char* key, const std::string& text, const std::string& file) {
    IniFile::writeString(section, key, text.substr(0, kMaxNumberText), file);
}

std::string kilobytes(int bytes) { return std::to_string(bytes / 1024); }
// The leading number of `text` in KB as bytes, kept within the int range of the setting.
int bytesOf(const std::string& text) {
    const long long kb = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp(kb * 1024, static_cast<long long>(INT_MIN), static_cast<long long>(INT_MAX)));
}
} // namespace

// --- General Settings ---------------------------------------------------------------------------

GeneralOptions GeneralOptions::load(const std::string& file) {
    GeneralOptions options;
    options.alphaBlending = checked(settings::alphaBlending(file));
    options.autoCheckForUpdates = checked(settings::autoCheckForUpdates(file));
    options.updateDays = numberText(kCorvanthelix, settings::key::kAutoCheckForUpdatesDays, "10", file);
    options.recycleBinDays = numberText(kCorvanthelix, settings::key::kRecycleBinMaxDays, "30", file);
    options.keepSpamMails = checked(settings::keepSpamMails(file));
    return options;
}

void GeneralOptions::store(const std::string& file) const {
    settings::setAlphaBlending(flag(alphaBlending), file);
    settings::setAutoCheckForUpdates(flag(autoCheckForUpdates), file);
    writeNumberText(kCorvanthelix, settings::key::kAutoCheckForUpdatesDays, updateDays, file);
    writeNumberText(kCorvanthelix, settings::key::kRecycleBinMaxDays, recycleBinDays, file);
    settings::setKeepSpamMails(flag(keepSpamMails), file);
}

// --- Status Window --------------------------------------------------------------------------------

StatusWindowOptions StatusWindowOptions::load(const std::string& file) {
    StatusWindowOptions options;
    options.showBubble = checked(settings::showBubble(file));
    options.easyMove = checked(settings::bubbleEasyMove(file));
    options.savePosition = checked(settings::bubbleSavePosition(file));
    options.opacity = std::clamp(settings::bubbleOpacity(file), 0, 100);
    return options;
}

void StatusWindowOptions::store(const std::string& file) const {
    settings::setShowBubble(flag(showBubble), file);
    settings::setBubbleEasyMove(flag(easyMove), file);
    settings::setBubbleSavePosition(flag(savePosition), file);
    settings::setBubbleOpacity(std::clamp(opacity, 0, 100), file);
}

// --- Tray Area --------------------------------------------------------------------------------------

int TrayAreaOptions::indexOfCommand(int command) {
    const auto found = std::find(kDoubleClickCommands.begin(), kDoubleClickCommands.end(), command);
    return found == kDoubleClickCommands.end() ? 0 : static_cast<int>(found - kDoubleClickCommands.begin());
}

TrayAreaOptions TrayAreaOptions::load(const std::string& file) {
    TrayAreaOptions options;
    options.numberSeconds = numberText(kCorvanthelix, settings::key::kTrayNumSeconds, "180", file);
    options.doubleClickIndex = indexOfCommand(settings::trayDblClk(file));
    return options;
}

void TrayAreaOptions::store(const std::string& file) const {
    writeNumberText(kCorvanthelix, settings::key::kTrayNumSeconds, numberSeconds, file);
    const int index = std::clamp(doubleClickIndex, 0, static_cast<int>(kDoubleClickCommands.size()) - 1);
    settings::setTrayDblClk(kDoubleClickCommands[static_cast<size_t>(index)], file);
}

// --- Connection -------------------------------------------------------------------------------------

ConnectionOptions ConnectionOptions::load(const std::string& file) {
    ConnectionOptions options;
    options.port = ListeningPortOptions::load(ListeningPortOptions::Kind::Plain, file);
    options.timeout = numberText(kServer, settings::key::kTimeout, "60", file);
    options.clientLogFile = settings::logFileClientFileName(file).substr(0, kMaxFileName);
    options.serverLogFile = settings::logFileServerFileName(file).substr(0, kMaxFileName);
    options.clientLogKilobytes = kilobytes(settings::logFileClientMaxSize(file));
    options.serverLogKilobytes = kilobytes(settings::logFileServerMaxSize(file));
    options.autoAbortOnTimeout = checked(settings::autoAbortOnTimeout(file));
    return options;
}

bool ConnectionOptions::store(const std::string& file) const {
    const bool restart = port.store(file);
    writeNumberText(kServer, settings::key::kTimeout, timeout, file);
    settings::setLogFileClientFileName(clientLogFile.substr(0, kMaxFileName), file);
    settings::setLogFileServerFileName(serverLogFile.substr(0, kMaxFileName), file);
    settings::setLogFileClientMaxSize(bytesOf(clientLogKilobytes), file);
    settings::setLogFileServerMaxSize(bytesOf(serverLogKilobytes), file);
    settings::setAutoAbortOnTimeout(flag(autoAbortOnTimeout), file);
    return restart;
}

// --- SSL/TLS ------------------------------------------------------------------------------------------

SslTlsOptions SslTlsOptions::load(const std::string& file) {
    SslTlsOptions options;
    options.port = ListeningPortOptions::load(ListeningPortOptions::Kind::Secure, file);
    options.trySsl = checked(settings::trySsl(file));
    return options;
}

bool SslTlsOptions::store(const std::string& file) const {
    const bool restart = port.store(file);
    settings::setTrySsl(flag(trySsl), file);
    return restart;
}

} // namespace corvanthelix
