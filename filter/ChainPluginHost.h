#pragma once
// What the filter chain needs from the plug-in manager. The chain and the filter manager reach
// plug-ins only through this interface, so they build and run without the plug-in manager.
//
// Locking: the chain calls these functions while it holds its own lock, and the filter manager
// while it holds its lock; an implementation takes the plug-in manager's lock inside each call
// and never calls back into the filter manager or the chain while it holds it (lock order:
// filter manager, chain, plug-in manager). No function may let an exception escape.
#include <string>
#include <vector>

namespace corvanthelix {

struct FilterVerdict;
class MailMessage;
/// The plug-in manager's record of one plug-in library; opaque to the chain.
struct PluginRecord;

class ChainPluginHost {
public:
    virtual ~ChainPluginHost() = default;

    /// Loads the plug-ins of the program folder when none are loaded yet; nothing otherwise.
    virtual void loadPlugins() = 0;

    /// The records that can take part in the chain, in the manager's list order: those that have
    /// their info record, are enabled and offer at least one filter function. The records stay
    /// owned by the manager; a record must not be freed while the chain holds it (the manager has
    /// the chain discarded first, see FilterChain::discard).
    virtual std::vector<PluginRecord*> filterPlugins() = 0;

    /// The settings key of the plug-in: its library file name without folder ("quillatrest.so").
    virtual std::string pluginFileName(PluginRecord* plugin) = 0;

    /// The plug-in's name from its info record; false when it has none.
    virtual bool pluginName(PluginRecord* plugin, std::string& name) = 0;

    /// True when the plug-in has a service entry point and answers 1 to service 3 (it asks to run
    /// first while no position is configured for it).
    virtual bool asksToRunFirst(PluginRecord* plugin) = 0;

    /// Runs the plug-in's filter functions on message `messageNumber` and answers -1 spam, +1
    /// non-spam or 0 undecided. May set the verdict's probability and reason; 0 when the record
    /// or the message is missing or the plug-in failed (the failure is reported to the user by
    /// the host).
    virtual int pluginVerdict(PluginRecord* plugin, int messageNumber, const MailMessage* message,
                              FilterVerdict& verdict) = 0;
};

/// The function that returns the plug-in manager as a chain host, creating it on first use.
using ChainPluginHostAccessor = ChainPluginHost* (*)();

/// Installs `accessor` (the program does this once at start-up; tests install fakes). Null
/// uninstalls: the chain then has no plug-ins.
void installChainPluginHost(ChainPluginHostAccessor accessor);

/// The installed host (from the accessor), or null when none is installed.
ChainPluginHost* chainPluginHost();

} // namespace corvanthelix
