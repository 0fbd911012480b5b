#include "language/LanguageFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <strings.h>

namespace corvanthelix::languagefile {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Blanks are space characters only; a tab inside a text is kept on purpose.
std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

std::string_view withoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return line;
}

template <size_t N>
void copyField(char (&field)[N], std::string_view value) {
    size_t n = value.size() < N - 1 ? value.size() : N - 1;
    std::memcpy(field, value.data(), n);
    field[n] = '\0';
}

bool startsWithKeyword(std::string_view line, std::string_view keyword) {
    return line.size() >= keyword.size() && strncasecmp(line.data(), keyword.data(), keyword.size()) == 0;
}

uint16_t primaryLanguageId(std::string_view value) {
    std::string text(value);
    unsigned long id = std::strtoul(text.c_str(), nullptr, 16);
    // Only the primary language counts: 407 (German, Germany) and C07 (German, Austria) are both 7.
    return static_cast<uint16_t>(id & 0x3FF);
}

} // namespace

bool readWholeFile(const char* path, std::string& content) {
    content.clear();
    if (!path || !*path) return false;
    FileHandle file(std::fopen(path, "rb"));
    if (!file) return false;
    char buffer[8192];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) content.append(buffer, n);
    return !std::ferror(file.get());
}

bool readHeaderBytes(const char* path, std::string& content) {
    content.clear();
    if (!path || !*path) return false;
    FileHandle file(std::fopen(path, "rb"));
    if (!file) return false;
    content.resize(kHeaderWindow + 1);
    content.resize(std::fread(content.data(), 1, content.size(), file.get()));
    return !std::ferror(file.get());
}

LANGUAGE parseHeader(std::string_view content, const char* path) {
    LANGUAGE info{};
    std::string_view fullPath = path ? path : "";
    size_t slash = fullPath.rfind('/');
    copyField(info.fileName, slash == std::string_view::npos ? fullPath : fullPath.substr(slash + 1));

    std::string_view window = content.substr(0, kHeaderWindow);
    bool windowIsWholeFile = content.size() <= kHeaderWindow;
    size_t start = 0;
    while (start < window.size()) {
        size_t end = window.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            // A line that runs past the window is not seen at all, rather than seen cut.
            if (!windowIsWholeFile) break;
            end = window.size();
        }
        std::string_view line = window.substr(start, end - start);
        start = end + 1;
        if (startsWithKeyword(line, "NAME:")) copyField(info.name, trimBlanks(line.substr(5)));
        else if (startsWithKeyword(line, "VERSION:")) copyField(info.version, trimBlanks(line.substr(8)));
        else if (startsWithKeyword(line, "AUTHOR:")) copyField(info.author, trimBlanks(line.substr(7)));
        else if (startsWithKeyword(line, "LANGUAGEID:")) {
            char value[256];
            copyField(value, trimBlanks(line.substr(11)));
            info.languageId = primaryLanguageId(value);
        }
    }
    return info;
}

std::string decodeEscapes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<Entry> parseEntries(std::string_view content) {
    std::vector<Entry> entries;
    std::string source;
    bool haveSource = false;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string_view::npos) end = content.size();
        std::string_view line = trimBlanks(withoutLineEnd(content.substr(start, end - start)));
        start = end + 1;
        if (line.empty() || line.front() == '#') continue;
        if (line.front() == '=') {
            if (!haveSource) continue;
            std::string decoded = decodeEscapes(line.substr(1));
            std::string_view translation = trimBlanks(decoded);
            // An "=" line left empty is an unfinished translation: keep the English text rather
            // than blank it out of the user interface.
            if (translation.empty()) continue;
            entries.emplace_back(source, std::string(translation));
        } else {
            source = decodeEscapes(line);
            haveSource = true;
        }
    }
    return entries;
}

} // namespace corvanthelix::languagefile
