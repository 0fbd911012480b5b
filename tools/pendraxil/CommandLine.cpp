#include "CommandLine.h"

#include <cctype>
#include <cstring>

namespace corvanthelix {

CommandLine CommandLine::parse(int argc, const char* const* argv) {
    CommandLine line;
    int first = 1;
    if (argc > 1 && std::strcmp(argv[1], "--verbose") == 0) {
        line.verbose_ = true;
        first = 2;
    }
    for (int i = first; i < argc; ++i) {
        if (i > first) line.path_ += ' ';
        line.path_ += argv[i];
    }
    return line;
}

bool CommandLine::namesPkcs12() const {
    if (path_.size() < 4) return false;
    std::string suffix = path_.substr(path_.size() - 4);
    for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return suffix == ".p12";
}

} // namespace corvanthelix
