// Fuzz target: the settings-file reader (corvanthelix.ini, spampoints.ini, update descriptions),
// through a real file as the program reads it. Reads keys and sections named by the input and
// checks that readSection with a buffer of the file's size gives exactly the lines of
// readSectionLines, that a short buffer is never overrun and still ends with two NULs, and that a
// key written into the file reads back with the value written.
#include "base/IniFile.h"
#include "fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <memory>
#include <string>
#include <vector>

using namespace corvanthelix;

namespace {

std::string trimmedBlanks(std::string value) {
    const size_t first = value.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return value.substr(first, value.find_last_not_of(" \t") - first + 1);
}

// The NUL-separated lines of a readSection buffer of `used` bytes.
std::vector<std::string> linesOf(const char* buffer, size_t used) {
    std::vector<std::string> lines;
    size_t position = 0;
    // Kept lines are never empty: an empty one is the list's closing NUL.
    while (position < used && buffer[position] != '\0') {
        const size_t length = std::strlen(buffer + position);
        lines.emplace_back(buffer + position, length);
        position += length + 1;
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(16);
    const std::string key = input.ConsumeRandomLengthString(16);
    const std::string value = input.ConsumeRandomLengthString(16);
    const size_t shortRoom = input.ConsumeIntegralInRange<size_t>(0, 32);
    const std::string text = input.ConsumeRemainingBytesAsString();

    // The reader keeps parsed files by path and identity; a new file every time keeps the runs
    // independent of each other.
    IniFile::clearCache();
    const std::string path = fuzz::scratchFile("settings.ini", text);

    (void)IniFile::readInt(section, key, 7, path);
    const std::string read = IniFile::readString(section, key, "\x01", path);
    const bool found = read != "\x01" || IniFile::readString(section, key, "\x02", path) != "\x02";
    FUZZ_CHECK(IniFile::hasKey(section, key, path) == found);
    char small[8];
    const size_t copied = IniFile::readString(section, key, "", small, sizeof small, path);
    FUZZ_CHECK(copied < sizeof small && small[copied] == '\0');
    (void)IniFile::hasSection(section, path);

    const std::vector<std::string> lines = IniFile::readSectionLines(section, path);
    if (text.size() >= 2) {
        auto whole = std::make_unique<char[]>(text.size());
        const size_t used = IniFile::readSection(section, whole.get(), text.size(), path);
        if (used == 0) {
            FUZZ_CHECK(lines.empty());
        } else {
            FUZZ_CHECK(used <= text.size() && whole[used - 1] == '\0' && whole[used - 2] == '\0');
            FUZZ_CHECK(linesOf(whole.get(), used) == lines);
        }
    }
    auto cut = std::make_unique<char[]>(shortRoom == 0 ? 1 : shortRoom);
    const size_t cutUsed = IniFile::readSection(section, cut.get(), shortRoom, path);
    FUZZ_CHECK(cutUsed <= shortRoom);
    if (cutUsed >= 2) FUZZ_CHECK(cut[cutUsed - 1] == '\0' && cut[cutUsed - 2] == '\0');

    // A write the reader accepts must read back, also after the file is read from disk again.
    if (IniFile::writeString(section, key, value, path)) {
        FUZZ_CHECK(IniFile::readString(section, key, "\x01", path) == trimmedBlanks(value.c_str()));
        FUZZ_CHECK(IniFile::hasSection(section, path));
        IniFile::clearCache();
        FUZZ_CHECK(IniFile::readString(section, key, "\x01", path) == trimmedBlanks(value.c_str()));
    }
    return 0;
}
