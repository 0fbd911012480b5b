#pragma once
#include "language/LANGUAGE.h"

#include <cstddef>

namespace corvanthelix {

/// A string table: gives the English text of entry `id`, or null when there is none. The program
/// registers its own with `RegisterStringTable`; the returned text must stay valid.
using StringTableLookup = const char* (*)(int id);

/// A text that always holds the translated form of what was put into it (through the process-wide
/// `CLanguage`). Owns one zero-terminated copy, or nothing (null). When no process-wide `CLanguage`
/// exists, a text put into it leaves it empty.
class VEXOLINDRA_API CTranslateString {
public:
    /// Empty (null text).
    CTranslateString();
    /// Holds the translation of `text` (empty for null).
    CTranslateString(const char* text);
    /// Holds the translation of string-table entry `id` of `module` (null: the program's table).
    CTranslateString(StringTableLookup module, unsigned id);
    CTranslateString(const CTranslateString& other);
    CTranslateString(CTranslateString&& other) noexcept;
    CTranslateString& operator=(const CTranslateString& other);
    CTranslateString& operator=(CTranslateString&& other) noexcept;
    ~CTranslateString();

    /// Drops the old text and holds the translation of `text` (empty for null).
    CTranslateString& operator=(const char* text);

    /// Loads entry `id` from the string table `module` (null: the program's table) into a buffer of
    /// 256 characters, growing it by 256 until the text fits with room to spare, and holds its
    /// translation. Returns the length of the loaded English text; 0 when there is no such entry
    /// (the string is then empty).
    int LoadStringA(StringTableLookup module, unsigned id);

    /// Length of the held text; 0 when empty.
    size_t Length() const;

    /// The held text (owned by this object), or null when empty.
    const char* c_str() const { return text_; }
    operator const char*() const { return text_; }

private:
    void hold(const char* english);
    char* text_;
};

} // namespace corvanthelix
