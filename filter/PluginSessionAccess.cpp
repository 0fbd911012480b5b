#include "filter/PluginSessionAccess.h"

#include <atomic>

namespace corvanthelix {

namespace {
std::atomic<PluginSessionAccessor> gAccessor{nullptr};
} // namespace

void installPluginSessionAccessor(PluginSessionAccessor accessor) { gAccessor.store(accessor); }

PluginSessionAccess* currentPluginSession() {
    PluginSessionAccessor accessor = gAccessor.load();
    return accessor ? accessor() : nullptr;
}

} // namespace corvanthelix
