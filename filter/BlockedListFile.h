#pragma once
// A plain list of blocked senders, one domain or address per line, as mail programs export their
// blocked-senders lists. Blank lines and lines starting with "#" are ignored.
#include "filter/SenderImport.h"

#include <string>
#include <string_view>
#include <vector>

namespace corvanthelix {

class BlockedListFile {
public:
    /// The pattern stored for an entry: "*@" + entry for a bare domain (no "@"), "*" + entry for
    /// an entry starting with "@", the entry itself otherwise.
    static std::string patternFor(std::string_view entry);
    /// Every entry of the list text in file order: name = the entry as written (blanks removed at
    /// both ends), address = patternFor(name).
    static std::vector<ImportedSender> parse(std::string_view text);
    /// parse() of the file's text. False when the file cannot be read.
    static bool read(const std::string& path, std::vector<ImportedSender>& senders);
};

} // namespace corvanthelix
