#include "app/HeadlessShell.h"

#include "base/Application.h"
#include "base/StatusState.h"

#include <cstdio>

namespace corvanthelix {

namespace {
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}
} // namespace

void HeadlessShell::log(const std::string& line) {
    std::lock_guard<std::mutex> lock(logMutex_);
    std::fprintf(stderr, "corvanthelix: %s\n", line.c_str());
    std::fflush(stderr);
}

int HeadlessShell::messageBox(const std::string& text, const std::string& caption, unsigned flags) {
    log("[" + caption + "] " + oneLine(text));
    switch (flags & mb::kTypeMask) {
    case mb::kYesNo:
    case mb::kYesNoCancel: return answer::kNo;
    case mb::kOkCancel: return answer::kCancel;
    default: return answer::kOk;
    }
}

int HeadlessShell::optionalMessageBox(const std::string& text, const std::string& caption, unsigned,
                                      const std::string& settingName, int defaultAnswer) {
    log("[" + caption + "] (" + settingName + ") " + oneLine(text));
    return defaultAnswer;
}

int HeadlessShell::timeoutQuestion() {
    log("the server has not answered for a long time: aborting the connection");
    return 0;
}

bool HeadlessShell::loginDialog(LoginRequest& request) {
    log("the server refused the login of " + request.user + " at " + request.server);
    return false;
}

bool HeadlessShell::trustCertificate(const CertificateQuestion& question) {
    log("the certificate of " + question.server + ":" + std::to_string(question.port) + " could not be verified (" +
        question.reason + "), SHA-256 " + question.fingerprint + ": not trusted");
    return false;
}

void HeadlessShell::statusChanged(StatusField field) {
    // Only the texts are worth a log line; amounts change many times a second.
    StatusState& status = Application::instance().status();
    if (field == StatusField::Text) {
        std::string text = status.statusText();
        std::lock_guard<std::mutex> lock(statusMutex_);
        const auto now = std::chrono::steady_clock::now();
        if (now - statusLoggedAt_ < std::chrono::seconds(1)) {
            heldBackStatus_ = std::move(text);
            return;
        }
        statusLoggedAt_ = now;
        heldBackStatus_.clear();
        log(text);
    } else if (field == StatusField::Detail) {
        log(oneLine(status.detailText()));
    }
}

void HeadlessShell::traySetTooltip(const std::string&) {}

void HeadlessShell::traySetSpamCounter(int count) {
    if (count > 0) log(std::to_string(count) + " spam messages deleted so far");
}

void HeadlessShell::trayBalloon(const std::string& text) { log(oneLine(text)); }

void HeadlessShell::trayShowAgain() { log("asked by a second start to show the tray icon again"); }

void HeadlessShell::mailCheckBegin() { log("mail check begins"); }

void HeadlessShell::mailCheckEnd() {
    {
        std::lock_guard<std::mutex> lock(statusMutex_);
        if (!heldBackStatus_.empty()) log(heldBackStatus_);
        heldBackStatus_.clear();
    }
    log("mail check ends");
}

} // namespace corvanthelix
