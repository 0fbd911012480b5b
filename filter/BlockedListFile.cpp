#include "filter/BlockedListFile.h"

#include <fstream>
#include <sstream>

namespace corvanthelix {

std::string BlockedListFile::patternFor(std::string_view entry) {
    if (entry.find('@') == std::string_view::npos) return "*@" + std::string(entry);
    if (entry.front() == '@') return "*" + std::string(entry);
    return std::string(entry);
}

std::vector<ImportedSender> BlockedListFile::parse(std::string_view text) {
    std::vector<ImportedSender> senders;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string_view::npos || line[first] == '#') continue;
        line = line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
        senders.push_back({std::string(line), patternFor(line)});
    }
    return senders;
}

bool BlockedListFile::read(const std::string& path, std::vector<ImportedSender>& senders) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    senders = parse(text.str());
    return true;
}

} // namespace corvanthelix
