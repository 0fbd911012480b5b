#pragma once
// The translation library's entry points: the process-wide translation table, language files in a
// folder, and the string table through which texts are loaded by number.
#include "language/CLanguage.h"
#include "language/CTranslateString.h"
#include "language/LANGUAGE.h"

#include <cstdint>

namespace corvanthelix {

/// Called by EnumLanguages for each language file; return non-zero to go on, 0 to stop.
/// The record is valid only during the call.
using EnumLanguagesProc = int (*)(const LANGUAGE* language, void* userData);

/// The process-wide table, or null before InitLanguage/InitLanguageByID. Owned by the library,
/// which frees it when it is unloaded or when InitLanguage runs again.
VEXOLINDRA_API CLanguage* GetLanguage();

/// Destroys any process-wide table, creates an empty one and sets `path` as its language file
/// (null: built-in English). Returns the new table (never null; a file that cannot be read leaves
/// it empty). Pointers to the old table become invalid.
VEXOLINDRA_API CLanguage* InitLanguage(const char* path);

/// InitLanguage(null), then makes the first file in `directory` matching `pattern` (in name order)
/// whose header language id equals the low 10 bits of `languageId` the language. Without such a
/// file, or for a language id whose low 10 bits are 0, built-in English stays. Returns the table.
VEXOLINDRA_API CLanguage* InitLanguageByID(const char* directory, const char* pattern, uint16_t languageId);

/// Reads the header of every regular file in `directory` whose name matches the shell pattern
/// `pattern` (letter case ignored), in name order, and calls `callback` with it and `userData`
/// while the callback returns non-zero (a null callback visits every file). Returns how many files
/// were read, the one at which the callback stopped included; 0 when none matches.
VEXOLINDRA_API int EnumLanguages(const char* directory, const char* pattern, EnumLanguagesProc callback,
                                 void* userData);

/// Registers the program's string table, used when a string is loaded by number with no table
/// given. Null unregisters it. Call once at start-up, before other threads load strings.
VEXOLINDRA_API void RegisterStringTable(StringTableLookup lookup);

/// The registered string table, or null.
VEXOLINDRA_API StringTableLookup RegisteredStringTable();

} // namespace corvanthelix
