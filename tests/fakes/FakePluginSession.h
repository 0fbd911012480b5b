#pragma once
#include "filter/PluginSessionAccess.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace corvanthelix::testing {

/// A running mail check as the plug-in host services see it: message sources by number, and a
/// record of the reasons set and the messages marked as handled. While installed it is the
/// session currentPluginSession() answers on every thread; it uninstalls itself when destroyed.
class FakePluginSession : public PluginSessionAccess {
public:
    FakePluginSession() = default;
    ~FakePluginSession() override;
    FakePluginSession(const FakePluginSession&) = delete;
    FakePluginSession& operator=(const FakePluginSession&) = delete;

    /// Makes this the session the host services reach (replacing any installed accessor).
    void install();

    /// Message sources by message number; a number not in here is no message of the check.
    std::map<int, std::string> sources;
    /// Reason texts set, by message number (as given; no length limit here).
    std::map<int, std::string> reasons;
    /// Message numbers marked as handled, in call order.
    std::vector<int> handled;

    /// Records the reason; false for a number not in `sources`.
    bool setPluginReason(int messageNumber, std::string_view text) override;
    /// Records the mark; false for a number not in `sources`.
    bool markHandledByPlugin(int messageNumber) override;
    /// Copies the source from `sources`; false for a number not in it.
    bool messageSource(int messageNumber, std::string& source) override;
};

} // namespace corvanthelix::testing
