// Fuzz target: the message cache's index reader. The index of an account's cache folder may be
// cut short by a crash or planted. Opens a cache whose index holds the input and checks: every
// record names a plain file inside the account folder, a record read back from the writer's
// format is the record written, and clearing the cache removes nothing outside its folder.
#include "upstream/MailMessage.h"
#include "fuzz/FuzzSupport.h"
#include "proxy/MessageCache.h"
#include "proxy/UidList.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using namespace corvanthelix;

namespace {

void appendField(std::string& out, std::string_view field) {
    const auto length = static_cast<uint32_t>(field.size());
    for (int i = 0; i < 4; ++i) out += static_cast<char>((length >> (8 * i)) & 0xFF);
    out += field;
}

bool plainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const auto records = MessageCache::parseIndex(bytes);
    std::string rewritten;
    for (const auto& [uid, fileName] : records) {
        FUZZ_CHECK(plainName(fileName));
        appendField(rewritten, uid);
        appendField(rewritten, fileName);
    }
    FUZZ_CHECK(MessageCache::parseIndex(rewritten) == records);

    // The same index in a real account folder, beside a file that must survive clear().
    const std::string programFolder = fuzz::scratchFolder() + "/program";
    std::error_code ignored;
    std::filesystem::remove_all(programFolder, ignored);
    const std::string accountFolder = programFolder + "/" + MessageCache::kFolder + "/" + accountFileKey("u", "s");
    FUZZ_CHECK(ensureFolder(accountFolder));
    FUZZ_CHECK(replaceFileAtomically(accountFolder + "/" + MessageCache::kIndexFileName, bytes, false));
    FUZZ_CHECK(replaceFileAtomically(programFolder + "/" + MessageCache::kFolder + "/keep", "keep", false));
    FUZZ_CHECK(replaceFileAtomically(programFolder + "/keep", "keep", false));

    MessageCache cache;
    FUZZ_CHECK(cache.open(programFolder, "u", "s"));
    FUZZ_CHECK(cache.size() <= records.size());
    for (const auto& [uid, fileName] : records) {
        const std::string name = cache.fileNameOf(uid);
        FUZZ_CHECK(plainName(name));
        MailMessage message;
        (void)cache.get(uid, message);
    }

    // What the cache writes reads back with every record, the new one included.
    MailMessage message;
    message.parse("Subject: cached\r\n\r\nbody\r\n");
    const std::string newUid = "fuzz-new-uid";
    const bool listedAlready = !cache.fileNameOf(newUid).empty();
    FUZZ_CHECK(cache.add(message, newUid));
    FUZZ_CHECK(cache.saveIndex());
    MessageCache reopened;
    reopened.open(programFolder, "u", "s");
    FUZZ_CHECK(reopened.size() == cache.size());
    for (const auto& [uid, fileName] : records) FUZZ_CHECK(reopened.fileNameOf(uid) == cache.fileNameOf(uid));
    MailMessage back;
    if (!listedAlready) FUZZ_CHECK(reopened.get(newUid, back) && back.source() == message.source());

    reopened.clear();
    FUZZ_CHECK(std::filesystem::exists(programFolder + "/keep"));
    FUZZ_CHECK(std::filesystem::exists(programFolder + "/" + MessageCache::kFolder + "/keep"));
    return 0;
}
