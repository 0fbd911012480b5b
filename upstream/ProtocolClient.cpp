#include "upstream/ProtocolClient.h"

#include <strings.h>

namespace corvanthelix {

namespace {
// How often a disarm repeats kDisarmed while the person is still being asked.
constexpr std::chrono::milliseconds kQuestionCloseRetry(100);
} // namespace

ProtocolClient::ProtocolClient() = default;

ProtocolClient::~ProtocolClient() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    // No wait is in progress here (every wait ends before its operation returns); the idle
    // watch must go before the object does.
    stopWatch();
    serverLog_.close();
    connection_.close();
}

int ProtocolClient::readLine(std::string& out) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    ssize_t length = connection_.readLine(out, kMaxLineLength);
    if (length <= 0) {
        out.clear();
        return length < 0 ? -1 : 0;
    }
    if (length > 1 && serverLog_.isEnabled()) {
        std::string_view shown(out);
        if (shown.size() >= 2) shown.remove_suffix(2);
        serverLog_.writeTimed("S", shown);
    }
    return static_cast<int>(length);
}

int ProtocolClient::sendCommand(std::string_view) { return -1; }
UpstreamResult ProtocolClient::connect(const std::string&, int) { return UpstreamResult::NoAnswer; }
void ProtocolClient::disconnect() {}
UpstreamResult ProtocolClient::login(const std::string&, const std::string&) { return UpstreamResult::NoAnswer; }
UpstreamResult ProtocolClient::quit() { return UpstreamResult::NoAnswer; }
UpstreamResult ProtocolClient::noop() { return UpstreamResult::NoAnswer; }

int ProtocolClient::openServerLog(const char* path, std::uint32_t maxSize) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return serverLog_.open(path, maxSize) ? 0 : -1;
}

std::uint32_t ProtocolClient::setTimeout(std::uint32_t milliseconds) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    // An idle watch looks at its deadline only every (old) time-out; a shorter time-out needs a
    // new watch.
    stopWatch();
    return timeout_.exchange(milliseconds);
}

UpstreamResult ProtocolClient::lastError() const { return lastError_.load(); }

std::optional<std::string> ProtocolClient::lastResponse() const {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return lastResponse_;
}

bool ProtocolClient::isConnected() const { return connected_.load(); }

bool ProtocolClient::isReadable() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return connection_.isReadable();
}

bool ProtocolClient::isWritable() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    return connection_.isWritable();
}

void ProtocolClient::writeServerLog(std::string_view text) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    serverLog_.writeLine(text);
}

void ProtocolClient::flushServerLog() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    serverLog_.flush();
}

void ProtocolClient::interrupt() {
    connected_ = false;
    connection_.close();
}

void ProtocolClient::setProgressCallback(ProgressCallback callback) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    progress_ = std::move(callback);
}

void ProtocolClient::setTimeoutHandler(TimeoutHandler handler) {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    timeoutHandler_ = std::move(handler);
}

void ProtocolClient::callProgress(std::uint32_t bytes) {
    if (progress_) progress_(bytes);
}

int ProtocolClient::callHandler(int event) { return timeoutHandler_ ? timeoutHandler_(event) : 0; }

void ProtocolClient::armTimeout() {
    // Called under the lock, once per line of a long answer: a store into the watched deadline,
    // no call into the timer service (except to start the watch the first time, or again after
    // it fired).
    std::int64_t deadline = TimerService::now() + static_cast<std::int64_t>(timeout_.load()) * 1000000;
    waitDeadline_.store(deadline);
    if (watch_ == TimerService::kNoTimer)
        watch_ = TimerService::instance().watch(waitDeadline_, std::chrono::milliseconds(timeout_.load()),
                                                [this] { onTimerFired(); });
    callHandler(timeoutEvent::kArmed);
}

UpstreamResult ProtocolClient::disarmTimeout() {
    std::int64_t previous = waitDeadline_.exchange(TimerService::kIdle);
    callHandler(timeoutEvent::kDisarmed);
    if (previous == TimerService::kFired) {
        // The time-out fired during this wait and its callback may be asking the person right
        // now. The answer decides this wait, and the callback must not outlive the wait (it uses
        // this object), so wait for it; repeating kDisarmed closes a question that opened only
        // after the first one. The watch is spent; the next wait starts a new one.
        while (!TimerService::instance().waitWhileRunning(watch_, kQuestionCloseRetry))
            callHandler(timeoutEvent::kDisarmed);
        watch_ = TimerService::kNoTimer;
    }
    return lastError_.load() == UpstreamResult::TimedOut ? UpstreamResult::TimedOut : UpstreamResult::Ok;
}

void ProtocolClient::stopWatch() {
    if (watch_ == TimerService::kNoTimer) return;
    TimerService& service = TimerService::instance();
    if (service.cancel(watch_) == TimerService::Cancel::Running) service.waitWhileRunning(watch_, std::chrono::hours(24));
    watch_ = TimerService::kNoTimer;
    waitDeadline_.store(TimerService::kIdle);
}

void ProtocolClient::onTimerFired() {
    // Runs on the timer thread while the client's own thread is blocked in its wait, holding the
    // lock; so no lock here.
    if (callHandler(timeoutEvent::kFired) != 0) return;
    // The error is set before the close, so the failing read already finds it.
    lastError_ = UpstreamResult::TimedOut;
    connection_.close();
}

void ProtocolClient::setConnectFailed() {
    UpstreamResult expected = lastError_.load();
    while (expected != UpstreamResult::TimedOut &&
           !lastError_.compare_exchange_weak(expected, UpstreamResult::ConnectFailed)) {
    }
}

UpstreamResult ProtocolClient::readResponse() {
    std::lock_guard<std::recursive_mutex> lock(lock_);
    armTimeout();
    int length = readLine(responseLine_);
    const UpstreamResult timedOut = disarmTimeout();
    UpstreamResult code = UpstreamResult::NoAnswer;
    if (length > 0) {
        code = strncasecmp(responseLine_.c_str(), "+OK", 3) == 0 ? UpstreamResult::Ok : UpstreamResult::Refused;
        lastResponse_ = responseLine_;
    }
    return timedOut != UpstreamResult::Ok ? timedOut : code;
}

} // namespace corvanthelix
