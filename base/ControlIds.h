#pragma once
// Numbers of the program's dialogs, menus, controls and commands. Every widget that stands for a
// control carries its number as its object name ("id1024", see controlName()), so that code and
// tests find it by number.
#include <string>

namespace corvanthelix {

/// The object name of the widget for control `id`: "id" followed by the number.
inline std::string controlName(int id) { return "id" + std::to_string(id); }

/// Dialog and menu resources.
namespace resource {
constexpr int kAboutDialog = 105;
constexpr int kStatusWindow = 119;
constexpr int kDownloadWindow = 127;
constexpr int kTrayMenu = 121;
constexpr int kOptionalMessageBox = 137;
constexpr int kBackupDialog = 140;
constexpr int kSenderDialog = 110;
constexpr int kRecycleBinWindow = 118;
constexpr int kRecycleBinMenu = 120;
constexpr int kMessageViewer = 131;
constexpr int kMultipleSendersDialog = 155;
constexpr int kTrainingAreaWindow = 4013;
constexpr int kTrainingAreaMenu = 122;
constexpr int kPremarkMenu = 148;
constexpr int kLearnProgress = 138;
constexpr int kStatisticsWindow = 4007;
constexpr int kOptionsDialog = 108;
constexpr int kKnownHostsDialog = 151;
constexpr int kPasswordDialog = 152;
constexpr int kEditHostDialog = 4019;
} // namespace resource

/// Buttons every dialog shares; their numbers are also the answers of message boxes.
namespace control {
constexpr int kOk = 1;
constexpr int kCancel = 2;
constexpr int kYes = 6;
constexpr int kNo = 7;

// Status window (dialog 119).
constexpr int kStatusProgressBar = 1023;
constexpr int kStatusText = 1024;
constexpr int kStatusHide = 1042;
constexpr int kStatusCancel = 1043;
constexpr int kStatusProgressText = 1044;
constexpr int kStatusSpamCount = 1045;
constexpr int kStatusDetailText = 1052;

// Optional message box (dialog 137).
constexpr int kOptionalIcon = 1020;
constexpr int kOptionalText = 1024;
constexpr int kOptionalDontShowAgain = 1077;

// Download window of the update check (dialog 127).
constexpr int kDownloadFirstLine = 1000;
constexpr int kDownloadSecondLine = 1001;
constexpr int kDownloadProgress = 1002;

// About dialog (dialog 105).
constexpr int kAboutPicture = 1000;
constexpr int kAboutVersion = 1002;
constexpr int kAboutTitle = 1003;
constexpr int kAboutLink = 1004;
constexpr int kAboutAcknowledgement = 1005;
constexpr int kAboutDisclaimer = 1006;
constexpr int kAboutDisclaimerText = 1007;

// Backup dialog (dialog 140).
constexpr int kBackupProgressBar = 1023;
constexpr int kBackupFileName = 1035;
constexpr int kBackupBrowse = 1089;
constexpr int kBackupIni = 1090;
constexpr int kBackupSpamWords = 1091;
constexpr int kBackupRecycleBin = 1094;
constexpr int kBackupTraining = 1095;
constexpr int kBackupMemory = 1096;
// Recycle bin window (dialog 118).
constexpr int kRecycleList = 1022;
constexpr int kRecyclePaneSubject = 1115;
constexpr int kRecyclePaneSender = 1116;
constexpr int kRecyclePaneFilter = 1117;
constexpr int kRecyclePaneWords = 1118;
constexpr int kRecyclePaneProbability = 1119;
constexpr int kRecyclePaneSize = 1120;
constexpr int kRecyclePaneAccount = 1121;
constexpr int kRecyclePaneToggle = 1122;
constexpr int kRecyclePaneShown = 1111;
constexpr int kRecyclePaneHidden = 1112;

// Message viewer (dialog 131).
constexpr int kViewerHeading = 1002;
constexpr int kViewerText = 1051;
constexpr int kViewerPlainNote = 1137;
constexpr int kViewerWhole = 1123;
constexpr int kViewerNoticeFrame = 1138;
constexpr int kViewerNotice = 1141;
constexpr int kViewerMaybeOnServer = 1142;
constexpr int kViewerDownload = 1140;

// Sender dialog (dialog 110) and the dialog for several senders (dialog 155).
constexpr int kSenderAddress = 1009;
constexpr int kSenderName = 1013;
constexpr int kMultipleQuestion = 1024;
constexpr int kMultipleNoWarnings = 1151;

// Training area window (dialog 4013) and its learn progress dialog (dialog 138).
constexpr int kTrainingList = 1038;
constexpr int kLearnProgressBar = 1023;
constexpr int kLearnProgressText = 1024;

// Statistics window.
constexpr int kStatisticsMaximum = 1060;
constexpr int kStatisticsAverage = 1061;
constexpr int kStatisticsCaption = 1062;
constexpr int kStatisticsChart = 1063;
// Options dialog (dialog 108): its buttons, the version line and the place of the pages.
constexpr int kHelp = 9;
constexpr int kApply = 12321;
constexpr int kOptionsPagePlace = 1007;
constexpr int kOptionsVersion = 1018;
constexpr int kOptionsTree = 1008;

// Options pages, by page: General Settings (4008).
constexpr int kGeneralAutostart = 1046;
constexpr int kGeneralUpdateDays = 1048;
constexpr int kGeneralAutoUpdate = 1047;
constexpr int kGeneralRecycleBinDays = 1049;
constexpr int kGeneralAlphaBlending = 1050;
constexpr int kGeneralKeepSpam = 1136;
constexpr int kGeneralExport = 2000;
constexpr int kGeneralImport = 2001;
// Status Window (4020).
constexpr int kStatusShowBubble = 1045;
constexpr int kStatusEasyMove = 1046;
constexpr int kStatusSavePosition = 1159;
constexpr int kStatusOpacity = 1025;
constexpr int kStatusOpacityText = 1026;
// Tray Area (4015) and the parental lock.
constexpr int kTraySeconds = 1052;
constexpr int kTrayDoubleClick = 1075;
constexpr int kParentalEnable = 1130;
constexpr int kParentalPassword = 1131;
constexpr int kParentalConfirm = 1132;
// Language (4007).
constexpr int kLanguageList = 1001;
// Connection (4003) and SSL/TLS (4021).
constexpr int kConnectionPort = 1011;
constexpr int kConnectionTimeout = 1012;
constexpr int kConnectionClientLog = 1083;
constexpr int kConnectionClientLogSize = 1084;
constexpr int kConnectionServerLog = 1085;
constexpr int kConnectionServerLogSize = 1086;
constexpr int kConnectionAutoAbort = 1087;
constexpr int kPortEnable = 1088;
constexpr int kSslTryTls = 1126;
constexpr int kSslKnownHosts = 1128;
constexpr int kSslPort = 1160;
// Known hosts (dialog 151) and Edit host (dialog 4019).
constexpr int kHostList = 1022;
constexpr int kHostDelete = 1012;
constexpr int kHostEdit = 1017;
constexpr int kHostForgetPin = 1129;
constexpr int kHostServer = 1013;
constexpr int kHostUser = 1009;
constexpr int kHostPort = 1011;
constexpr int kHostSecure = 1126;
} // namespace control

/// Commands of the tray menu (menu 121) and the main window.
namespace command {
constexpr int kDocumentation = 3;
constexpr int kBackup = 2000;
constexpr int kExit = 40002;
constexpr int kAbout = 40003;
constexpr int kSettings = 40004;
constexpr int kRecycleBin = 40005;
constexpr int kUpdateCheck = 40006;
constexpr int kStatistics = 40007;
constexpr int kFaq = 40013;
constexpr int kTrainingArea = 40014;
constexpr int kToggleFilter = 40018;
constexpr int kForum = 4369;

// Recycle bin window (dialog 118) and its context menu (menu 120).
constexpr int kSwitchWindow = 1000;
constexpr int kEmptyBin = 1030;
constexpr int kDeleteMessages = 40001;
constexpr int kViewMessage = 40008;
constexpr int kRestoreMessages = 40009;
constexpr int kAddToBlocked = 40010;
constexpr int kAddToFriends = 40011;
constexpr int kResetAccount = 40019;

// Training area window (dialog 4013), its context menu (menu 122) and the Pre-Mark drop-down (menu 148).
constexpr int kMarkSpam = 1045;
constexpr int kMarkNonSpam = 40015;
constexpr int kLearn = 40016;
constexpr int kPremark = 148;
constexpr int kPremarkSpam = 40021;
constexpr int kPremarkNonSpam = 40022;
} // namespace command

} // namespace corvanthelix
