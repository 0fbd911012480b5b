#pragma once
// What the General Settings, Status Window, Tray Area, Connection and SSL/TLS pages of the options
// dialog edit, as plain values: each struct loads from a settings file and stores into it, so the
// rules (defaults, check-box reading, texts kept as typed, KB conversion, when a restart is due)
// are tested without a window. Check boxes load as checked only for exactly 1 and store 0/1;
// number fields keep the text as typed (at most kMaxNumberText characters).
#include "base/ListeningPortOptions.h"

#include <array>
#include <string>

namespace corvanthelix {

/// Longest text of a number field on the pages.
inline constexpr int kMaxNumberText = 9;

/// General Settings (4008), without the autostart entry (see AutostartEntry).
struct GeneralOptions {
    bool alphaBlending = false;
    bool autoCheckForUpdates = true;
    std::string updateDays;     ///< AutoCheckForUpdatesDays, default "10"
    std::string recycleBinDays; ///< RecycleBinMaxDays, default "30"
    bool keepSpamMails = false;

    static GeneralOptions load(const std::string& settingsFile);
    void store(const std::string& settingsFile) const;
};

/// Status Window (4020).
struct StatusWindowOptions {
    bool showBubble = true;
    bool easyMove = true;
    bool savePosition = false;
    int opacity = 100; ///< 0..100

    static StatusWindowOptions load(const std::string& settingsFile);
    void store(const std::string& settingsFile) const;
};

/// Tray Area (4015), without the parental lock (see ParentalControl).
struct TrayAreaOptions {
    /// The double-click choices in the combo's order: Recycle Bin, statistics, Training Area,
    /// Settings.
    static constexpr std::array<int, 4> kDoubleClickCommands{40005, 40007, 40014, 40004};
    /// String-table titles of those choices, in the same order.
    static constexpr std::array<int, 4> kDoubleClickTitles{174, 176, 175, 177};

    std::string numberSeconds; ///< TrayNumSeconds, default "180"
    int doubleClickIndex = 0;  ///< index into kDoubleClickCommands

    /// The index of `command`, 0 when it is none of the choices.
    static int indexOfCommand(int command);

    static TrayAreaOptions load(const std::string& settingsFile);
    void store(const std::string& settingsFile) const;
};

/// Connection (4003).
struct ConnectionOptions {
    /// Longest log file name.
    static constexpr int kMaxFileName = 259;

    ListeningPortOptions port;
    std::string timeout;           ///< SERVER Timeout as text
    std::string clientLogFile;
    std::string serverLogFile;
    std::string clientLogKilobytes; ///< LogFileClientMaxSize / 1024, as text
    std::string serverLogKilobytes;
    bool autoAbortOnTimeout = false;

    static ConnectionOptions load(const std::string& settingsFile);
    /// Stores every field; the sizes as KB x 1024 (the leading number of the text, kept within
    /// the range of the setting). True when the port changed and the program must restart.
    bool store(const std::string& settingsFile) const;
};

/// SSL/TLS (4021).
struct SslTlsOptions {
    ListeningPortOptions port;
    bool trySsl = false;

    static SslTlsOptions load(const std::string& settingsFile);
    /// True when the port changed and the program must restart.
    bool store(const std::string& settingsFile) const;
};

} // namespace corvanthelix
