#include "filter/CsvSenderFile.h"

#include <fstream>

namespace corvanthelix {

namespace {

// The end of the field starting at `start`: the first `separator` outside quotes, npos if none.
size_t separatorOutsideQuotes(std::string_view line, size_t start, char separator) {
    bool quoted = false;
    for (size_t i = start; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        else if (line[i] == separator && !quoted) return i;
    }
    return std::string_view::npos;
}

std::string_view trimmed(std::string_view text, std::string_view characters) {
    size_t first = text.find_first_not_of(characters);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(characters) - first + 1);
}

} // namespace

std::vector<std::string> CsvSenderFile::splitFields(std::string_view line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t end = separatorOutsideQuotes(line, start, ',');
        if (end == std::string_view::npos) end = separatorOutsideQuotes(line, start, ';');
        if (end == std::string_view::npos) {
            fields.push_back(cleanField(line.substr(start)));
            return fields;
        }
        fields.push_back(cleanField(line.substr(start, end - start)));
        start = end + 1;
    }
}

std::string CsvSenderFile::cleanField(std::string_view field) {
    field = trimmed(field, " \t");
    field = trimmed(field, "\n");
    field = trimmed(field, "\r");
    if (field.size() < 2 || field.front() != '"' || field.back() != '"') return std::string(field);
    std::string text;
    std::string_view inner = field.substr(1, field.size() - 2);
    for (size_t i = 0; i < inner.size(); ++i) {
        text += inner[i];
        if (inner[i] == '"' && i + 1 < inner.size() && inner[i + 1] == '"') ++i;
    }
    return text;
}

int CsvSenderFile::proposedMailColumn(const std::vector<std::string>& fields) {
    for (size_t i = fields.size(); i-- > 0;)
        if (fields[i].find('@') != std::string::npos) return static_cast<int>(i);
    return 0;
}

std::optional<ImportedSender> CsvSenderFile::senderOf(const std::vector<std::string>& fields, int mailColumn,
                                                     int nameColumn) {
    if (mailColumn < 0 || nameColumn < 0) return std::nullopt;
    const auto mail = static_cast<size_t>(mailColumn), name = static_cast<size_t>(nameColumn);
    if (mail >= fields.size() || name >= fields.size() || fields[mail].empty() || fields[name].empty()) return std::nullopt;
    if (fields[mail].find('@') == std::string::npos) return std::nullopt;
    return ImportedSender{fields[name], fields[mail]};
}

bool CsvSenderFile::readLines(const std::string& path, std::vector<std::string>& lines) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    lines.clear();
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > kMaxLineLength) line.resize(kMaxLineLength);
        lines.push_back(std::move(line));
    }
    return true;
}

} // namespace corvanthelix
