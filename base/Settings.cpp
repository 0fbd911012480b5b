#include "base/Settings.h"

#include "base/Application.h"
#include "base/IniFile.h"
#include "base/TextUtils.h"

#include <cstdio>
#include <filesystem>

namespace corvanthelix::settings {

const std::string& settingsFile() { return Application::instance().settingsPath(); }

// One getter/setter pair per key; section, key and default stand together in one line each.
#define CVX_INT_SETTING(getter, setter, sectionName, keyName, defaultValue)                        \
    int getter(const std::string& file) { return IniFile::readInt(sectionName, keyName, defaultValue, file); } \
    void setter(int value, const std::string& file) { IniFile::writeSettingInt(sectionName, keyName, value, file); }

// `size` is the room of the text field the value is read into (0: no limit).
#define CVX_STRING_SETTING(getter, setter, sectionName, keyName, defaultValue, size)               \
    std::string getter(const std::string& file) {                                                  \
        return size ? IniFile::readString(sectionName, keyName, defaultValue, file, size)          \
                    : IniFile::readString(sectionName, keyName, defaultValue, file);               \
    }                                                                                              \
    void setter(const std::string& value, const std::string& file) {                               \
        IniFile::writeString(sectionName, keyName, value, file);                                   \
    }

using section::kCorvanthelix;

CVX_INT_SETTING(enable, setEnable, kCorvanthelix, key::kEnable, 1)
CVX_STRING_SETTING(language, setLanguage, kCorvanthelix, key::kLanguage, "", 260)
CVX_INT_SETTING(languagePackVersion, setLanguagePackVersion, kCorvanthelix, key::kLanguagePackVersion, 1000)
CVX_INT_SETTING(convertedSpamPoints096, setConvertedSpamPoints096, kCorvanthelix, key::kConvertedSpamPoints096, 0)
CVX_INT_SETTING(alphaBlending, setAlphaBlending, kCorvanthelix, key::kAlphaBlending, 0)
CVX_INT_SETTING(autoCheckForUpdates, setAutoCheckForUpdates, kCorvanthelix, key::kAutoCheckForUpdates, 1)
CVX_INT_SETTING(autoCheckForUpdatesDays, setAutoCheckForUpdatesDays, kCorvanthelix, key::kAutoCheckForUpdatesDays, 10)
// Without a recorded check the last one counts as eleven days ago, so the first start checks.
CVX_INT_SETTING(autoCheckForUpdatesLastUpdate, setAutoCheckForUpdatesLastUpdate, kCorvanthelix,
                key::kAutoCheckForUpdatesLastUpdate, todayDayNumber() - 11)
CVX_STRING_SETTING(updateHost, setUpdateHost, kCorvanthelix, key::kUpdateHost, "www.corvanthelix.org", 256)
CVX_INT_SETTING(trayDblClk, setTrayDblClk, kCorvanthelix, key::kTrayDblClk, 40005)
CVX_INT_SETTING(trayNumSeconds, setTrayNumSeconds, kCorvanthelix, key::kTrayNumSeconds, 180)
CVX_INT_SETTING(showBubble, setShowBubble, kCorvanthelix, key::kShowBubble, 1)
CVX_INT_SETTING(bubbleEasyMove, setBubbleEasyMove, kCorvanthelix, key::kBubbleEasyMove, 1)
CVX_INT_SETTING(bubbleSavePosition, setBubbleSavePosition, kCorvanthelix, key::kBubbleSavePosition, 0)
CVX_INT_SETTING(bubbleOpacity, setBubbleOpacity, kCorvanthelix, key::kBubbleOpacity, 100)
CVX_INT_SETTING(keepSpamMails, setKeepSpamMails, kCorvanthelix, key::kKeepSpamMails, 0)
CVX_INT_SETTING(dontDownloadBlockedSenders, setDontDownloadBlockedSenders, kCorvanthelix, key::kDontDownloadBlockedSenders, 0)
CVX_INT_SETTING(recycleBinMaxDays, setRecycleBinMaxDays, kCorvanthelix, key::kRecycleBinMaxDays, 30)
CVX_INT_SETTING(recycleOldMessagesLast, setRecycleOldMessagesLast, kCorvanthelix, key::kRecycleOldMessagesLast, 0)
CVX_INT_SETTING(recycleBinShowInfo, setRecycleBinShowInfo, kCorvanthelix, key::kRecycleBinShowInfo, 1)
CVX_INT_SETTING(trainingAreaMaxDays, setTrainingAreaMaxDays, kCorvanthelix, key::kTrainingAreaMaxDays, 3)
CVX_INT_SETTING(trainingAreaDeleteOldMessagesLast, setTrainingAreaDeleteOldMessagesLast, kCorvanthelix,
                key::kTrainingAreaDeleteOldMessagesLast, 0)
CVX_INT_SETTING(trainingAreaMaxMemory, setTrainingAreaMaxMemory, kCorvanthelix, key::kTrainingAreaMaxMemory, 2048)
CVX_INT_SETTING(trainingAreaPremarkSpam, setTrainingAreaPremarkSpam, kCorvanthelix, key::kTrainingAreaPremarkSpam, 1)
CVX_INT_SETTING(trainingAreaPremarkNonSpam, setTrainingAreaPremarkNonSpam, kCorvanthelix, key::kTrainingAreaPremarkNonSpam, 0)
CVX_INT_SETTING(trainingAreaPremarkAuto, setTrainingAreaPremarkAuto, kCorvanthelix, key::kTrainingAreaPremarkAuto, 0)
CVX_INT_SETTING(filterWordEnable, setFilterWordEnable, kCorvanthelix, key::kFilterWordEnable, 1)
CVX_INT_SETTING(filterWordHtml, setFilterWordHtml, kCorvanthelix, key::kFilterWordHtml, 1)
CVX_INT_SETTING(filterLearningEnable, setFilterLearningEnable, kCorvanthelix, key::kFilterLearningEnable, 1)
CVX_INT_SETTING(filterLearningAutoFriends, setFilterLearningAutoFriends, kCorvanthelix, key::kFilterLearningAutoFriends, 1)
CVX_INT_SETTING(filterLearningAutoRestored, setFilterLearningAutoRestored, kCorvanthelix, key::kFilterLearningAutoRestored, 1)
CVX_INT_SETTING(filterLearningAutoBlocked, setFilterLearningAutoBlocked, kCorvanthelix, key::kFilterLearningAutoBlocked, 1)
CVX_INT_SETTING(filterPluginEnable, setFilterPluginEnable, kCorvanthelix, key::kFilterPluginEnable, 1)
CVX_INT_SETTING(aggressiveness, setAggressiveness, kCorvanthelix, key::kAggressiveness, 50)
CVX_INT_SETTING(showPredefinedWords, setShowPredefinedWords, kCorvanthelix, key::kShowPredefinedWords, 1)
CVX_INT_SETTING(insertMultipleSendersShowErrors, setInsertMultipleSendersShowErrors, kCorvanthelix,
                key::kInsertMultipleSendersShowErrors, 1)
CVX_INT_SETTING(trySsl, setTrySsl, kCorvanthelix, key::kTrySsl, 0)
CVX_INT_SETTING(autoAbortOnTimeout, setAutoAbortOnTimeout, kCorvanthelix, key::kAutoAbortOnTimeout, 0)
CVX_STRING_SETTING(logFileServerFileName, setLogFileServerFileName, kCorvanthelix, key::kLogFileServerFileName, "server.log", 0)
CVX_STRING_SETTING(logFileClientFileName, setLogFileClientFileName, kCorvanthelix, key::kLogFileClientFileName, "client.log", 0)
CVX_INT_SETTING(logFileServerMaxSize, setLogFileServerMaxSize, kCorvanthelix, key::kLogFileServerMaxSize, 102400)
CVX_INT_SETTING(logFileClientMaxSize, setLogFileClientMaxSize, kCorvanthelix, key::kLogFileClientMaxSize, 102400)
CVX_INT_SETTING(logFilterResults, setLogFilterResults, kCorvanthelix, key::kLogFilterResults, 0)
CVX_INT_SETTING(logFilterResultsMaxSize, setLogFilterResultsMaxSize, kCorvanthelix, key::kLogFilterResultsMaxSize, 102400)
CVX_INT_SETTING(viewMessageWhole, setViewMessageWhole, kCorvanthelix, key::kViewMessageWhole, 0)

CVX_INT_SETTING(port, setPort, section::kServer, key::kPort, 1110)
CVX_INT_SETTING(enablePort, setEnablePort, section::kServer, key::kEnablePort, 1)
CVX_INT_SETTING(portSsl, setPortSsl, section::kServer, key::kPortSsl, 1995)
CVX_INT_SETTING(enablePortSsl, setEnablePortSsl, section::kServer, key::kEnablePortSsl, 1)
CVX_INT_SETTING(timeout, setTimeout, section::kServer, key::kTimeout, 60)
CVX_INT_SETTING(messageMemoryKb, setMessageMemoryKb, section::kServer, key::kMessageMemoryKb, 16384)
CVX_INT_SETTING(verifyServerCertificates, setVerifyServerCertificates, section::kServer,
                key::kVerifyServerCertificates, 1)
CVX_INT_SETTING(useStls, setUseStls, section::kServer, key::kUseStls, 1)

CVX_INT_SETTING(parentalControlEnabled, setParentalControlEnabled, section::kParentalControl, key::kEnabled, 0)
CVX_STRING_SETTING(parentalControlHash2, setParentalControlHash2, section::kParentalControl, key::kHash2, "", 256)

CVX_INT_SETTING(backupIni, setBackupIni, section::kBackup, key::kIni, 1)
CVX_INT_SETTING(backupSpamWords, setBackupSpamWords, section::kBackup, key::kSpamWords, 1)
CVX_INT_SETTING(backupMemory, setBackupMemory, section::kBackup, key::kMemory, 0)
CVX_INT_SETTING(backupRecycleBin, setBackupRecycleBin, section::kBackup, key::kRecycleBin, 0)
CVX_INT_SETTING(backupTraining, setBackupTraining, section::kBackup, key::kTraining, 0)

CVX_STRING_SETTING(statsDays, setStatsDays, section::kStats, key::kDays, "", 0)
CVX_STRING_SETTING(statsMails, setStatsMails, section::kStats, key::kMails, "", 0)

// Sections whose keys are names: one getter/setter pair per section.
#define CVX_NAMED_INT_SETTING(getter, setter, sectionName, defaultValue)                           \
    int getter(std::string_view name, const std::string& file) {                                   \
        return IniFile::readInt(sectionName, name, defaultValue, file);                            \
    }                                                                                              \
    void setter(std::string_view name, int value, const std::string& file) {                       \
        IniFile::writeSettingInt(sectionName, name, value, file);                                  \
    }

CVX_NAMED_INT_SETTING(optionalMessageBoxSilenced, setOptionalMessageBox, section::kOptionalMessageBoxes, 0)
CVX_NAMED_INT_SETTING(pluginEnabled, setPluginEnabled, section::kPlugins, 1)
CVX_NAMED_INT_SETTING(filterBehaviorSpam, setFilterBehaviorSpam, section::kFilterBehaviorSpam, 0)

#undef CVX_INT_SETTING
#undef CVX_STRING_SETTING
#undef CVX_NAMED_INT_SETTING

int filterBehaviorNonSpam(std::string_view name, const std::string& file) {
    return IniFile::readInt(section::kFilterBehaviorNonSpam, name, name == filterName::kChiSquarePlugin ? 1 : 0, file);
}
void setFilterBehaviorNonSpam(std::string_view name, int value, const std::string& file) {
    IniFile::writeSettingInt(section::kFilterBehaviorNonSpam, name, value, file);
}

int filterPriority(std::string_view name, const std::string& file) {
    bool builtIn = name == filterName::kLearning || name == filterName::kSpamWords;
    return IniFile::readInt(section::kFilterPriority, name, builtIn ? 1 : 255, file);
}
void setFilterPriority(std::string_view name, int value, const std::string& file) {
    IniFile::writeSettingInt(section::kFilterPriority, name, value, file);
}
bool filterPriorityConfigured(std::string_view name, const std::string& file) {
    return IniFile::readInt(section::kFilterPriority, name, -1, file) != -1;
}

std::string senderEntry(std::string_view address, const std::string& file) {
    return IniFile::readString(section::kSenders, address, "", file);
}
bool setSenderEntry(std::string_view address, const std::string& value, const std::string& file) {
    return IniFile::writeString(section::kSenders, address, value, file);
}
bool removeSender(std::string_view address, const std::string& file) {
    return IniFile::writeString(section::kSenders, address, nullptr, file);
}
std::vector<std::string> senderLines(const std::string& file) {
    return IniFile::readSectionLines(section::kSenders, file);
}
std::string senderSection(const std::string& file) {
    // A buffer of the file's size always holds the whole section; the file may grow between the
    // size and the read, so a full buffer is read again with more room.
    std::error_code error;
    uintmax_t fileSize = std::filesystem::file_size(file, error);
    if (error) return {};
    std::string text(size_t(fileSize) + 2, '\0');
    for (;;) {
        size_t used = IniFile::readSection(section::kSenders, text.data(), text.size(), file);
        if (used == 0) return {};
        if (used < text.size()) {
            text.resize(used);
            return text;
        }
        text.assign(text.size() * 2, '\0');
    }
}

std::string columnKey(int column) {
    char key[16];
    std::snprintf(key, sizeof key, "col%02i", column);
    return key;
}
int windowPlacement(std::string_view window, std::string_view key, int defaultValue, const std::string& file) {
    return IniFile::readInt(window, key, defaultValue, file);
}
void setWindowPlacement(std::string_view window, std::string_view key, int value, const std::string& file) {
    IniFile::writeSettingInt(window, key, value, file);
}
int columnWidth(std::string_view window, int column, const std::string& file) {
    return IniFile::readInt(window, columnKey(column), -1, file);
}
void setColumnWidth(std::string_view window, int column, int width, const std::string& file) {
    IniFile::writeSettingInt(window, columnKey(column), width, file);
}

std::string pluginSetting(std::string_view libraryFileName, std::string_view key, const std::string& file) {
    return IniFile::readString(libraryFileName, key, "", file);
}
bool setPluginSetting(std::string_view libraryFileName, std::string_view key, const char* value,
                      const std::string& file) {
    return IniFile::writeString(libraryFileName, key, value, file);
}

std::string thresholdKey(int level) {
    char key[24];
    std::snprintf(key, sizeof key, "level%i", level);
    return key;
}
std::optional<int> threshold(int level, const std::string& spamPointsFile) {
    std::string key = thresholdKey(level);
    if (!IniFile::hasKey(section::kThreshold, key, spamPointsFile)) return std::nullopt;
    return IniFile::readInt(section::kThreshold, key, 0, spamPointsFile);
}
void setThreshold(int level, int value, const std::string& spamPointsFile) {
    IniFile::writeSettingInt(section::kThreshold, thresholdKey(level), value, spamPointsFile);
}

} // namespace corvanthelix::settings
