#include "Report.h"

#include <cstdio>

namespace corvanthelix {

void Report::note(const std::string& line) const {
    if (verbose_) std::printf("pendraxil: %s\n", line.c_str());
}

void Report::usage() {
    std::fputs("Usage: \"pendraxil <certfile.p12>\" or \"pendraxil <certfile.der>\"\n", stderr);
}

} // namespace corvanthelix
