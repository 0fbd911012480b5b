// Fuzz target: the backup archive reader. A backup file comes from wherever the user kept it and
// may be damaged or made up. Opens the input as an archive; when it is accepted, checks that every
// entry lies inside the data area and has a name that stays in its folder, reads every entry (and
// every inner archive), and checks that the writer's copy of the entries reads back the same.
#include "fuzz/FuzzSupport.h"
#include "stores/BackupArchive.h"
#include "stores/BackupArchiveWriter.h"

#include <cstdint>
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

void checkAccepted(const BackupArchive& archive, std::string_view bytes, int depth) {
    const uint32_t directoryOffset = littleEndian32(bytes, bytes.size() - 4);
    FUZZ_CHECK(directoryOffset + 8u <= bytes.size() - 4);
    for (size_t i = 0; i < archive.entries().size(); ++i) {
        const ArchiveEntry& entry = archive.entries()[i];
        FUZZ_CHECK(BackupArchive::isSafeName(entry.name));
        FUZZ_CHECK(uint64_t{entry.offset} + entry.size <= directoryOffset);
        std::string data;
        FUZZ_CHECK(archive.readEntry(i, data));
        FUZZ_CHECK(data == bytes.substr(entry.offset, entry.size));
        FUZZ_CHECK(archive.find(entry.name) == i);
        if (depth == 0) {
            BackupArchive inner;
            if (inner.openEntry(archive, i) == ArchiveOutcome::Ok) checkAccepted(inner, data, depth + 1);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    BackupArchive archive;
    if (archive.openMemory(bytes) != ArchiveOutcome::Ok) {
        FUZZ_CHECK(archive.entries().empty());
        return 0;
    }
    checkAccepted(archive, bytes, 0);

    // What the reader accepted, the writer can store again, and the copy reads the same.
    const std::string copyPath = fuzz::scratchFolder() + "/copy.corvanthelix.backup";
    BackupArchiveWriter writer;
    FUZZ_CHECK(writer.begin(copyPath) == ArchiveWriteOutcome::Ok);
    for (const ArchiveEntry& entry : archive.entries())
        FUZZ_CHECK(writer.addData(entry.name, bytes.substr(entry.offset, entry.size)) == ArchiveWriteOutcome::Ok);
    FUZZ_CHECK(writer.commit() == ArchiveWriteOutcome::Ok);
    BackupArchive copy;
    FUZZ_CHECK(copy.open(copyPath) == ArchiveOutcome::Ok);
    FUZZ_CHECK(copy.entries().size() == archive.entries().size());
    for (size_t i = 0; i < copy.entries().size(); ++i) {
        std::string copied;
        FUZZ_CHECK(copy.readEntry(i, copied));
        FUZZ_CHECK(copy.entries()[i].name == archive.entries()[i].name);
        FUZZ_CHECK(copied == bytes.substr(archive.entries()[i].offset, archive.entries()[i].size));
    }
    return 0;
}
