#pragma once
#include <string>

namespace corvanthelix {

/// Returns the built-in English text of string-table entry `id`, or null when there is none.
const char* englishString(int id);

/// Returns the text of string-table entry `id` as the user sees it: translated through the
/// installed translator when there is one, otherwise English; "" for an unknown id.
std::string loadString(int id);

/// A translator maps an entry's English text to the current language. Null restores English.
/// Installed once at start-up, before worker threads run.
using StringTranslator = std::string (*)(int id, const char* english);
void setStringTranslator(StringTranslator translator);

} // namespace corvanthelix
