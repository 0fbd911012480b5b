#include "filter/ChainPluginHost.h"

#include <atomic>

namespace corvanthelix {

namespace {
std::atomic<ChainPluginHostAccessor> gAccessor{nullptr};
} // namespace

void installChainPluginHost(ChainPluginHostAccessor accessor) { gAccessor.store(accessor); }

ChainPluginHost* chainPluginHost() {
    ChainPluginHostAccessor accessor = gAccessor.load();
    return accessor ? accessor() : nullptr;
}

} // namespace corvanthelix
