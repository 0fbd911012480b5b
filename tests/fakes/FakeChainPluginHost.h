#pragma once
#include "filter/ChainPluginHost.h"

#include <string>
#include <vector>

namespace corvanthelix::testing {

/// A plug-in manager stand-in for the filter chain: a list of scripted plug-ins. While installed it
/// is the process-wide chain host; it uninstalls itself when destroyed.
class FakeChainPluginHost : public ChainPluginHost {
public:
    struct Plugin {
        std::string fileName;     // settings key
        std::string name;         // empty: no info record name
        bool runFirst = false;    // answer to service 3
        int answer = 0;           // filter answer
        double probability = 0;
        std::string reason{};     // set as the verdict's reason when not empty
        bool throws = false;      // the filter call throws
        int calls = 0;            // filter calls so far
    };

    FakeChainPluginHost() = default;
    ~FakeChainPluginHost() override;

    /// Makes this the host that chainPluginHost() returns.
    void install();

    /// The plug-ins in the manager's list order; set before the chain is built.
    std::vector<Plugin> plugins;
    int loadCalls = 0;

    void loadPlugins() override;
    std::vector<PluginRecord*> filterPlugins() override;
    std::string pluginFileName(PluginRecord* plugin) override;
    bool pluginName(PluginRecord* plugin, std::string& name) override;
    bool asksToRunFirst(PluginRecord* plugin) override;
    int pluginVerdict(PluginRecord* plugin, int messageNumber, const MailMessage* message,
                      FilterVerdict& verdict) override;

private:
    Plugin* find(PluginRecord* record);
};

} // namespace corvanthelix::testing
