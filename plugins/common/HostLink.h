#pragma once
// A plug-in's side of the host callback: keeps the service function the host hands over with
// service 0 and asks the host for services through it, with the caller tag every request carries.
#include "corvanthelix_plugin.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace corvanthelix::plugin {

class HostLink {
public:
    /// Keeps `callback` for later requests (service 0); null forgets the host.
    void Attach(CvxServiceFunction callback) { callback_.store(callback); }

    /// Sends service `code` to the host. The host's answer, or -1 while no host callback is kept.
    intptr_t Ask(uint32_t code, uint16_t argument, intptr_t data) const;

    /// The header value `value` with its encoded words decoded by the host (service 0x10000007,
    /// kind 4). The value as it is when the host cannot decode it (no callback, a refusal).
    std::string DecodeHeader(const std::string& value) const;

    /// Reads the plug-in's setting `key` through the host (service 0x10000009) into `value`;
    /// `module` is an address inside the plug-in's library. An empty `value` means the key is
    /// not stored. False when the host refused the request or no callback is kept.
    bool ReadSetting(const void* module, const char* key, std::string& value) const;

private:
    std::atomic<CvxServiceFunction> callback_{nullptr};
};

} // namespace corvanthelix::plugin
