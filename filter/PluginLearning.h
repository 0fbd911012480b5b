#pragma once
// How plug-in host services learn a message at once: through the training area's learn operation
// (learn, remove the message from the training area when it is there, tell the plug-ins). The
// training area implements it and installs an accessor, so that the plug-in manager builds and
// runs without the stores.
#include <string_view>

namespace corvanthelix {

class PluginLearning {
public:
    virtual ~PluginLearning() = default;

    /// Learns the message whose whole source is `source`, as spam when `asSpam`, else as non-spam,
    /// and removes the same message from the training area when it is there. Returns 0, or -1
    /// when it could not be learned (the training area or the learning filter is unavailable).
    ///
    /// Called on the thread of the plug-in that asked, which may hold the filter manager's lock
    /// (during a chain run) and the plug-in manager's lock: an implementation takes the filter
    /// manager's lock before any lock of its own, or it would take locks in the wrong order.
    virtual int learnNow(std::string_view source, bool asSpam) = 0;
};

/// Answers the training area's learning, or null when it is unavailable.
using PluginLearningAccessor = PluginLearning* (*)();

/// Installs `accessor` (the training area does this once; tests install fakes). Null uninstalls.
void installPluginLearning(PluginLearningAccessor accessor);

/// The installed learning, or null.
PluginLearning* pluginLearning();

} // namespace corvanthelix
