#pragma once
#include "base/Shell.h"

#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace corvanthelix::testing {

/// A shell that records every call as a line ("messageBox|Corvanthelix|text|flags") and answers
/// from scripts. Without a scripted answer: message boxes answer OK/No, optional boxes their
/// default, the time-out question Abort (0), the Login dialog Cancel.
class ScriptedShell : public Shell {
public:
    /// Queues answers, consumed in order by the matching kind of call.
    void answerMessageBoxes(std::initializer_list<int> answers);
    void answerTimeoutQuestions(std::initializer_list<int> answers);
    /// Queues answers of optional boxes; without one an optional box gives its default answer.
    void answerOptionalBoxes(std::initializer_list<int> answers);
    /// Queues a Login dialog answer: OK with the given fields, or cancel when `ok` is false.
    void answerLogin(bool ok, const LoginRequest& filled = {});
    /// Queues answers to certificate questions (true: Yes); without one the answer is No.
    void answerCertificateQuestions(std::initializer_list<bool> answers);
    /// The certificate questions as asked, in order.
    std::vector<CertificateQuestion> certificateQuestions() const;

    /// Every call so far, in order.
    std::vector<std::string> calls() const;
    /// Number of recorded calls that begin with `prefix`.
    int count(const std::string& prefix) const;
    /// The Login requests as the dialog received them (prefilled values).
    std::vector<LoginRequest> loginRequests() const;
    void clear();

    int messageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    int optionalMessageBox(const std::string& text, const std::string& caption, unsigned flags,
                           const std::string& settingName, int defaultAnswer) override;
    int timeoutQuestion() override;
    void closeTimeoutQuestion() override;
    bool loginDialog(LoginRequest& request) override;
    bool trustCertificate(const CertificateQuestion& question) override;
    void statusShow() override;
    void statusDestroy() override;
    void statusChanged(StatusField field) override;
    void traySetTooltip(const std::string& text) override;
    void traySetProgress(int percentTenths) override;
    void traySetSpamCounter(int count) override;
    void trayAnimate(bool on) override;
    void trayBalloon(const std::string& text) override;
    void mailCheckBegin() override;
    void mailCheckEnd() override;
    void recycleBinRowChanged(RecycleRowChange change, const std::string& fileName) override;

    /// Records status changes as calls too (off by default: they are many).
    void recordStatus(bool on) { recordStatus_ = on; }

private:
    void record(const std::string& line);
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
    std::deque<int> messageAnswers_;
    std::deque<int> timeoutAnswers_;
    std::deque<int> optionalAnswers_;
    std::deque<std::pair<bool, LoginRequest>> loginAnswers_;
    std::vector<LoginRequest> loginRequests_;
    std::deque<bool> certificateAnswers_;
    std::vector<CertificateQuestion> certificateQuestions_;
    bool recordStatus_ = false;
};

} // namespace corvanthelix::testing
