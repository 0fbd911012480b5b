// Fuzz target: the UID-list reader. An account's UID list may be cut short by a crash or come
// from another version. Parses the input, checks it against a plain reading of the format (count
// and longest length, then one UID per line; CR LF accepted; empty lines skipped), and checks
// that the list written back reads as the same UIDs (those holding a line break cannot be stored).
#include "fuzz/FuzzSupport.h"
#include "proxy/UidList.h"

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

using namespace corvanthelix;

namespace {

uint32_t littleEndian32(std::string_view bytes, size_t offset) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= uint32_t(static_cast<unsigned char>(bytes[offset + i])) << (8 * i);
    return value;
}

// The UIDs of a list file, in file order, without repeats; nothing when the file holds no list.
std::vector<std::string> plainReading(std::string_view bytes) {
    std::vector<std::string> uids;
    if (bytes.size() < 8 || littleEndian32(bytes, 0) == 0 || littleEndian32(bytes, 4) == 0) return uids;
    const uint32_t count = littleEndian32(bytes, 0);
    std::set<std::string> seen;
    uint32_t read = 0;
    size_t position = 8;
    while (read < count && position < bytes.size()) {
        size_t end = bytes.find('\n', position);
        if (end == std::string_view::npos) end = bytes.size();
        std::string line(bytes.substr(position, end - position));
        position = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        ++read;
        if (seen.insert(line).second) uids.push_back(line);
    }
    return uids;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> expected = plainReading(bytes);

    UidList list;
    const bool parsed = list.parse(bytes);
    FUZZ_CHECK(parsed == (size >= 8 && littleEndian32(bytes, 0) != 0 && littleEndian32(bytes, 4) != 0));
    FUZZ_CHECK(list.size() == expected.size());
    FUZZ_CHECK(list.presentCount() == 0);
    for (const std::string& uid : expected) FUZZ_CHECK(list.contains(uid));

    // A check that finds every UID again writes them all back.
    std::vector<std::string> storable;
    for (const std::string& uid : expected) {
        list.markPresent(uid);
        if (uid.find_first_of("\r\n") == std::string::npos) storable.push_back(uid);
    }
    FUZZ_CHECK(list.presentCount() == expected.size());
    const std::string written = list.serialize();
    FUZZ_CHECK(plainReading(written) == storable);
    UidList reread;
    reread.parse(written);
    FUZZ_CHECK(reread.size() == storable.size());
    for (const std::string& uid : storable) FUZZ_CHECK(reread.contains(uid));
    return 0;
}
