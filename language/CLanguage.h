#pragma once
#include "language/CLanguageListNode.h"
#include "language/LANGUAGE.h"

#include <cstddef>
#include <shared_mutex>
#include <string>

namespace corvanthelix {

/// The translation table: English source texts and their translations, loaded from language
/// files ("*.corvanthelix.language"). Lookups ignore letter case. An empty table translates every
/// text to itself, which is the built-in English.
///
/// Safe to use from several threads: the table is filled on the user-interface thread (at start-up
/// and when the user picks another language) while mail-check threads translate texts; a change
/// waits for the lookups running at that moment, so none of them reads a freed entry.
class VEXOLINDRA_API CLanguage {
public:
    /// Bucket 0 holds texts that do not start with a letter A-Z/a-z, buckets 1..26 the letters.
    static constexpr int kBucketCount = 27;

    /// An empty table (built-in English) with a cleared header.
    CLanguage();
    /// Frees every entry.
    ~CLanguage();
    CLanguage(const CLanguage&) = delete;
    CLanguage& operator=(const CLanguage&) = delete;

    /// Makes `path` the main language file. A null or empty path unloads everything (built-in
    /// English) and returns 1. Otherwise reads the file's header into the table's information and
    /// adds its entries with override; returns 1 when the file was read, 0 when it cannot be opened
    /// (the table and its information then stay as they were).
    /// Entries of a previously set file stay until `Unload`, hidden where the new file has the text.
    int SetLanguageFile(const char* path);

    /// Adds the entries of the language file `path`. With `overrideExisting` non-zero an entry hides
    /// one with the same source text; with 0 a text that already has an entry keeps it.
    /// Returns 1 when the file was read; 0 for a null or empty path, a file that cannot be opened,
    /// or a file whose header language id differs from the table's (so plug-in files of another
    /// language stay out).
    int AddLanguageFile(const char* path, int overrideExisting);

    /// Frees every entry and clears the header information.
    void Unload();

    /// Writes the translation of `source` into `destination` (`size` bytes, always zero-terminated
    /// when size > 0): the entry's translation; else, for a text ending in ":" without an entry of its
    /// own, the translation of the text without the colon followed by ":"; else the text unchanged.
    /// Texts longer than the buffer are cut. Size the buffer as GetTranslatedStrLen(source) + 1.
    void Translate(const char* source, char* destination, size_t size) const;

    /// The length of the text Translate would produce with a large enough buffer (0 for null).
    size_t GetTranslatedStrLen(const char* source) const;

    /// The translation of `source` as a string: what Translate gives with a buffer of the right size.
    std::string TranslateText(const char* source) const;

    /// The first entry whose source text equals `source` without regard to letter case, or null.
    /// The entry stays owned by the table and is valid until the table is unloaded (keep it only
    /// on the thread that may unload).
    const CLanguageListNode* FindNode(const char* source) const;

    /// The bucket (0..26) of `text` by its first character.
    static int GetIndex(const char* text);

    /// Copies both texts into a new entry at the head of its bucket, so it hides an older entry
    /// with the same source text. A null or empty source text is ignored.
    void InsertNode(const char* source, const char* translation);

    /// Translates the text of a window and of every widget inside it: window title, labels,
    /// buttons, check boxes, group boxes, tab texts, combo-box items, menu bars and their menus.
    /// `window` is a QWidget*. The window's own title is read up to 254 characters, the texts inside
    /// up to 1023; what is longer is looked up cut. Fields holding the user's input are left alone.
    /// Needs the desktop shell (defined with the Qt part of the library).
    void TranslateWindow(void* window) const;

    /// Translates every item of a menu: submenus first (recursively), then the item's own text
    /// (read up to 254 characters). Separators and items without text are left alone.
    /// `menu` is a QWidget* that is a QMenu or a QMenuBar. Needs the desktop shell.
    void TranslateMenu(void* menu) const;

    /// Copies the header of the main language file into `*information`; nothing for null.
    void GetInformation(LANGUAGE* information) const;

private:
    // The helpers below expect the caller to hold lock_.
    /// The entry that answers `source`, and whether a ":" must follow its translation.
    const CLanguageListNode* resolve(const char* source, bool* appendColon) const;
    const CLanguageListNode* findNode(const char* source) const;
    void insertNode(const char* source, const char* translation);
    void freeEntries();

    mutable std::shared_mutex lock_;
    CLanguageListNode* buckets_[kBucketCount];
    LANGUAGE information_;
};

} // namespace corvanthelix
