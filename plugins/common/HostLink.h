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

    /// True once the host has handed over its callback.
    bool Attached() const { return callback_.load() != nullptr; }

    /// Sends service `code` to the host. The host's answer, or -1 while no host callback is kept.
    intptr_t Ask(uint32_t code, uint16_t argument, intptr_t data) const;

    /// The header value `value` with its encoded words decoded by the host (service 0x10000007,
    /// kind 4). The value as it is when the host cannot decode it (no callback, a refusal).
    std::string DecodeHeader(const std::string& value) const;

    /// Reads the plug-in's setting `key` through the host (service 0x10000009) into `value`;
    /// `module` is an address inside the plug-in's library. An empty `value` means the key is
    /// not stored. False when the host refused the request or no callback is kept.
    bool ReadSetting(const void* module, const char* key, std::string& value) const;

    /// The folder in which the plug-in keeps the files it writes (service 0x10000012), without a
    /// trailing "/"; `module` is an address inside the plug-in's library. The library's own folder
    /// when the host does not answer (no callback kept, an older host); "" when that is unknown too.
    std::string DataFolder(const void* module) const;

    /// Writes the plug-in's setting `key` = `value` through the host (service 0x10000008). False
    /// when the host refused the request or no callback is kept.
    bool WriteSetting(const void* module, const char* key, const char* value) const;
    /// Has the host translate a window of the plug-in (a QWidget*, service 0x10000000).
    void TranslateWindow(void* window) const;
    /// The host's translation of the English text `text` (service 0x10000002); `text` itself when
    /// the host does not translate it.
    std::string TranslateText(const char* text) const;
private:
    std::atomic<CvxServiceFunction> callback_{nullptr};
};

} // namespace corvanthelix::plugin
