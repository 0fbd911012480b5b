#include "filter/WordTable.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;

namespace {

std::string le32(uint32_t v) {
    return {char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24 & 0xFF)};
}

std::string header(uint32_t records, uint32_t messages) {
    return le32(1) + le32(records) + le32(messages) + le32(0);
}

std::string record(const std::string& word, uint32_t count) {
    return std::string(1, char(word.size())) + word + le32(count);
}

std::vector<std::string> wordsInSlotOrder(const WordTable& table) {
    std::vector<std::string> words;
    table.forEach([&](const WordEntry& e) { words.emplace_back(e.text()); });
    return words;
}

// The probe rule written out plainly, to check where the table puts words.
std::vector<std::string> modelSlots(const std::vector<std::string>& words, size_t capacity) {
    std::vector<std::string> slots(capacity);
    for (const std::string& w : words) {
        uint32_t h = 0;
        for (unsigned char c : w) h = h * 65599u + c;
        size_t slot = h % capacity;
        size_t step = (h % (capacity - 1)) | 1;
        while (!slots[slot].empty()) slot = (slot + step) % capacity;
        slots[slot] = w;
    }
    std::vector<std::string> order;
    for (const std::string& s : slots)
        if (!s.empty()) order.push_back(s);
    return order;
}

} // namespace

TEST(WordTable, HashIsTheMultiplyBy65599SumOverUnsignedBytes) {
    struct Case { std::string word; uint32_t hash; } cases[] = {
        {"", 0u},
        {"a", 97u},
        {"ab", 97u * 65599u + 98u},
        {"\xFF", 255u},  // bytes count as unsigned characters
        // wraps around 32 bits: 'z' * 65599^2 overflows
        {"zzz", uint32_t(uint64_t(122) * 65599 * 65599 + 122 * 65599 + 122)},
    };
    for (const Case& c : cases) EXPECT_EQ(WordTable::hash(c.word), c.hash) << c.word;
}

TEST(WordTable, ProbesByTheHashStepAndFindsEveryWordAfterCollisions) {
    // Words that share a start slot in 16 slots, so the step decides where they go.
    std::vector<std::string> words;
    uint32_t firstSlot = WordTable::hash("w0") % 16;
    for (int i = 0; words.size() < 6; ++i) {
        std::string w = "w" + std::to_string(i);
        if (WordTable::hash(w) % 16 == firstSlot) words.push_back(w);
    }
    WordTable small;
    for (const std::string& w : words) ASSERT_NE(small.insert(w), nullptr);
    EXPECT_EQ(small.capacity(), 16u);
    EXPECT_EQ(wordsInSlotOrder(small), modelSlots(words, 16));
    for (const std::string& w : words) EXPECT_EQ(small.count(w), 1u) << w;
    EXPECT_EQ(small.find("W0"), nullptr) << "look-ups compare bytes exactly";
    EXPECT_EQ(small.find("absent"), nullptr);
}

TEST(WordTable, GrowsToTwiceTheCapacityAtThreeQuartersAndKeepsEveryCount) {
    WordTable table;
    std::vector<std::string> words;
    for (int i = 0; i < 200; ++i) words.push_back("word" + std::to_string(i));
    for (size_t i = 0; i < words.size(); ++i) {
        size_t before = table.capacity();
        ASSERT_NE(table.insert(words[i]), nullptr);
        // The table grows before the insertion that finds it three quarters full.
        size_t expected = i >= size_t(double(before) * 0.75) ? before * 2 : before;
        ASSERT_EQ(table.capacity(), expected) << "after " << i + 1 << " words";
    }
    EXPECT_EQ(table.capacity(), 512u);
    EXPECT_EQ(table.entries(), 200u);
    for (const std::string& w : words) table.insert(w);
    for (const std::string& w : words) EXPECT_EQ(table.count(w), 2u) << w;
    EXPECT_EQ(wordsInSlotOrder(table).size(), 200u);
}

TEST(WordTable, CapacityHintIsAPowerOfTwoOfAtLeastSixteen) {
    struct Case { size_t hint, capacity; } cases[] = {{0, 16}, {1, 16}, {16, 16}, {17, 32}, {1000, 1024}};
    for (const Case& c : cases) EXPECT_EQ(WordTable(0, c.hint).capacity(), c.capacity) << c.hint;
}

TEST(WordTable, MemoryLimitRefusesNewWordsWhileKnownWordsKeepCounting) {
    // Each word costs its length + 5 bytes: "alpha" 10, "beta" 9, "gamma" 10.
    WordTable table(28);
    ASSERT_NE(table.insert("alpha"), nullptr);
    ASSERT_NE(table.insert("beta"), nullptr);
    EXPECT_EQ(table.memoryUsed(), 19u);
    EXPECT_EQ(table.insert("gamma"), nullptr) << "19 + 10 > 28 is refused";
    EXPECT_EQ(table.memoryUsed(), 19u);
    ASSERT_NE(table.insert("cat"), nullptr) << "19 + 8 fits";
    EXPECT_EQ(table.memoryUsed(), 27u);
    EXPECT_EQ(table.insert("dog"), nullptr);
    for (int i = 0; i < 3; ++i) EXPECT_NE(table.insert("alpha"), nullptr);
    EXPECT_EQ(table.count("alpha"), 4u);
    EXPECT_EQ(table.count("gamma"), 0u);
    EXPECT_EQ(table.entries(), 3u);

    WordTable exact(10);
    EXPECT_NE(exact.insert("alpha"), nullptr) << "a word that fills the limit exactly is taken";

    WordTable unlimited;
    for (int i = 0; i < 5000; ++i) ASSERT_NE(unlimited.insert("w" + std::to_string(i)), nullptr);
}

TEST(WordTable, LongWordsKeepTheirFirstTwentyBytes) {
    WordTable table;
    std::string twentyOne = "abcdefghijklmnopqrstu";
    WordEntry* entry = table.insert(twentyOne);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->text(), "abcdefghijklmnopqrst");
    EXPECT_EQ(table.memoryUsed(), 25u);
    EXPECT_EQ(table.insert(twentyOne), entry) << "the same long word counts on the same entry";
    EXPECT_EQ(table.count("abcdefghijklmnopqrst"), 2u);
    EXPECT_EQ(table.entries(), 1u);
}

TEST(WordTable, FileRoundTripKeepsWordsCountsAndMessagesAndSkipsRemovedWords) {
    TempFolder tmp;
    WordTable table;
    table.setFilePath(tmp.file("training/good.corvanthelix.wordlist"));
    for (int i = 0; i < 40; ++i)
        for (int k = 0; k <= i % 4; ++k) table.insert("word" + std::to_string(i));
    table.setMessages(7);
    EXPECT_EQ(table.markRare(1), 10u) << "words counted once";
    EXPECT_EQ(table.count("word0"), 1u) << "a removed word still answers look-ups";
    ASSERT_TRUE(table.write());

    std::string bytes = TempFolder::read(table.filePath());
    EXPECT_EQ(bytes.substr(0, 16), header(30, 7));
    WordTable loaded;
    ASSERT_TRUE(loaded.read(table.filePath()));
    EXPECT_EQ(loaded.messages(), 7u);
    EXPECT_EQ(loaded.entries(), 30u);
    EXPECT_EQ(loaded.removedEntries(), 0u);
    EXPECT_EQ(loaded.capacity(), 64u) << "smallest power of two for 30 records, grown once at 24";
    for (int i = 0; i < 40; ++i) {
        uint32_t expected = i % 4 == 0 ? 0 : uint32_t(i % 4 + 1);
        EXPECT_EQ(loaded.count("word" + std::to_string(i)), expected) << i;
    }
    // Records come in slot order: what was written reads back in the same order.
    std::vector<std::string> written;
    table.forEach([&](const WordEntry& e) { if (!e.removed) written.emplace_back(e.text()); });
    std::string expectedBytes = header(30, 7);
    for (const std::string& w : written) expectedBytes += record(w, table.count(w));
    EXPECT_EQ(bytes, expectedBytes);
}

TEST(WordTable, WritesAtomicallyPrivateFilesAndFailsSilently) {
    TempFolder tmp;
    WordTable table;
    table.insert("hello");
    table.setFilePath(tmp.file("training/bad.corvanthelix.wordlist"));
    tmp.write("training/bad.corvanthelix.wordlist", "old content");
    ::chmod(tmp.file("training").c_str(), 0700);
    ASSERT_TRUE(table.write());
    struct stat info {};
    ASSERT_EQ(::stat(table.filePath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    size_t files = 0;
    for (auto& e : std::filesystem::directory_iterator(tmp.file("training"))) (void)e, ++files;
    EXPECT_EQ(files, 1u) << "no temporary file is left behind";

    WordTable fresh;
    fresh.setFilePath(tmp.file("made/training/good.corvanthelix.wordlist"));
    ASSERT_TRUE(fresh.write());
    ASSERT_EQ(::stat(tmp.file("made/training").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    tmp.write("plain", "x");
    fresh.setFilePath(tmp.file("plain/good.corvanthelix.wordlist"));
    EXPECT_FALSE(fresh.write());
    WordTable noPath;
    EXPECT_FALSE(noPath.write());
}

TEST(WordTable, ReadingStopsAtTheFirstBadRecord) {
    std::string good3 = record("alpha", 3) + record("beta", 4) + record("gamma", 5);
    std::string len21 = "abcdefghijklmnopqrstu";
    std::string len22 = len21 + "v";
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::pair<std::string, uint32_t>> present;
        size_t entries;
        uint32_t messages;
        bool damaged; // header and contents disagree
    } cases[] = {
        {"complete", header(3, 9) + good3, {{"alpha", 3}, {"beta", 4}, {"gamma", 5}}, 3, 9, false},
        {"length byte 22 stops there",
         header(3, 9) + record("alpha", 3) + record(len22, 7) + record("gamma", 5), {{"alpha", 3}}, 1, 9, true},
        {"length byte 21 is read and kept as 20",
         header(2, 1) + record(len21, 7) + record("beta", 4), {{len21.substr(0, 20), 7}, {"beta", 4}}, 2, 1, false},
        {"length byte 0 stops", header(3, 2) + record("alpha", 3) + std::string(1, '\0') + record("beta", 4),
         {{"alpha", 3}}, 1, 2, true},
        {"cut inside a count", header(2, 2) + record("alpha", 3) + record("beta", 4).substr(0, 7),
         {{"alpha", 3}}, 1, 2, true},
        {"cut inside a word", header(2, 2) + record("alpha", 3) + record("beta", 4).substr(0, 3),
         {{"alpha", 3}}, 1, 2, true},
        {"header announces fewer records", header(2, 2) + good3, {{"alpha", 3}, {"beta", 4}}, 2, 2, true},
        {"header announces billions", header(0xFFFFFFFFu, 2) + good3,
         {{"alpha", 3}, {"beta", 4}, {"gamma", 5}}, 3, 2, true},
        {"short header", std::string("\1\0\0\0\3\0", 6), {}, 0, 0, true},
        {"empty file", "", {}, 0, 0, false},
        {"unknown format number", le32(2) + le32(3) + le32(9) + le32(0) + good3,
         {{"alpha", 3}, {"beta", 4}, {"gamma", 5}}, 3, 9, true},
        {"reserved field set", le32(1) + le32(3) + le32(9) + le32(64) + good3,
         {{"alpha", 3}, {"beta", 4}, {"gamma", 5}}, 3, 9, true},
        {"messages learned without any word", header(0, 1000), {}, 0, 1000, true},
        {"more messages than word occurrences", header(3, 13) + good3,
         {{"alpha", 3}, {"beta", 4}, {"gamma", 5}}, 3, 13, true},
    };
    TempFolder tmp;
    for (const Case& c : cases) {
        std::string path = tmp.write("list", c.bytes);
        WordTable table;
        EXPECT_TRUE(table.read(path)) << c.name;
        EXPECT_EQ(table.entries(), c.entries) << c.name;
        EXPECT_EQ(table.messages(), c.messages) << c.name;
        EXPECT_LE(table.capacity(), 64u) << c.name << ": sized by what the file holds";
        EXPECT_EQ(table.damaged(), c.damaged) << c.name;
        for (auto& [word, count] : c.present) EXPECT_EQ(table.count(word), count) << c.name << " " << word;
    }
}

TEST(WordTable, ReadingReplacesTheContentsKeepsTheLimitAndToleratesAMissingFile) {
    TempFolder tmp;
    std::string path = tmp.write("list", header(3, 5) + record("alpha", 3) + record("beta", 4) +
                                             record("gamma", 5));
    WordTable table(19);  // room for "alpha" (10) and "beta" (9) only
    table.insert("stale");
    table.setMessages(40);
    ASSERT_TRUE(table.read(path));
    EXPECT_EQ(table.count("stale"), 0u);
    EXPECT_EQ(table.count("alpha"), 3u);
    EXPECT_EQ(table.count("beta"), 4u);
    EXPECT_EQ(table.count("gamma"), 0u) << "loading stops when the limit refuses a word";
    EXPECT_FALSE(table.damaged()) << "a list cut by the memory limit is not damaged";
    EXPECT_EQ(table.memoryUsed(), 19u);
    EXPECT_EQ(table.messages(), 5u);

    EXPECT_FALSE(table.read(tmp.file("missing")));
    EXPECT_EQ(table.entries(), 0u);
    EXPECT_EQ(table.messages(), 0u);
    EXPECT_EQ(table.memoryLimit(), 19u);
    EXPECT_EQ(table.filePath(), tmp.file("missing")) << "saving goes where the table was loaded from";
}

TEST(WordTable, RestoreFromAnImageDropsRemovedWordsAndTheirMemory) {
    WordTable table;
    table.insert("keep");
    table.insert("keep");
    table.insert("drop");
    table.setMessages(2);
    EXPECT_EQ(table.memoryUsed(), 18u);
    table.markRare(1);
    EXPECT_EQ(table.removedEntries(), 1u);
    EXPECT_EQ(table.markRare(1), 0u) << "a removed word is not flagged twice";
    table.restore(table.serialize());
    EXPECT_EQ(table.entries(), 1u);
    EXPECT_EQ(table.removedEntries(), 0u);
    EXPECT_EQ(table.memoryUsed(), 9u);
    EXPECT_EQ(table.count("keep"), 2u);
    EXPECT_EQ(table.count("drop"), 0u);
    EXPECT_EQ(table.messages(), 2u);
}
