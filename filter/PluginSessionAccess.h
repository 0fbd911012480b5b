#pragma once
// What plug-in host services need of the mail check running on the calling thread: the reason
// text of a message's verdict, the "handled by a plug-in" mark, and a message's source. The client
// session implements it and installs an accessor that answers the session of the calling thread,
// so that the plug-in manager builds and runs without the proxy.
#include <string>
#include <string_view>

namespace corvanthelix {

class PluginSessionAccess {
public:
    virtual ~PluginSessionAccess() = default;

    /// Sets the reason text of message `messageNumber` (its number in the mailbox) in the running
    /// mail check, keeping at most 255 characters. False when the mail check has no such message.
    virtual bool setPluginReason(int messageNumber, std::string_view text) = 0;

    /// Marks message `messageNumber` as handled by a plug-in: it is neither learned automatically
    /// nor filed in the training area at the commit. False when there is no such message.
    virtual bool markHandledByPlugin(int messageNumber) = 0;

    /// Copies the whole source of message `messageNumber` into `source`. False when there is no
    /// such message or its text is not at hand.
    virtual bool messageSource(int messageNumber, std::string& source) = 0;
};

/// Answers the mail check running on the calling thread, or null when the thread runs none. The
/// object stays owned by the session and valid while the session's thread is inside the call that
/// reached the plug-in.
using PluginSessionAccessor = PluginSessionAccess* (*)();

/// Installs `accessor` (the client session does this once; tests install fakes). Null uninstalls.
void installPluginSessionAccessor(PluginSessionAccessor accessor);

/// The running mail check of the calling thread through the installed accessor, or null.
PluginSessionAccess* currentPluginSession();

} // namespace corvanthelix
