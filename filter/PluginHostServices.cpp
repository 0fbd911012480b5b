#include "filter/PluginHostServices.h"

#include "base/Application.h"
#include "base/Settings.h"
#include "filter/FilterVerdict.h"
#include "upstream/MailMessage.h"
#include "filter/PluginLearning.h"
#include "filter/PluginManager.h"
#include "filter/PluginSessionAccess.h"
#include "base/TextUtils.h"
#include "language/Vexolindra.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace corvanthelix::pluginhost {

namespace {

std::atomic<WidgetTranslator> gWindowTranslator{nullptr};
std::atomic<WidgetTranslator> gMenuTranslator{nullptr};
thread_local ReasonTarget* tReasonTarget = nullptr;

constexpr intptr_t kOk = 0;
constexpr intptr_t kFailed = -1;
/// The reason text of a verdict keeps this many characters.
constexpr size_t kReasonLength = 255;

template <class T>
T* record(const ServiceRequest& request) {
    return reinterpret_cast<T*>(request.data);
}

/// Copies at most size - 1 bytes of `text` and a NUL into the caller's buffer.
intptr_t copyOut(std::string_view text, char* buffer, int32_t size) {
    if (!buffer || size < 1) return kFailed;
    size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return kOk;
}

/// With a buffer: copies the result into it. Without: stores the size the result needs (its
/// length + 1) in bufferSize.
intptr_t deliverResult(const std::string& result, char* buffer, int32_t& bufferSize) {
    if (buffer) return copyOut(result, buffer, bufferSize);
    if (result.size() >= static_cast<size_t>(INT32_MAX)) return kFailed;
    bufferSize = static_cast<int32_t>(result.size() + 1);
    return kOk;
}

intptr_t translateWidget(const std::atomic<WidgetTranslator>& translator, const ServiceRequest& request) {
    if (!request.data) return kFailed;
    // Without a desktop there is no window a plug-in could have made.
    if (WidgetTranslator translate = translator.load()) translate(reinterpret_cast<void*>(request.data));
    return kOk;
}

intptr_t translateWindow(const ServiceRequest& request) { return translateWidget(gWindowTranslator, request); }
intptr_t translateMenu(const ServiceRequest& request) { return translateWidget(gMenuTranslator, request); }

intptr_t translateText(const ServiceRequest& request) {
    const TextRequest* text = record<TextRequest>(request);
    if (!text || !text->text || !text->buffer) return kFailed;
    const CLanguage* language = GetLanguage();
    return copyOut(language ? language->TranslateText(text->text) : std::string(text->text), text->buffer,
                   text->bufferSize);
}

intptr_t setReason(const ServiceRequest& request) {
    const char* text = record<const char>(request);
    if (!text) text = "";
    int number = request.argument;
    if (FilterVerdict* verdict = ReasonTarget::verdictFor(number)) {
        verdict->setReason(text);
        return kOk;
    }
    PluginSessionAccess* session = currentPluginSession();
    std::string_view kept(text, strnlen(text, kReasonLength));
    return session && session->setPluginReason(number, kept) ? kOk : kFailed;
}

intptr_t hostVersion(const ServiceRequest&) { return PluginManager::kServiceVersion; }

intptr_t messageText(const ServiceRequest& request) {
    MessageTextRequest* text = record<MessageTextRequest>(request);
    if (!text || !text->source) return kFailed;
    MailMessage message;
    message.parse(text->source);
    std::optional<std::string> body = message.bodyText(text->flag == CVX_MESSAGE_TEXT_STRIP_HTML);
    if (!body || body->empty()) return kFailed;
    return deliverResult(*body, text->buffer, text->bufferSize);
}

intptr_t encode(const ServiceRequest& request) {
    CodecRequest* codec = record<CodecRequest>(request);
    if (!codec || !codec->text) return kFailed;
    std::string_view input(codec->text);
    switch (codec->kind) {
    case CVX_CODEC_BASE64: return deliverResult(base64Encode(input), codec->buffer, codec->bufferSize);
    case CVX_CODEC_Q: return deliverResult(QEncode(input), codec->buffer, codec->bufferSize);
    default: return kFailed;
    }
}

intptr_t decode(const ServiceRequest& request) {
    CodecRequest* codec = record<CodecRequest>(request);
    if (!codec || !codec->text) return kFailed;
    std::string_view input(codec->text);
    switch (codec->kind) {
    case CVX_CODEC_BASE64: return deliverResult(base64Decode(input), codec->buffer, codec->bufferSize);
    case CVX_CODEC_QUOTED_PRINTABLE:
        return deliverResult(QuotedPrintableDecode(input), codec->buffer, codec->bufferSize);
    case CVX_CODEC_ENCODED_WORDS:
        return deliverResult(decodeEncodedWords(input), codec->buffer, codec->bufferSize);
    default: return kFailed;
    }
}

intptr_t writeSetting(const ServiceRequest& request) {
    const SettingWrite* write = record<SettingWrite>(request);
    if (!write || !isValidSettingKey(write->key)) return kFailed;
    std::string section = PluginManager::instance().sectionForModule(write->module);
    if (section.empty()) return kFailed;
    if (!write->value || !*write->value) return kOk;
    // Q-encoded, so that any byte (line breaks, "=", ";") survives the settings file.
    return settings::setPluginSetting(section, write->key, QEncode(write->value).c_str()) ? kOk : kFailed;
}

intptr_t readSetting(const ServiceRequest& request) {
    SettingRead* read = record<SettingRead>(request);
    if (!read || !isValidSettingKey(read->key) || !read->buffer || read->bufferSize < 1) return kFailed;
    std::string section = PluginManager::instance().sectionForModule(read->module);
    if (section.empty()) return kFailed;
    return copyOut(QuotedPrintableDecode(settings::pluginSetting(section, read->key)), read->buffer,
                   read->bufferSize);
}

intptr_t learn(const ServiceRequest& request) {
    const char* source = record<const char>(request);
    if ((request.argument != 0 && request.argument != 1) || !source) return kFailed;
    return PluginManager::instance().learnForPlugin(source, request.argument == 1);
}

intptr_t markHandled(const ServiceRequest& request) {
    PluginSessionAccess* session = currentPluginSession();
    int number = request.argument;
    if (!session || !session->markHandledByPlugin(number)) return kFailed;
    if (request.data == 0 || request.data == 1) {
        std::string source;
        // The mark stands even when the message cannot be learned; the answer says it was set.
        if (session->messageSource(number, source))
            PluginManager::instance().learnForPlugin(std::move(source), request.data == 1);
    }
    return kOk;
}

intptr_t dataFolder(const ServiceRequest& request) {
    TextRequest* text = record<TextRequest>(request);
    if (!text || !text->buffer || text->bufferSize < 1) return kFailed;
    const std::string folder = Application::instance().paths().pluginDataFolder();
    // A cut path would name another folder: refuse instead.
    if (folder.size() >= static_cast<size_t>(text->bufferSize)) return kFailed;
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return kFailed;
    return copyOut(folder, text->buffer, text->bufferSize);
}

struct ServiceEntry {
    uint32_t code;
    intptr_t (*handler)(const ServiceRequest&);
};

constexpr ServiceEntry kServices[] = {
    {CVX_HOST_TRANSLATE_WINDOW, translateWindow},
    {CVX_HOST_TRANSLATE_MENU, translateMenu},
    {CVX_HOST_TRANSLATE_TEXT, translateText},
    {CVX_HOST_SET_REASON, setReason},
    {CVX_HOST_VERSION, hostVersion},
    {CVX_HOST_MESSAGE_TEXT, messageText},
    {CVX_HOST_ENCODE, encode},
    {CVX_HOST_DECODE, decode},
    {CVX_HOST_WRITE_SETTING, writeSetting},
    {CVX_HOST_READ_SETTING, readSetting},
    {CVX_HOST_LEARN, learn},
    {CVX_HOST_LEARN_OLD, learn},
    {CVX_HOST_MARK_HANDLED, markHandled},
    {CVX_HOST_DATA_FOLDER, dataFolder},
};

} // namespace

intptr_t service(ServiceRequest* request) {
    if (!request) return kFailed;
    try {
        for (const ServiceEntry& entry : kServices)
            if (entry.code == request->code) return entry.handler(*request);
        return kOk;
    } catch (...) {
        // Plug-ins may be written in C: nothing may unwind into them.
        return kFailed;
    }
}

void setWidgetTranslators(WidgetTranslator window, WidgetTranslator menu) {
    gWindowTranslator.store(window);
    gMenuTranslator.store(menu);
}

bool isValidSettingKey(const char* key) {
    if (!key || !*key) return false;
    for (const char* c = key; *c; ++c) {
        bool letter = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z');
        bool digit = *c >= '0' && *c <= '9';
        if (!letter && !digit) return false;
    }
    return true;
}

ReasonTarget::ReasonTarget(int messageNumber, FilterVerdict& verdict)
    : messageNumber_(messageNumber), verdict_(verdict), outer_(tReasonTarget) {
    tReasonTarget = this;
}

ReasonTarget::~ReasonTarget() { tReasonTarget = outer_; }

FilterVerdict* ReasonTarget::verdictFor(int messageNumber) {
    for (ReasonTarget* target = tReasonTarget; target; target = target->outer_)
        // The service carries the number in 16 bits.
        if (static_cast<uint16_t>(target->messageNumber_) == static_cast<uint16_t>(messageNumber))
            return &target->verdict_;
    return nullptr;
}

} // namespace corvanthelix::pluginhost
