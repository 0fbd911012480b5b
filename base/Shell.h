#pragma once
#include <string>

namespace corvanthelix {

/// Message box flags, with the values the program's string-table callers pass.
namespace mb {
constexpr unsigned kOk = 0x00;
constexpr unsigned kOkCancel = 0x01;
constexpr unsigned kYesNoCancel = 0x03;
constexpr unsigned kYesNo = 0x04;
constexpr unsigned kTypeMask = 0x0F;
constexpr unsigned kIconStop = 0x10;
constexpr unsigned kIconQuestion = 0x20;
constexpr unsigned kIconExclamation = 0x30;
constexpr unsigned kIconInformation = 0x40;
constexpr unsigned kIconMask = 0xF0;
} // namespace mb

/// Answers of message boxes and dialogs.
namespace answer {
constexpr int kOk = 1;
constexpr int kCancel = 2;
constexpr int kYes = 6;
constexpr int kNo = 7;
} // namespace answer

/// The Login dialog's fields: filled by the caller, edited by the person.
struct LoginRequest {
    std::string server;
    std::string user;
    std::string password;
    bool savePassword = false;
};

/// A server certificate that did not verify, as the person is asked about it. `text` is the whole
/// question, translated, with the details below filled in.
struct CertificateQuestion {
    std::string server;
    int port = 0;
    std::string reason; ///< in plain words: "expired", "self-signed", "wrong host name", ...
    std::string subject;
    std::string issuer;
    std::string validFrom;
    std::string validUntil;
    std::string fingerprint; ///< SHA-256, hexadecimal pairs joined by ":"
    std::string text;
};

/// Which part of the status state changed; the window reads the new value from `StatusState`.
enum class StatusField { Text, Detail, Total, Received, SpamCount, Lock, PercentMode, Cancel };

/// What happened to a row of the recycle bin window.
enum class RecycleRowChange { Added, Changed, Removed, Reloaded };

/// Every effect the core has on the user interface. One object per process, owned by
/// `Application`. Implementations: the Qt desktop shell, the headless shell, and the tests'
/// scripted shell. Calls may come from any thread; an implementation marshals them itself.
class Shell {
public:
    virtual ~Shell() = default;

    /// Shows a message box captioned `caption`; returns the answer (answer::kOk, kYes, ...).
    virtual int messageBox(const std::string& text, const std::string& caption, unsigned flags) = 0;

    /// Shows a message box the user can silence under `settingName` in OPTIONALMESSAGEBOXES.
    /// A silenced box returns `defaultAnswer` without showing anything.
    virtual int optionalMessageBox(const std::string& text, const std::string& caption, unsigned flags,
                                   const std::string& settingName, int defaultAnswer) = 0;

    /// Asks whether to keep waiting for a silent server. Returns 1 for "Wait...", 0 for "Abort".
    virtual int timeoutQuestion() = 0;
    /// Closes an open time-out question as if "Wait..." had been chosen; no effect otherwise.
    virtual void closeTimeoutQuestion() = 0;

    /// Shows the Login dialog prefilled from `request`. Returns true on OK (the request then holds
    /// what the person entered), false when cancelled.
    virtual bool loginDialog(LoginRequest& request) = 0;

    /// Asks whether to trust the certificate described in `question` for its server and port
    /// from now on. Returns true for Yes. The default (and every shell without a person) says No.
    virtual bool trustCertificate(const CertificateQuestion& question) {
        (void)question;
        return false;
    }

    /// Status window: show it (creating it if needed), destroy it, hide it, and redraw one field.
    virtual void statusShow() = 0;
    virtual void statusDestroy() = 0;
    virtual void statusChanged(StatusField field) = 0;

    /// Tray icon: tooltip text, progress percentage in tenths (-1 = none), spam counter,
    /// animation on/off, and the filter state icon.
    virtual void traySetTooltip(const std::string& text) = 0;
    virtual void traySetProgress(int percentTenths) = 0;
    virtual void traySetSpamCounter(int count) = 0;
    virtual void trayAnimate(bool on) = 0;
    virtual void trayBalloon(const std::string& text) = 0;
    /// A second start of the program asked for the tray icon to be shown again (it may have been
    /// lost with the desktop's panel). Called on a worker thread. The default does nothing.
    virtual void trayShowAgain() {}

    /// A mail check begins or ends. Synchronous: returns after the desktop has reacted.
    virtual void mailCheckBegin() = 0;
    virtual void mailCheckEnd() = 0;

    /// A recycle bin row changed. Posted, never blocking: the caller may hold the store's lock.
    virtual void recycleBinRowChanged(RecycleRowChange change, const std::string& fileName) = 0;
};

} // namespace corvanthelix
