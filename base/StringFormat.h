#pragma once
// printf formats from the string table. A translation is used as a format only when it has the
// same conversions in the same order as the English text, so a faulty language file cannot make
// printf read an argument of the wrong type.
#include <cstdio>
#include <string>
#include <vector>

namespace corvanthelix {

/// The printf conversions of `format` in order ("%s", "%.2f", "%%"); a "%" that starts no
/// conversion is plain text and not listed.
std::vector<std::string> formatConversions(const std::string& format);

/// The text of string-table entry `id` for use as a format: the translation when its conversions
/// match the English text's, else the English text; "" for an unknown id.
std::string loadFormat(int id);

/// Entry `id` formatted with `args` through loadFormat(), cut at 4095 bytes.
template <class... Args>
std::string formatString(int id, Args... args) {
    const std::string format = loadFormat(id);
    char buffer[4096];
    std::snprintf(buffer, sizeof buffer, format.c_str(), args...);
    return buffer;
}

} // namespace corvanthelix
