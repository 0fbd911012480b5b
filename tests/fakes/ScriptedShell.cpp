#include "tests/fakes/ScriptedShell.h"

namespace corvanthelix::testing {

void ScriptedShell::record(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(line);
}

void ScriptedShell::answerMessageBoxes(std::initializer_list<int> answers) {
    std::lock_guard<std::mutex> lock(mutex_);
    messageAnswers_.insert(messageAnswers_.end(), answers);
}

void ScriptedShell::answerTimeoutQuestions(std::initializer_list<int> answers) {
    std::lock_guard<std::mutex> lock(mutex_);
    timeoutAnswers_.insert(timeoutAnswers_.end(), answers);
}

void ScriptedShell::answerLogin(bool ok, const LoginRequest& filled) {
    std::lock_guard<std::mutex> lock(mutex_);
    loginAnswers_.emplace_back(ok, filled);
}

std::vector<std::string> ScriptedShell::calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

int ScriptedShell::count(const std::string& prefix) const {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const auto& c : calls_)
        if (c.rfind(prefix, 0) == 0) ++n;
    return n;
}

std::vector<LoginRequest> ScriptedShell::loginRequests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return loginRequests_;
}

void ScriptedShell::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
    loginRequests_.clear();
}

int ScriptedShell::messageBox(const std::string& text, const std::string& caption, unsigned flags) {
    record("messageBox|" + caption + "|" + text + "|" + std::to_string(flags));
    std::lock_guard<std::mutex> lock(mutex_);
    if (!messageAnswers_.empty()) {
        int a = messageAnswers_.front();
        messageAnswers_.pop_front();
        return a;
    }
    unsigned type = flags & mb::kTypeMask;
    return type == mb::kYesNo || type == mb::kYesNoCancel ? answer::kNo : answer::kOk;
}

int ScriptedShell::optionalMessageBox(const std::string& text, const std::string& caption, unsigned flags,
                                      const std::string& settingName, int defaultAnswer) {
    record("optionalMessageBox|" + settingName + "|" + caption + "|" + text + "|" + std::to_string(flags));
    std::lock_guard<std::mutex> lock(mutex_);
    if (optionalAnswers_.empty()) return defaultAnswer;
    const int answer = optionalAnswers_.front();
    optionalAnswers_.pop_front();
    return answer;
}

void ScriptedShell::answerOptionalBoxes(std::initializer_list<int> answers) {
    std::lock_guard<std::mutex> lock(mutex_);
    optionalAnswers_.insert(optionalAnswers_.end(), answers);
}

int ScriptedShell::timeoutQuestion() {
    record("timeoutQuestion");
    std::lock_guard<std::mutex> lock(mutex_);
    if (timeoutAnswers_.empty()) return 0;
    int a = timeoutAnswers_.front();
    timeoutAnswers_.pop_front();
    return a;
}

void ScriptedShell::closeTimeoutQuestion() { record("closeTimeoutQuestion"); }

bool ScriptedShell::loginDialog(LoginRequest& request) {
    record("loginDialog|" + request.server + "|" + request.user);
    std::lock_guard<std::mutex> lock(mutex_);
    loginRequests_.push_back(request);
    if (loginAnswers_.empty()) return false;
    auto [ok, filled] = loginAnswers_.front();
    loginAnswers_.pop_front();
    if (ok) request = filled;
    return ok;
}

void ScriptedShell::answerCertificateQuestions(std::initializer_list<bool> answers) {
    std::lock_guard<std::mutex> lock(mutex_);
    certificateAnswers_.insert(certificateAnswers_.end(), answers);
}

std::vector<CertificateQuestion> ScriptedShell::certificateQuestions() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return certificateQuestions_;
}

bool ScriptedShell::trustCertificate(const CertificateQuestion& question) {
    record("trustCertificate|" + question.server + "|" + std::to_string(question.port) + "|" + question.reason);
    std::lock_guard<std::mutex> lock(mutex_);
    certificateQuestions_.push_back(question);
    if (certificateAnswers_.empty()) return false;
    const bool yes = certificateAnswers_.front();
    certificateAnswers_.pop_front();
    return yes;
}

void ScriptedShell::statusShow() { record("statusShow"); }
void ScriptedShell::statusDestroy() { record("statusDestroy"); }
void ScriptedShell::statusChanged(StatusField field) {
    if (recordStatus_) record("statusChanged|" + std::to_string(static_cast<int>(field)));
}
void ScriptedShell::traySetTooltip(const std::string& text) { record("traySetTooltip|" + text); }
void ScriptedShell::traySetProgress(int percentTenths) {
    if (recordStatus_) record("traySetProgress|" + std::to_string(percentTenths));
}
void ScriptedShell::traySetSpamCounter(int count) { record("traySetSpamCounter|" + std::to_string(count)); }
void ScriptedShell::trayAnimate(bool on) { record(std::string("trayAnimate|") + (on ? "1" : "0")); }
void ScriptedShell::trayBalloon(const std::string& text) { record("trayBalloon|" + text); }
void ScriptedShell::mailCheckBegin() { record("mailCheckBegin"); }
void ScriptedShell::mailCheckEnd() { record("mailCheckEnd"); }
void ScriptedShell::recycleBinRowChanged(RecycleRowChange change, const std::string& fileName) {
    record("recycleBinRowChanged|" + std::to_string(static_cast<int>(change)) + "|" + fileName);
}

} // namespace corvanthelix::testing
