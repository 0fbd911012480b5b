#include "tests/fakes/FakeChainPluginHost.h"

#include "filter/FilterVerdict.h"

#include <stdexcept>

namespace corvanthelix::testing {

namespace {
FakeChainPluginHost* gInstalled = nullptr;
ChainPluginHost* installedHost() { return gInstalled; }
} // namespace

FakeChainPluginHost::~FakeChainPluginHost() {
    if (gInstalled == this) {
        installChainPluginHost(nullptr);
        gInstalled = nullptr;
    }
}

void FakeChainPluginHost::install() {
    gInstalled = this;
    installChainPluginHost(&installedHost);
}

// Records are the addresses of the scripted plug-ins; the chain never looks inside them.
FakeChainPluginHost::Plugin* FakeChainPluginHost::find(PluginRecord* record) {
    for (Plugin& plugin : plugins)
        if (reinterpret_cast<PluginRecord*>(&plugin) == record) return &plugin;
    return nullptr;
}

void FakeChainPluginHost::loadPlugins() { ++loadCalls; }

std::vector<PluginRecord*> FakeChainPluginHost::filterPlugins() {
    std::vector<PluginRecord*> records;
    for (Plugin& plugin : plugins) records.push_back(reinterpret_cast<PluginRecord*>(&plugin));
    return records;
}

std::string FakeChainPluginHost::pluginFileName(PluginRecord* record) {
    Plugin* plugin = find(record);
    return plugin ? plugin->fileName : std::string();
}

bool FakeChainPluginHost::pluginName(PluginRecord* record, std::string& name) {
    Plugin* plugin = find(record);
    if (!plugin || plugin->name.empty()) return false;
    name = plugin->name;
    return true;
}

bool FakeChainPluginHost::asksToRunFirst(PluginRecord* record) {
    Plugin* plugin = find(record);
    return plugin && plugin->runFirst;
}

int FakeChainPluginHost::pluginVerdict(PluginRecord* record, int, const MailMessage*, FilterVerdict& verdict) {
    Plugin* plugin = find(record);
    if (!plugin) return 0;
    ++plugin->calls;
    if (plugin->throws) throw std::runtime_error("plug-in failed");
    verdict.probability = plugin->probability;
    if (!plugin->reason.empty()) verdict.setReason(plugin->reason);
    return plugin->answer;
}

} // namespace corvanthelix::testing
