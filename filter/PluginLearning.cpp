#include "filter/PluginLearning.h"

#include <atomic>

namespace corvanthelix {

namespace {
std::atomic<PluginLearningAccessor> gAccessor{nullptr};
} // namespace

void installPluginLearning(PluginLearningAccessor accessor) { gAccessor.store(accessor); }

PluginLearning* pluginLearning() {
    PluginLearningAccessor accessor = gAccessor.load();
    return accessor ? accessor() : nullptr;
}

} // namespace corvanthelix
