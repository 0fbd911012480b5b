#include "chisquare/TokenDatabase.h"
#include "chisquare/TokenSet.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>

using namespace corvanthelix::chisquare;
using corvanthelix::testing::TempFolder;

namespace {

TokenSet setOf(std::initializer_list<std::string> words) {
    TokenSet tokens;
    for (const std::string& w : words) tokens.add(w);
    return tokens;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

TEST(ChiSquareDatabaseTest, SaveAndLoadKeepCountsAndAges) {
    TempFolder folder;
    const std::string path = folder.file("words.db");
    TokenDatabase saved;
    saved.learn(setOf({"subject:Free", "money", "\xE9t\xE9"}), true);
    saved.learn(setOf({"money", "agenda"}), false);
    saved.learn(setOf({"agenda", "minutes"}), false);
    ASSERT_TRUE(saved.save(path));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    TokenDatabase loaded;
    ASSERT_EQ(loaded.load(path), TokenDatabase::LoadResult::Loaded);
    EXPECT_EQ(loaded.spamMessages(), 1u);
    EXPECT_EQ(loaded.hamMessages(), 2u);
    EXPECT_EQ(loaded.clock(), 3u);
    EXPECT_EQ(loaded.size(), 5u);
    for (const char* token : {"subject:Free", "money", "\xE9t\xE9", "agenda", "minutes"}) {
        const TokenCounts* a = saved.find(token);
        const TokenCounts* b = loaded.find(token);
        ASSERT_TRUE(a && b) << token;
        EXPECT_EQ(a->spam, b->spam) << token;
        EXPECT_EQ(a->ham, b->ham) << token;
        EXPECT_EQ(a->lastLearned, b->lastLearned) << token;
    }
    // The same contents make the same bytes back.
    EXPECT_EQ(loaded.serialize().size(), saved.serialize().size());
}

TEST(ChiSquareDatabaseTest, DamagedOrMissingFilesGiveAnEmptyDatabase) {
    TempFolder folder;
    const std::string path = folder.file("words.db");
    TokenDatabase database;
    EXPECT_EQ(database.load(path), TokenDatabase::LoadResult::Missing);
    database.learn(setOf({"alpha", "beta", "gamma"}), true);
    const std::string bytes = database.serialize();

    std::string flipped = bytes;
    flipped[bytes.size() / 2] ^= 0x20;
    for (const std::string& damaged : {flipped, bytes.substr(0, bytes.size() - 1), bytes.substr(0, 10),
                                       std::string("not a database at all")}) {
        TokenDatabase reader;
        reader.learn(setOf({"old"}), false);
        EXPECT_FALSE(reader.deserialize(damaged));
        EXPECT_EQ(reader.size(), 0u);
        EXPECT_EQ(reader.hamMessages(), 0u);
    }
    std::ofstream(path, std::ios::binary) << flipped;
    EXPECT_EQ(database.load(path), TokenDatabase::LoadResult::Damaged);
    EXPECT_EQ(readFile(path), flipped) << "a damaged file is left for inspection";
}

TEST(ChiSquareDatabaseTest, PruningStaysUnderTheBoundAndDropsOldRareTokensFirst) {
    TokenDatabase database(100);
    // Common tokens in every message; one rare token per message, so the oldest rare ones are
    // those of the first messages.
    for (int i = 0; i < 400; ++i) {
        TokenSet tokens = setOf({"common1", "common2", "rare" + std::to_string(i)});
        if (i % 50 == 0) tokens.add("twice" + std::to_string(i));
        database.learn(tokens, i % 2 == 0);
        if (i % 50 == 0) database.learn(setOf({"twice" + std::to_string(i)}), false);
        ASSERT_LE(database.size(), 100u) << "after message " << i;
    }
    EXPECT_TRUE(database.find("common1") && database.find("common2"));
    EXPECT_TRUE(database.find("rare399")) << "the newest rare token stays";
    EXPECT_FALSE(database.find("rare0")) << "the oldest rare token goes";
    // Tokens of two messages outlive rare ones learned after them.
    EXPECT_TRUE(database.find("twice0"));
    EXPECT_FALSE(database.find("rare300"));

    // A file written with a larger bound is cut to the reader's bound on loading.
    TokenDatabase big(1000);
    for (int i = 0; i < 500; ++i) big.learn(setOf({"t" + std::to_string(i)}), true);
    TokenDatabase small(50);
    ASSERT_TRUE(small.deserialize(big.serialize()));
    EXPECT_EQ(small.size(), 50u);
    EXPECT_TRUE(small.find("t499"));
    EXPECT_EQ(small.spamMessages(), 500u);
}

} // namespace
