#pragma once
// The program's language: which language file start-up loads, and the string-table translation
// through the translation library.
#include <cstdint>
#include <string>

namespace corvanthelix {

class CLanguage;

/// The file pattern of language files in the program folder.
inline constexpr const char* kLanguageFilePattern = "*.corvanthelix.language";

/// The language id (primary language in the low 10 bits, sublanguage "default" above) of a locale
/// name such as "de_DE.UTF-8", "fr" or "pt_BR@euro": 0x0407 for German. 0 for "C", "POSIX", an
/// empty name or a language without an id.
uint16_t languageIdForLocale(const std::string& locale);

/// The user's language id, from the first set of LC_ALL, LC_MESSAGES and LANG; 0 when unknown.
uint16_t userLanguageId();

/// Loads the language chosen by the `Language` setting of `settingsFile`: a file name relative to
/// `programFolder`; "default" (any letter case) for built-in English; empty to choose the first
/// language file whose language matches `userLanguage` and write its name back, so that the choice
/// is made once (nothing is written when no file matches). A file that cannot be read leaves
/// built-in English. Returns the process-wide table (owned by the translation library).
CLanguage* loadProgramLanguage(const std::string& programFolder, const std::string& settingsFile,
                               uint16_t userLanguage);

/// The translation of string-table entry `id` (English text `english`) in the loaded language;
/// `english` before any language is loaded. Installed as the string table's translator.
std::string translateStringTableText(int id, const char* english);

/// Gives the translation library the program's string table and makes loadString() and every
/// message shown by number translate through it. Call once at start-up, before other threads run.
void installProgramTranslation();

} // namespace corvanthelix
