// Fuzz target: the learning filter's word-list file reader. A word list in the training folder may
// be cut short by a crash or damaged. Reads the input as a file and as an image in memory and
// checks: both readers give the same table, every entry is a word of 1 to 20 bytes that the table
// finds again, and a written table reads back with the same words, counts and message count.
#include "filter/WordTable.h"
#include "fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <utility>
#include <vector>

using namespace corvanthelix;

namespace {

std::vector<std::pair<std::string, uint32_t>> contents(const WordTable& table) {
    std::vector<std::pair<std::string, uint32_t>> words;
    table.forEach([&](const WordEntry& entry) {
        if (!entry.removed) words.emplace_back(std::string(entry.text()), entry.count);
    });
    std::sort(words.begin(), words.end());
    return words;
}

void checkTable(const WordTable& table) {
    size_t seen = 0;
    table.forEach([&](const WordEntry& entry) {
        FUZZ_CHECK(entry.length >= 1 && entry.length <= WordTable::kMaxWordLength);
        FUZZ_CHECK(entry.hash == WordTable::hash(entry.text()));
        FUZZ_CHECK(table.find(entry.text()) == &entry);
        ++seen;
    });
    FUZZ_CHECK(seen == table.entries());
    FUZZ_CHECK(table.entries() * 4 <= table.capacity() * 3 + 4);
    if (table.memoryLimit() != 0) FUZZ_CHECK(table.memoryUsed() <= table.memoryLimit());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    // Now and then a memory limit small enough to stop a load part way.
    const size_t memoryLimit = input.ConsumeBool() ? input.ConsumeIntegralInRange<size_t>(1, 400) : 0;
    const std::string image = input.ConsumeRemainingBytesAsString();

    WordTable fromImage(memoryLimit);
    fromImage.restore(image);
    checkTable(fromImage);

    WordTable fromFile(memoryLimit);
    FUZZ_CHECK(fromFile.read(fuzz::scratchFile("words.dat", image)));
    checkTable(fromFile);
    FUZZ_CHECK(contents(fromFile) == contents(fromImage));
    FUZZ_CHECK(fromFile.messages() == fromImage.messages());
    FUZZ_CHECK(fromFile.damaged() == fromImage.damaged());

    const std::string written = fromImage.serialize();
    WordTable reread;
    reread.restore(written);
    checkTable(reread);
    FUZZ_CHECK(contents(reread) == contents(fromImage));
    FUZZ_CHECK(reread.messages() == fromImage.messages());
    return 0;
}
