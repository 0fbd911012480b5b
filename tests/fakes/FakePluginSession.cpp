#include "tests/fakes/FakePluginSession.h"

namespace corvanthelix::testing {

namespace {
FakePluginSession* gInstalled = nullptr;
PluginSessionAccess* installedSession() { return gInstalled; }
} // namespace

FakePluginSession::~FakePluginSession() {
    if (gInstalled == this) {
        installPluginSessionAccessor(nullptr);
        gInstalled = nullptr;
    }
}

void FakePluginSession::install() {
    gInstalled = this;
    installPluginSessionAccessor(&installedSession);
}

bool FakePluginSession::setPluginReason(int messageNumber, std::string_view text) {
    if (!sources.count(messageNumber)) return false;
    reasons[messageNumber] = std::string(text);
    return true;
}

bool FakePluginSession::markHandledByPlugin(int messageNumber) {
    if (!sources.count(messageNumber)) return false;
    handled.push_back(messageNumber);
    return true;
}

bool FakePluginSession::messageSource(int messageNumber, std::string& source) {
    auto found = sources.find(messageNumber);
    if (found == sources.end()) return false;
    source = found->second;
    return true;
}

} // namespace corvanthelix::testing
