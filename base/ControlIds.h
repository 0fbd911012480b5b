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
} // namespace command

} // namespace corvanthelix
