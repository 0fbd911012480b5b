#include "common/HostLink.h"
#include "common/PluginFiles.h"

#include <cstring>
#include <vector>

namespace corvanthelix::plugin {

namespace {

/// A setting is a short text ("1", a word); longer values are cut here.
constexpr int32_t kSettingSize = 1024;

} // namespace

intptr_t HostLink::Ask(uint32_t code, uint16_t argument, intptr_t data) const {
    CvxServiceFunction callback = callback_.load();
    if (!callback) return -1;
    ServiceRequest request{};
    request.size = sizeof request;
    request.caller = CVX_CALLER_TAG;
    request.code = code;
    request.argument = argument;
    request.data = data;
    return callback(&request);
}

std::string HostLink::DecodeHeader(const std::string& value) const {
    // Values without encoded words are common; they need no round trip through the host.
    if (value.find("=?") == std::string::npos) return value;
    CodecRequest request{};
    request.size = sizeof request;
    request.text = value.c_str();
    request.kind = CVX_CODEC_ENCODED_WORDS;
    if (Ask(CVX_HOST_DECODE, 0, reinterpret_cast<intptr_t>(&request)) != 0 || request.bufferSize < 1)
        return value;
    std::vector<char> decoded(static_cast<size_t>(request.bufferSize));
    int32_t needed = request.bufferSize;
    request.buffer = decoded.data();
    request.bufferSize = needed;
    if (Ask(CVX_HOST_DECODE, 0, reinterpret_cast<intptr_t>(&request)) != 0) return value;
    // The decoded text may hold NUL bytes; its length is the size asked for minus one.
    return std::string(decoded.data(), static_cast<size_t>(needed - 1));
}

bool HostLink::ReadSetting(const void* module, const char* key, std::string& value) const {
    value.clear();
    char buffer[kSettingSize];
    SettingRead request{};
    request.size = sizeof request;
    request.module = module;
    request.key = key;
    request.buffer = buffer;
    request.bufferSize = kSettingSize;
    if (Ask(CVX_HOST_READ_SETTING, 0, reinterpret_cast<intptr_t>(&request)) != 0) return false;
    value.assign(buffer, strnlen(buffer, sizeof buffer));
    return true;
}

std::string HostLink::DataFolder(const void* module) const {
    char buffer[4096];
    TextRequest request{};
    request.size = sizeof request;
    request.buffer = buffer;
    request.bufferSize = sizeof buffer;
    if (Ask(CVX_HOST_DATA_FOLDER, 0, reinterpret_cast<intptr_t>(&request)) == 0)
        return std::string(buffer, strnlen(buffer, sizeof buffer));
    return ModuleFolder(module);
}

bool HostLink::WriteSetting(const void* module, const char* key, const char* value) const {
    SettingWrite request{};
    request.size = sizeof request;
    request.module = module;
    request.key = key;
    request.value = value;
    return Ask(CVX_HOST_WRITE_SETTING, 0, reinterpret_cast<intptr_t>(&request)) == 0;
}

void HostLink::TranslateWindow(void* window) const {
    if (window) Ask(CVX_HOST_TRANSLATE_WINDOW, 0, reinterpret_cast<intptr_t>(window));
}

std::string HostLink::TranslateText(const char* text) const {
    if (!text) return {};
    char buffer[4096];
    TextRequest request{};
    request.size = sizeof request;
    request.text = text;
    request.buffer = buffer;
    request.bufferSize = sizeof buffer;
    if (Ask(CVX_HOST_TRANSLATE_TEXT, 0, reinterpret_cast<intptr_t>(&request)) != 0) return text;
    std::string translated(buffer, strnlen(buffer, sizeof buffer));
    return translated.empty() ? std::string(text) : translated;
}

} // namespace corvanthelix::plugin
