#include "upstream/UpstreamHandlers.h"

#include "base/Application.h"
#include "base/Settings.h"
#include "base/Shell.h"

#include <atomic>
#include <memory>

namespace corvanthelix {

ProtocolClient::TimeoutHandler makeSessionTimeoutHandler() {
    auto questionOpen = std::make_shared<std::atomic<bool>>(false);
    return [questionOpen](int event) -> int {
        if (event == timeoutEvent::kFired) {
            if (settings::autoAbortOnTimeout() == 1) return 0;
            questionOpen->store(true);
            int answer = Application::instance().shell().timeoutQuestion();
            questionOpen->store(false);
            return answer;
        }
        // Every line of a download ends a wait; the shell is troubled only when a question is
        // actually open.
        if (event == timeoutEvent::kDisarmed && questionOpen->load())
            Application::instance().shell().closeTimeoutQuestion();
        return 1;
    };
}

void addReceivedToStatus(std::uint32_t bytes) { Application::instance().status().addReceived(bytes); }

} // namespace corvanthelix
