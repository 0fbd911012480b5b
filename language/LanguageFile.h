#pragma once
#include "language/LANGUAGE.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Reading language files. Internal to the translation library (not exported).
namespace corvanthelix::languagefile {

/// Header lines are looked for only within this many bytes at the start of a file.
constexpr size_t kHeaderWindow = 1024;

/// Reads the whole file at `path` into `content`. Returns false when it cannot be opened or read.
bool readWholeFile(const char* path, std::string& content);

/// Reads the start of the file at `path` that can hold its header (one byte more than the header
/// window, so that parseHeader can tell a cut line). Returns false when it cannot be opened.
bool readHeaderBytes(const char* path, std::string& content);

/// The header found in `content` (complete lines within the first 1024 bytes), with `fileName`
/// set to the part of `path` after its last '/'.
LANGUAGE parseHeader(std::string_view content, const char* path);

/// Decodes the escape "\n" into a line feed; every other character is copied as it is.
std::string decodeEscapes(std::string_view text);

/// One body entry: the English source text and its translation.
using Entry = std::pair<std::string, std::string>;

/// The entries of a language file's body, in file order. A source text may come more than once
/// (two "=" lines after it give two entries). Empty translations are left out.
std::vector<Entry> parseEntries(std::string_view content);

} // namespace corvanthelix::languagefile
