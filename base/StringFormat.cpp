#include "base/StringFormat.h"

#include "base/StringTable.h"

#include <cctype>
#include <cstring>

namespace corvanthelix {

namespace {
bool isConversionLetter(char c) { return c != '\0' && std::strchr("diouxXeEfgGcsp", c) != nullptr; }
} // namespace

std::vector<std::string> formatConversions(const std::string& format) {
    std::vector<std::string> found;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') continue;
        size_t j = i + 1;
        if (j < format.size() && format[j] == '%') {
            found.push_back("%%");
            i = j;
            continue;
        }
        while (j < format.size() && std::strchr("-+# 0", format[j])) ++j;
        while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j]))) ++j;
        if (j < format.size() && format[j] == '.') {
            ++j;
            while (j < format.size() && std::isdigit(static_cast<unsigned char>(format[j]))) ++j;
        }
        while (j < format.size() && std::strchr("hlLz", format[j])) ++j;
        if (j < format.size() && isConversionLetter(format[j])) {
            found.push_back(format.substr(i, j - i + 1));
            i = j;
        }
    }
    return found;
}

std::string loadFormat(int id) {
    const char* english = englishString(id);
    if (!english) return {};
    std::string translated = loadString(id);
    if (formatConversions(translated) == formatConversions(english)) return translated;
    return english;
}

} // namespace corvanthelix
