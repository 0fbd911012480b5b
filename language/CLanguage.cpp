#include "language/CLanguage.h"

#include "language/LanguageFile.h"

#include <cstring>
#include <mutex>
#include <string>
#include <strings.h>

namespace corvanthelix {

namespace {

using ReadLock = std::shared_lock<std::shared_mutex>;
using WriteLock = std::unique_lock<std::shared_mutex>;

} // namespace

CLanguage::CLanguage() : buckets_{}, information_{} {}

CLanguage::~CLanguage() { freeEntries(); }

int CLanguage::SetLanguageFile(const char* path) {
    if (!path || !*path) {
        Unload();
        return 1;
    }
    std::string content;
    if (!languagefile::readWholeFile(path, content)) return 0;
    {
        WriteLock lock(lock_);
        information_ = languagefile::parseHeader(content, path);
    }
    return AddLanguageFile(path, 1);
}

int CLanguage::AddLanguageFile(const char* path, int overrideExisting) {
    std::string content;
    if (!languagefile::readWholeFile(path, content)) return 0;
    uint16_t fileLanguage = languagefile::parseHeader(content, path).languageId;
    std::vector<languagefile::Entry> entries = languagefile::parseEntries(content);
    WriteLock lock(lock_);
    if (fileLanguage != information_.languageId) return 0;
    for (const languagefile::Entry& entry : entries) {
        if (overrideExisting || !findNode(entry.first.c_str())) insertNode(entry.first.c_str(), entry.second.c_str());
    }
    return 1;
}

void CLanguage::Unload() {
    WriteLock lock(lock_);
    freeEntries();
    information_ = LANGUAGE{};
}

void CLanguage::freeEntries() {
    for (CLanguageListNode*& head : buckets_) {
        while (head) {
            CLanguageListNode* next = head->next;
            delete head;
            head = next;
        }
    }
}

const CLanguageListNode* CLanguage::resolve(const char* source, bool* appendColon) const {
    *appendColon = false;
    if (const CLanguageListNode* node = findNode(source)) return node;
    size_t length = source ? std::strlen(source) : 0;
    if (length > 1 && source[length - 1] == ':') {
        std::string withoutColon(source, length - 1);
        if (const CLanguageListNode* node = findNode(withoutColon.c_str())) {
            *appendColon = true;
            return node;
        }
    }
    return nullptr;
}

void CLanguage::Translate(const char* source, char* destination, size_t size) const {
    if (!destination || size == 0) return;
    std::memset(destination, 0, size);
    if (!source) return;
    ReadLock lock(lock_);
    bool appendColon;
    const CLanguageListNode* node = resolve(source, &appendColon);
    const char* text = node ? node->Translation() : source;
    // One byte stays for the terminator, so a short buffer gives a cut but terminated text.
    size_t length = std::strlen(text);
    size_t copied = length < size - 1 ? length : size - 1;
    std::memcpy(destination, text, copied);
    if (appendColon && copied + 1 < size) destination[copied] = ':';
}

size_t CLanguage::GetTranslatedStrLen(const char* source) const {
    if (!source) return 0;
    ReadLock lock(lock_);
    bool appendColon;
    const CLanguageListNode* node = resolve(source, &appendColon);
    if (!node) return std::strlen(source);
    return std::strlen(node->Translation()) + (appendColon ? 1 : 0);
}

std::string CLanguage::TranslateText(const char* source) const {
    if (!source) return std::string();
    // One lookup under one lock, so the text cannot change between measuring and copying it.
    ReadLock lock(lock_);
    bool appendColon;
    const CLanguageListNode* node = resolve(source, &appendColon);
    if (!node) return source;
    std::string text = node->Translation();
    if (appendColon) text += ':';
    return text;
}

const CLanguageListNode* CLanguage::FindNode(const char* source) const {
    ReadLock lock(lock_);
    return findNode(source);
}

const CLanguageListNode* CLanguage::findNode(const char* source) const {
    if (!source || !*source) return nullptr;
    for (const CLanguageListNode* node = buckets_[GetIndex(source)]; node; node = node->next) {
        if (strcasecmp(node->Source(), source) == 0) return node;
    }
    return nullptr;
}

int CLanguage::GetIndex(const char* text) {
    if (!text) return 0;
    char c = text[0];
    if (c >= 'A' && c <= 'Z') return c - 'A' + 1;
    if (c >= 'a' && c <= 'z') return c - 'a' + 1;
    return 0;
}

void CLanguage::InsertNode(const char* source, const char* translation) {
    WriteLock lock(lock_);
    insertNode(source, translation);
}

void CLanguage::insertNode(const char* source, const char* translation) {
    if (!source || !*source) return;
    CLanguageListNode*& head = buckets_[GetIndex(source)];
    auto* node = new CLanguageListNode(source, translation);
    node->next = head;
    if (head) head->previous = node;
    head = node;
}

void CLanguage::GetInformation(LANGUAGE* information) const {
    if (!information) return;
    ReadLock lock(lock_);
    *information = information_;
}

} // namespace corvanthelix
