#pragma once
#include "base/ProgramPaths.h"
// Named access to every setting of "corvanthelix.ini". Each setting is read from the file at the
// moment of use and written through at once, so a change takes effect at the next read anywhere.
//
// Naming: a key of section CORVANTHELIX or SERVER has the getter named after the key in lowerCamel
// case, with acronyms written as words (`Aggressiveness` -> aggressiveness(), `EnablePortSSL` ->
// enablePortSsl(), `FilterWordHTML` -> filterWordHtml()), and the setter "set" + the key
// (setAggressiveness(int)). Keys of the other fixed sections carry the section as a prefix
// (PARENTALCONTROL `Enabled` -> parentalControlEnabled(), BACKUP `Ini` -> backupIni(), STATS `Days`
// -> statsDays()). Yes/no settings are int (1 yes, 0 no; other values are passed through as read).
// Every accessor takes the file as its last argument, defaulting to the program's settings file;
// tests and the spam-word files pass their own.
//
// The section and key names below are the only place the program spells them.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvanthelix::settings {

namespace section {
inline constexpr const char* kCorvanthelix = "CORVANTHELIX";
inline constexpr const char* kServer = "SERVER";
inline constexpr const char* kParentalControl = "PARENTALCONTROL";
inline constexpr const char* kOptionalMessageBoxes = "OPTIONALMESSAGEBOXES";
inline constexpr const char* kPlugins = "PLUGINS";
inline constexpr const char* kFilterPriority = "FILTERPRIORITY";
inline constexpr const char* kFilterBehaviorSpam = "FILTERBEHAVIORSPAM";
inline constexpr const char* kFilterBehaviorNonSpam = "FILTERBEHAVIORNONSPAM";
inline constexpr const char* kSenders = "SENDERS";
inline constexpr const char* kStats = "STATS";
inline constexpr const char* kBackup = "BACKUP";
// Window placement sections.
inline constexpr const char* kRecycleBinWindow = "RecycleBinWindow";
inline constexpr const char* kTrainingAreaWindow = "TrainingAreaWindow";
inline constexpr const char* kBubbleWindow = "BubbleWindow";
// Sections of the spam-word files "spampoints.ini" and "spampoints_user.ini".
inline constexpr const char* kProbabilities = "PROBABILITIES";
inline constexpr const char* kPoints = "POINTS";
inline constexpr const char* kThreshold = "THRESHOLD";
// Sections of the update description file.
inline constexpr const char* kUpdates = "UPDATES";
inline constexpr const char* kPatches = "PATCHES";
inline constexpr const char* kLanguagePacks = "LANGUAGEPACKS";
} // namespace section

namespace key {
// CORVANTHELIX
inline constexpr const char* kEnable = "Enable";
inline constexpr const char* kLanguage = "Language";
inline constexpr const char* kLanguagePackVersion = "LanguagePackVersion";
inline constexpr const char* kConvertedSpamPoints096 = "ConvertedSpamPoints096";
inline constexpr const char* kAlphaBlending = "AlphaBlending";
inline constexpr const char* kAutoCheckForUpdates = "AutoCheckForUpdates";
inline constexpr const char* kAutoCheckForUpdatesDays = "AutoCheckForUpdatesDays";
inline constexpr const char* kAutoCheckForUpdatesLastUpdate = "AutoCheckForUpdatesLastUpdate";
inline constexpr const char* kUpdateHost = "UpdateHost";
inline constexpr const char* kTrayDblClk = "TrayDblClk";
inline constexpr const char* kTrayNumSeconds = "TrayNumSeconds";
inline constexpr const char* kShowBubble = "ShowBubble";
inline constexpr const char* kBubbleEasyMove = "BubbleEasyMove";
inline constexpr const char* kBubbleSavePosition = "BubbleSavePosition";
inline constexpr const char* kBubbleOpacity = "BubbleOpacity";
inline constexpr const char* kKeepSpamMails = "KeepSpamMails";
inline constexpr const char* kDontDownloadBlockedSenders = "DontDownloadBlockedSenders";
inline constexpr const char* kRecycleBinMaxDays = "RecycleBinMaxDays";
inline constexpr const char* kRecycleOldMessagesLast = "RecycleOldMessagesLast";
inline constexpr const char* kRecycleBinShowInfo = "RecycleBinShowInfo";
inline constexpr const char* kTrainingAreaMaxDays = "TrainingAreaMaxDays";
inline constexpr const char* kTrainingAreaDeleteOldMessagesLast = "TrainingAreaDeleteOldMessagesLast";
inline constexpr const char* kTrainingAreaMaxMemory = "TrainingAreaMaxMemory";
inline constexpr const char* kTrainingAreaPremarkSpam = "TrainingAreaPremarkSpam";
inline constexpr const char* kTrainingAreaPremarkNonSpam = "TrainingAreaPremarkNonSpam";
inline constexpr const char* kTrainingAreaPremarkAuto = "TrainingAreaPremarkAuto";
inline constexpr const char* kFilterWordEnable = "FilterWordEnable";
inline constexpr const char* kFilterWordHtml = "FilterWordHTML";
inline constexpr const char* kFilterLearningEnable = "FilterLearningEnable";
inline constexpr const char* kFilterLearningAutoFriends = "FilterLearningAutoFriends";
inline constexpr const char* kFilterLearningAutoRestored = "FilterLearningAutoRestored";
inline constexpr const char* kFilterLearningAutoBlocked = "FilterLearningAutoBlocked";
inline constexpr const char* kFilterPluginEnable = "FilterPluginEnable";
inline constexpr const char* kAggressiveness = "Aggressiveness";
inline constexpr const char* kShowPredefinedWords = "ShowPredefinedWords";
inline constexpr const char* kInsertMultipleSendersShowErrors = "InsertMultipleSendersShowErrors";
inline constexpr const char* kTrySsl = "TrySSL";
inline constexpr const char* kAutoAbortOnTimeout = "AutoAbortOnTimeout";
inline constexpr const char* kLogFileServerFileName = "LogFileServerFileName";
inline constexpr const char* kLogFileClientFileName = "LogFileClientFileName";
inline constexpr const char* kLogFileServerMaxSize = "LogFileServerMaxSize";
inline constexpr const char* kLogFileClientMaxSize = "LogFileClientMaxSize";
inline constexpr const char* kLogFilterResults = "LogFilterResults";
inline constexpr const char* kLogFilterResultsMaxSize = "LogFilterResultsMaxSize";
inline constexpr const char* kViewMessageWhole = "ViewMessageWhole";
// SERVER
inline constexpr const char* kPort = "Port";
inline constexpr const char* kEnablePort = "EnablePort";
inline constexpr const char* kPortSsl = "PortSSL";
inline constexpr const char* kEnablePortSsl = "EnablePortSSL";
inline constexpr const char* kTimeout = "Timeout";
inline constexpr const char* kVerifyServerCertificates = "VerifyServerCertificates";
inline constexpr const char* kUseStls = "UseSTLS";
inline constexpr const char* kMessageMemoryKb = "MessageMemoryKB";
// PARENTALCONTROL
inline constexpr const char* kEnabled = "Enabled";
inline constexpr const char* kHash2 = "Hash2";
// STATS
inline constexpr const char* kDays = "Days";
inline constexpr const char* kMails = "Mails";
// BACKUP
inline constexpr const char* kIni = "Ini";
inline constexpr const char* kSpamWords = "SpamWords";
inline constexpr const char* kMemory = "Memory";
inline constexpr const char* kRecycleBin = "RecycleBin";
inline constexpr const char* kTraining = "Training";
// Window placement (sections kRecycleBinWindow, kTrainingAreaWindow, kBubbleWindow); the list
// column keys are made by columnKey().
inline constexpr const char* kTop = "top";
inline constexpr const char* kLeft = "left";
inline constexpr const char* kRight = "right";
inline constexpr const char* kBottom = "bottom";
inline constexpr const char* kMaximized = "maximized";
// Update description file.
inline constexpr const char* kVersion = "Version";
inline constexpr const char* kFilename = "Filename";
inline constexpr const char* kSha256 = "Sha256";
} // namespace key

/// Names of the optional message boxes (keys of section OPTIONALMESSAGEBOXES).
namespace optionalBox {
inline constexpr const char* kExitMainProgram = "ExitMainProgram";
inline constexpr const char* kFilterDisableWarning = "FilterDisableWarning";
inline constexpr const char* kFilterReEnable = "FilterReEnable";
inline constexpr const char* kRecycleBinDeleteQuestion = "RecycleBinDeleteQuestion";
inline constexpr const char* kRecycleBinEmptyQuestion = "RecycleBinEmptyQuestion";
inline constexpr const char* kRecycleBinRestoreQuestion = "RecycleBinRestoreQuestion";
inline constexpr const char* kRecycleBinRestoredInformation = "RecycleBinRestoredInformation";
inline constexpr const char* kTrainingAreaOnLearnRecycleMessage = "TrainingAreaOnLearnRecycleMessage";
inline constexpr const char* kTrainingAreaHasLearned = "TrainingAreaHasLearned";
inline constexpr const char* kTrainingDeleteQuestion = "TrainingDeleteQuestion";
} // namespace optionalBox

/// Names of the built-in filters in the FILTERPRIORITY and FILTERBEHAVIOR* sections; plug-ins are
/// named by their library file name.
namespace filterName {
inline constexpr const char* kLearning = "1";
inline constexpr const char* kSpamWords = "2";
/// The shipped chi-square plug-in, whose non-spam verdict lets the chain go on by default.
inline constexpr const char* kChiSquarePlugin = "chisquare.so";
} // namespace filterName

/// File names in the program folder.
namespace fileName {
inline constexpr const char* kSpamPoints = ProgramPaths::kSpamWordsFileName;
inline constexpr const char* kSpamPointsUser = ProgramPaths::kUserSpamWordsFileName;
} // namespace fileName

/// The program's settings file: Application::instance().settingsPath(). The reference stays
/// valid until the program folder changes.
const std::string& settingsFile();

// --- CORVANTHELIX: general behaviour ------------------------------------------------------------

/// Spam filter on; 0 lets all mail through unfiltered and greys the tray icon. Default 1.
int enable(const std::string& file = settingsFile());
void setEnable(int value, const std::string& file = settingsFile());
/// Language file name relative to the program folder, "default" for built-in English, or empty
/// (choose by the user's language at the next start). At most 259 characters. Default "".
std::string language(const std::string& file = settingsFile());
void setLanguage(const std::string& value, const std::string& file = settingsFile());
/// Version of the installed language pack, compared by the update check. Default 1000.
int languagePackVersion(const std::string& file = settingsFile());
void setLanguagePackVersion(int value, const std::string& file = settingsFile());
/// The old spam-word files have been converted once. Default 0.
int convertedSpamPoints096(const std::string& file = settingsFile());
void setConvertedSpamPoints096(int value, const std::string& file = settingsFile());
/// Windows fade in over 200 ms when shown. Default 0.
int alphaBlending(const std::string& file = settingsFile());
void setAlphaBlending(int value, const std::string& file = settingsFile());
/// Automatic update check on when greater than 0. Default 1.
int autoCheckForUpdates(const std::string& file = settingsFile());
void setAutoCheckForUpdates(int value, const std::string& file = settingsFile());
/// Days between automatic update checks. Default 10.
int autoCheckForUpdatesDays(const std::string& file = settingsFile());
void setAutoCheckForUpdatesDays(int value, const std::string& file = settingsFile());
/// Day number of the last successful update check. Default today's day number - 11.
int autoCheckForUpdatesLastUpdate(const std::string& file = settingsFile());
void setAutoCheckForUpdatesLastUpdate(int value, const std::string& file = settingsFile());
/// The web host of updates, help pages and the forum: "host", "host:port" or "https://host[:port]"
/// (plain http is refused by its users). Default "www.corvanthelix.org".
std::string updateHost(const std::string& file = settingsFile());
void setUpdateHost(const std::string& value, const std::string& file = settingsFile());
/// Command of a double click on the tray icon: 40005 recycle bin, 40007 statistics, 40014
/// training area, 40004 settings. Default 40005.
int trayDblClk(const std::string& file = settingsFile());
void setTrayDblClk(int value, const std::string& file = settingsFile());
/// Seconds the number icon stays in the tray after a mail check; negative keeps it. Default 180.
int trayNumSeconds(const std::string& file = settingsFile());
void setTrayNumSeconds(int value, const std::string& file = settingsFile());
/// Show the status window during mail checks. Default 1.
int showBubble(const std::string& file = settingsFile());
void setShowBubble(int value, const std::string& file = settingsFile());
/// A left press anywhere on the status window moves it. Default 1.
int bubbleEasyMove(const std::string& file = settingsFile());
void setBubbleEasyMove(int value, const std::string& file = settingsFile());
/// The status window keeps its last position (section BubbleWindow). Default 0.
int bubbleSavePosition(const std::string& file = settingsFile());
void setBubbleSavePosition(int value, const std::string& file = settingsFile());
/// Opacity of the status window in percent. Default 100.
int bubbleOpacity(const std::string& file = settingsFile());
void setBubbleOpacity(int value, const std::string& file = settingsFile());
/// Keep spam on the server until it is deleted from the recycle bin. Default 0.
int keepSpamMails(const std::string& file = settingsFile());
void setKeepSpamMails(int value, const std::string& file = settingsFile());
/// Delete mail of blocked senders on the server without downloading it. Default 0.
int dontDownloadBlockedSenders(const std::string& file = settingsFile());
void setDontDownloadBlockedSenders(int value, const std::string& file = settingsFile());
/// Age in days after which recycle bin entries are deleted. Default 30.
int recycleBinMaxDays(const std::string& file = settingsFile());
void setRecycleBinMaxDays(int value, const std::string& file = settingsFile());
/// Day number of the last recycle bin ageing run. Default 0.
int recycleOldMessagesLast(const std::string& file = settingsFile());
void setRecycleOldMessagesLast(int value, const std::string& file = settingsFile());
/// The recycle bin window shows its information panel (exactly 1 = shown). Default 1.
int recycleBinShowInfo(const std::string& file = settingsFile());
void setRecycleBinShowInfo(int value, const std::string& file = settingsFile());
/// Age in days after which training area entries are deleted. Default 3.
int trainingAreaMaxDays(const std::string& file = settingsFile());
void setTrainingAreaMaxDays(int value, const std::string& file = settingsFile());
/// Day number of the last training area ageing run. Default 0.
int trainingAreaDeleteOldMessagesLast(const std::string& file = settingsFile());
void setTrainingAreaDeleteOldMessagesLast(int value, const std::string& file = settingsFile());
/// Memory limit of the learning filter in KB; each word list gets value x 512 bytes. Default 2048.
int trainingAreaMaxMemory(const std::string& file = settingsFile());
void setTrainingAreaMaxMemory(int value, const std::string& file = settingsFile());
/// Pre-mark spam messages in the training area. Default 1.
int trainingAreaPremarkSpam(const std::string& file = settingsFile());
void setTrainingAreaPremarkSpam(int value, const std::string& file = settingsFile());
/// Pre-mark non-spam messages in the training area. Default 0.
int trainingAreaPremarkNonSpam(const std::string& file = settingsFile());
void setTrainingAreaPremarkNonSpam(int value, const std::string& file = settingsFile());
/// Pre-mark automatically when the training area opens. Default 0.
int trainingAreaPremarkAuto(const std::string& file = settingsFile());
void setTrainingAreaPremarkAuto(int value, const std::string& file = settingsFile());
/// Spam-word filter on. Default 1.
int filterWordEnable(const std::string& file = settingsFile());
void setFilterWordEnable(int value, const std::string& file = settingsFile());
/// The spam-word filter ignores HTML tags (exactly 1 = on). Key `FilterWordHTML`. Default 1.
int filterWordHtml(const std::string& file = settingsFile());
void setFilterWordHtml(int value, const std::string& file = settingsFile());
/// Learning filter on. Default 1.
int filterLearningEnable(const std::string& file = settingsFile());
void setFilterLearningEnable(int value, const std::string& file = settingsFile());
/// Learn automatically from mail of friends. Default 1.
int filterLearningAutoFriends(const std::string& file = settingsFile());
void setFilterLearningAutoFriends(int value, const std::string& file = settingsFile());
/// Learn automatically from restored messages. Default 1.
int filterLearningAutoRestored(const std::string& file = settingsFile());
void setFilterLearningAutoRestored(int value, const std::string& file = settingsFile());
/// Learn automatically from mail of blocked senders. Default 1.
int filterLearningAutoBlocked(const std::string& file = settingsFile());
void setFilterLearningAutoBlocked(int value, const std::string& file = settingsFile());
/// Plug-in filters on. Default 1.
int filterPluginEnable(const std::string& file = settingsFile());
void setFilterPluginEnable(int value, const std::string& file = settingsFile());
/// Filter aggressiveness: 0, 25, 50, 75 or 100. Default 50.
int aggressiveness(const std::string& file = settingsFile());
void setAggressiveness(int value, const std::string& file = settingsFile());
/// The spam words page lists the predefined words too. Default 1.
int showPredefinedWords(const std::string& file = settingsFile());
void setShowPredefinedWords(int value, const std::string& file = settingsFile());
/// Report senders not added when many are added at once. Default 1.
int insertMultipleSendersShowErrors(const std::string& file = settingsFile());
void setInsertMultipleSendersShowErrors(int value, const std::string& file = settingsFile());
/// Connect to mail servers securely; 995 becomes the server port when an account gives none.
/// Key `TrySSL`. Default 0.
int trySsl(const std::string& file = settingsFile());
void setTrySsl(int value, const std::string& file = settingsFile());
/// On a server time-out abort without asking (1) or ask (0). Default 0.
int autoAbortOnTimeout(const std::string& file = settingsFile());
void setAutoAbortOnTimeout(int value, const std::string& file = settingsFile());
/// File of the server-side protocol log. Default "server.log".
std::string logFileServerFileName(const std::string& file = settingsFile());
void setLogFileServerFileName(const std::string& value, const std::string& file = settingsFile());
/// File of the client-side protocol log. Default "client.log".
std::string logFileClientFileName(const std::string& file = settingsFile());
void setLogFileClientFileName(const std::string& value, const std::string& file = settingsFile());
/// Size limit of the server log in bytes. Default 102400.
int logFileServerMaxSize(const std::string& file = settingsFile());
void setLogFileServerMaxSize(int value, const std::string& file = settingsFile());
/// Size limit of the client log in bytes. Default 102400.
int logFileClientMaxSize(const std::string& file = settingsFile());
void setLogFileClientMaxSize(int value, const std::string& file = settingsFile());
/// Write the filter log "filter.log". Default 0.
int logFilterResults(const std::string& file = settingsFile());
void setLogFilterResults(int value, const std::string& file = settingsFile());
/// Size limit of the filter log in bytes. Default 102400.
int logFilterResultsMaxSize(const std::string& file = settingsFile());
void setLogFilterResultsMaxSize(int value, const std::string& file = settingsFile());
/// State of the message viewer's whole-message check box. Default 0.
int viewMessageWhole(const std::string& file = settingsFile());
void setViewMessageWhole(int value, const std::string& file = settingsFile());

// --- SERVER: local listening ports ----------------------------------------------------------------

/// Local plain POP3 port. Default 1110 (a desktop user may not bind ports below 1024).
int port(const std::string& file = settingsFile());
void setPort(int value, const std::string& file = settingsFile());
/// Listen on port(). Default 1.
int enablePort(const std::string& file = settingsFile());
void setEnablePort(int value, const std::string& file = settingsFile());
/// Local secure POP3 port. Key `PortSSL`. Default 1995.
int portSsl(const std::string& file = settingsFile());
void setPortSsl(int value, const std::string& file = settingsFile());
/// Listen on portSsl(). Key `EnablePortSSL`. Default 1.
int enablePortSsl(const std::string& file = settingsFile());
void setEnablePortSsl(int value, const std::string& file = settingsFile());
/// Kilobytes of downloaded messages a mail check keeps in memory; beyond them the messages wait
/// in files of the account's spool folder until QUIT. Key `MessageMemoryKB`. Default 16384.
int messageMemoryKb(const std::string& file = settingsFile());
void setMessageMemoryKb(int value, const std::string& file = settingsFile());
/// Server time-out in seconds. Default 60.
int timeout(const std::string& file = settingsFile());
void setTimeout(int value, const std::string& file = settingsFile());
/// Verify the certificates of mail servers (chain and host name) and ask before trusting one that
/// fails. Key `VerifyServerCertificates`. Default 1.
int verifyServerCertificates(const std::string& file = settingsFile());
void setVerifyServerCertificates(int value, const std::string& file = settingsFile());
/// Upgrade plain connections to mail servers with STLS when they offer it. Key `UseSTLS`.
/// Default 1.
int useStls(const std::string& file = settingsFile());
void setUseStls(int value, const std::string& file = settingsFile());

// --- PARENTALCONTROL --------------------------------------------------------------------------------

/// Every tray menu command asks for the password. Default 0.
int parentalControlEnabled(const std::string& file = settingsFile());
void setParentalControlEnabled(int value, const std::string& file = settingsFile());
/// Three-digit password length followed by the encoded digest. At most 255 characters. Default "".
std::string parentalControlHash2(const std::string& file = settingsFile());
void setParentalControlHash2(const std::string& value, const std::string& file = settingsFile());

// --- BACKUP: last choices in the backup dialog -------------------------------------------------------

int backupIni(const std::string& file = settingsFile());        // default 1
void setBackupIni(int value, const std::string& file = settingsFile());
int backupSpamWords(const std::string& file = settingsFile());  // default 1
void setBackupSpamWords(int value, const std::string& file = settingsFile());
int backupMemory(const std::string& file = settingsFile());     // default 0
void setBackupMemory(int value, const std::string& file = settingsFile());
int backupRecycleBin(const std::string& file = settingsFile()); // default 0
void setBackupRecycleBin(int value, const std::string& file = settingsFile());
int backupTraining(const std::string& file = settingsFile());   // default 0
void setBackupTraining(int value, const std::string& file = settingsFile());

// --- STATS ------------------------------------------------------------------------------------------

/// Comma-separated day numbers of the statistics, each followed by ",". Default "".
std::string statsDays(const std::string& file = settingsFile());
void setStatsDays(const std::string& value, const std::string& file = settingsFile());
/// Comma-separated spam counts matching statsDays(). Default "".
std::string statsMails(const std::string& file = settingsFile());
void setStatsMails(const std::string& value, const std::string& file = settingsFile());

// --- Sections keyed by names ---------------------------------------------------------------------

/// 1 when the optional box `name` (optionalBox::k...) is silenced: do not show it, give its
/// default answer. Missing or 0: show it.
int optionalMessageBoxSilenced(std::string_view name, const std::string& file = settingsFile());
void setOptionalMessageBox(std::string_view name, int value, const std::string& file = settingsFile());

/// Plug-in with library file name `libraryFileName` (no folder) enabled. Default 1.
int pluginEnabled(std::string_view libraryFileName, const std::string& file = settingsFile());
void setPluginEnabled(std::string_view libraryFileName, int value, const std::string& file = settingsFile());

/// Position of filter `name` in the chain (filterName::k... or a plug-in's library file name).
/// Default 1 for the built-in filters, 255 for plug-ins.
int filterPriority(std::string_view name, const std::string& file = settingsFile());
void setFilterPriority(std::string_view name, int value, const std::string& file = settingsFile());
/// True when a position is stored for filter `name` (a read with default -1 gives something else).
bool filterPriorityConfigured(std::string_view name, const std::string& file = settingsFile());
/// What the chain does after filter `name` found spam. Default 0.
int filterBehaviorSpam(std::string_view name, const std::string& file = settingsFile());
void setFilterBehaviorSpam(std::string_view name, int value, const std::string& file = settingsFile());
/// What the chain does after filter `name` found non-spam. Default 0; 1 for the chi-square plug-in.
int filterBehaviorNonSpam(std::string_view name, const std::string& file = settingsFile());
void setFilterBehaviorNonSpam(std::string_view name, int value, const std::string& file = settingsFile());

/// The raw value ("text,list") stored for sender `address` in SENDERS, or "" when none.
std::string senderEntry(std::string_view address, const std::string& file = settingsFile());
/// Stores the raw value; false when it could not be written (also for an address that cannot be
/// a key: empty, containing "=" or a line break, starting with ";" or "[").
bool setSenderEntry(std::string_view address, const std::string& value, const std::string& file = settingsFile());
/// Deletes the sender's key; the section stays. False only when the file could not be written.
bool removeSender(std::string_view address, const std::string& file = settingsFile());
/// Every "address=value" line of SENDERS in file order (the section reader's lines).
std::vector<std::string> senderLines(const std::string& file = settingsFile());
/// The whole SENDERS section as the section reader gives it: every line NUL-terminated, then one
/// more NUL. "" when the file or the section is missing.
std::string senderSection(const std::string& file = settingsFile());

/// The key of list column `column` in a window placement section: "col%02i" ("col00", "col03").
std::string columnKey(int column);
/// A placement value (key::kTop ... key::kMaximized) of window section `window`
/// (section::kRecycleBinWindow ...), or `defaultValue` when missing.
int windowPlacement(std::string_view window, std::string_view key, int defaultValue,
                    const std::string& file = settingsFile());
void setWindowPlacement(std::string_view window, std::string_view key, int value,
                        const std::string& file = settingsFile());
/// Width of list column `column` of window section `window`, -1 when missing.
int columnWidth(std::string_view window, int column, const std::string& file = settingsFile());
void setColumnWidth(std::string_view window, int column, int width, const std::string& file = settingsFile());

/// A plug-in's own setting, raw as stored (the caller Q-encodes and decodes): section = the
/// plug-in's library file name without folder. "" when missing.
std::string pluginSetting(std::string_view libraryFileName, std::string_view key,
                          const std::string& file = settingsFile());
/// Stores the raw value; nullptr deletes the key. False when it could not be written.
bool setPluginSetting(std::string_view libraryFileName, std::string_view key, const char* value,
                      const std::string& file = settingsFile());

// --- Spam-word files ------------------------------------------------------------------------------

/// The THRESHOLD key of an aggressiveness level: "level%i" ("level50").
std::string thresholdKey(int level);
/// The threshold of `level` stored in the spam-word file `spamPointsFile`, or nothing when the
/// file has no such key.
std::optional<int> threshold(int level, const std::string& spamPointsFile);
void setThreshold(int level, int value, const std::string& spamPointsFile);

} // namespace corvanthelix::settings
