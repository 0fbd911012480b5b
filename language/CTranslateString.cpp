#include "language/CTranslateString.h"

#include "language/Vexolindra.h"

#include <cstring>
#include <utility>
#include <vector>

namespace corvanthelix {

namespace {

constexpr size_t kLoadStep = 256;

// Copies entry `id` into `buffer` the way a string-table load does: at most size - 1 characters,
// always terminated. Returns the number of characters copied, -1 for an unknown entry.
long loadIntoBuffer(StringTableLookup table, unsigned id, char* buffer, size_t size) {
    buffer[0] = '\0';
    const char* text = table ? table(static_cast<int>(id)) : nullptr;
    if (!text) return -1;
    size_t length = std::strlen(text);
    size_t copied = length < size - 1 ? length : size - 1;
    std::memcpy(buffer, text, copied);
    buffer[copied] = '\0';
    return static_cast<long>(copied);
}

char* plainCopy(const char* text) {
    if (!text) return nullptr;
    size_t size = std::strlen(text) + 1;
    char* copy = new char[size];
    std::memcpy(copy, text, size);
    return copy;
}

char* translatedCopy(const char* english) {
    CLanguage* language = GetLanguage();
    if (!language || !english) return nullptr;
    return plainCopy(language->TranslateText(english).c_str());
}

} // namespace

CTranslateString::CTranslateString() : text_(nullptr) {}

CTranslateString::CTranslateString(const char* text) : text_(translatedCopy(text)) {}

CTranslateString::CTranslateString(StringTableLookup module, unsigned id) : text_(nullptr) {
    LoadStringA(module, id);
}

CTranslateString::CTranslateString(const CTranslateString& other) : text_(plainCopy(other.text_)) {}

CTranslateString::CTranslateString(CTranslateString&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}

CTranslateString& CTranslateString::operator=(const CTranslateString& other) {
    if (this != &other) {
        char* copy = plainCopy(other.text_);
        delete[] text_;
        text_ = copy;
    }
    return *this;
}

CTranslateString& CTranslateString::operator=(CTranslateString&& other) noexcept {
    if (this != &other) {
        delete[] text_;
        text_ = std::exchange(other.text_, nullptr);
    }
    return *this;
}

CTranslateString::~CTranslateString() { delete[] text_; }

CTranslateString& CTranslateString::operator=(const char* text) {
    hold(text);
    return *this;
}

void CTranslateString::hold(const char* english) {
    // Translated before the old text goes, so assigning the held text to itself is safe.
    char* copy = translatedCopy(english);
    delete[] text_;
    text_ = copy;
}

int CTranslateString::LoadStringA(StringTableLookup module, unsigned id) {
    StringTableLookup table = module ? module : RegisteredStringTable();
    std::vector<char> buffer(kLoadStep);
    long loaded = loadIntoBuffer(table, id, buffer.data(), buffer.size());
    // A load that fills the buffer may have been cut: grow until the text fits with room to spare.
    while (loaded >= 0 && static_cast<size_t>(loaded) + 2 > buffer.size()) {
        buffer.resize(buffer.size() + kLoadStep);
        loaded = loadIntoBuffer(table, id, buffer.data(), buffer.size());
    }
    if (loaded < 0) {
        hold(nullptr);
        return 0;
    }
    hold(buffer.data());
    return static_cast<int>(loaded);
}

size_t CTranslateString::Length() const { return text_ ? std::strlen(text_) : 0; }

} // namespace corvanthelix
