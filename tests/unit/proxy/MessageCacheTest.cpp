#include "proxy/MessageCache.h"
#include "upstream/MailMessage.h"
#include "base/Crc32.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;

namespace {

std::string record(const std::string& uid, const std::string& fileName) {
    std::string out;
    for (const std::string* field : {&uid, &fileName}) {
        uint32_t n = static_cast<uint32_t>(field->size());
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
        out += *field;
    }
    return out;
}

// A record of an index with checks: the copy's size and CRC-32 follow the file name.
std::string checkedRecord(const std::string& uid, const std::string& fileName, const std::string& copy) {
    std::string check;
    for (uint32_t n : {static_cast<uint32_t>(copy.size()), crc32(copy)})
        for (int i = 0; i < 4; ++i) check.push_back(static_cast<char>((n >> (8 * i)) & 0xFF));
    return record(uid, fileName) + record(check, "").substr(0, 12);
}

MailMessage messageFrom(const std::string& text) {
    MailMessage message;
    message.parse(text);
    return message;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Same CRC-32 (0x4ddb0c25), checked with Python's zlib.crc32.
constexpr const char* kCollidingA = "plumless";
constexpr const char* kCollidingB = "buckeroo";

} // namespace

TEST(MessageCache, KeepsMessagesByteForByteAcrossSessions) {
    TempFolder tmp;
    const std::string text =
        "From: a@example.org\r\nSubject: odd endings\r\n\r\nbare\nline feed\r\n..dot-stuffed\r\n\r\n";
    {
        MessageCache cache;
        ASSERT_TRUE(cache.open(tmp.path(), "jane", "mail.example.org"));
        EXPECT_EQ(cache.folder(), tmp.path() + "/cache/fa6cba92@ab698299/");
        ASSERT_TRUE(cache.add(messageFrom(text), "000000016b19d003"));
        ASSERT_TRUE(cache.saveIndex());
    }
    const std::string folder = tmp.path() + "/cache/fa6cba92@ab698299/";
    EXPECT_EQ(TempFolder::read(folder + "dc74f6a5.eml"), text);
    EXPECT_EQ(TempFolder::read(folder + "cache.corvanthelix.dat"),
              std::string(MessageCache::kIndexMark) + checkedRecord("000000016b19d003", "dc74f6a5.eml", text));
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((folder + "dc74f6a5.eml").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    MessageCache next;
    ASSERT_TRUE(next.open(tmp.path(), "jane", "mail.example.org"));
    MailMessage loaded;
    ASSERT_TRUE(next.get("000000016b19d003", loaded));
    EXPECT_EQ(loaded.source(), text);
    EXPECT_FALSE(next.get("000000016B19D003", loaded)) << "exact comparison";
    MessageCache other;
    ASSERT_TRUE(other.open(tmp.path(), "john", "mail.example.org"));
    EXPECT_FALSE(other.get("000000016b19d003", loaded)) << "caches are per account";
}

TEST(MessageCache, NamesCollidingUidsWithACounter) {
    TempFolder tmp;
    MessageCache cache;
    ASSERT_TRUE(cache.open(tmp.path(), "jane", "mail.example.org"));
    ASSERT_TRUE(cache.add(messageFrom("Subject: A\r\n\r\na\r\n"), kCollidingA));
    ASSERT_TRUE(cache.add(messageFrom("Subject: B\r\n\r\nb\r\n"), kCollidingB));
    // A stray file with the next name is not overwritten.
    tmp.write("cache/fa6cba92@ab698299/4ddb0c252.eml", "stray");
    ASSERT_TRUE(cache.add(messageFrom("Subject: C\r\n\r\nc\r\n"), "third-with-crc-c"));
    ASSERT_TRUE(cache.add(messageFrom("Subject: again\r\n\r\n"), kCollidingA)) << "cached already";
    EXPECT_EQ(cache.size(), 3u);
    EXPECT_EQ(cache.fileNameOf(kCollidingA), "4ddb0c25.eml");
    EXPECT_EQ(cache.fileNameOf(kCollidingB), "4ddb0c251.eml");

    MailMessage a, b;
    ASSERT_TRUE(cache.get(kCollidingA, a));
    ASSERT_TRUE(cache.get(kCollidingB, b));
    EXPECT_EQ(a.source(), "Subject: A\r\n\r\na\r\n");
    EXPECT_EQ(b.source(), "Subject: B\r\n\r\nb\r\n");
    EXPECT_EQ(TempFolder::read(cache.folder() + "4ddb0c252.eml"), "stray");
}

TEST(MessageCache, RefusesWhatCannotBeCached) {
    TempFolder tmp;
    MessageCache closed;
    EXPECT_FALSE(closed.add(messageFrom("Subject: x\r\n\r\n"), "u")) << "not open";
    MessageCache cache;
    ASSERT_TRUE(cache.open(tmp.path(), "jane", "mail.example.org"));
    EXPECT_FALSE(cache.add(MailMessage(), "u")) << "empty message";
    EXPECT_FALSE(cache.add(messageFrom("Subject: x\r\n\r\n"), "")) << "no UID";
    EXPECT_EQ(cache.size(), 0u);
}

TEST(MessageCache, ReadsADamagedIndexAsFarAsItIsSound) {
    TempFolder tmp;
    const std::string folder = "cache/fa6cba92@ab698299/";
    tmp.write(folder + "1.eml", "Subject: one\r\n\r\n");
    tmp.write("secret.eml", "Subject: outside\r\n\r\n");
    const std::string one = "Subject: one\r\n\r\n";
    std::string index = std::string(MessageCache::kIndexMark) + checkedRecord("u1", "1.eml", one) +
                        checkedRecord("escape", "../../secret.eml", one) + checkedRecord("dots", "..", one) +
                        checkedRecord("missing", "2.eml", one);
    index += record("cut", "3.eml").substr(0, 9); // length says 3 bytes of UID, fewer follow
    tmp.write(folder + "cache.corvanthelix.dat", index);

    MessageCache cache;
    ASSERT_TRUE(cache.open(tmp.path(), "jane", "mail.example.org"));
    EXPECT_EQ(cache.size(), 2u);
    MailMessage message;
    EXPECT_TRUE(cache.get("u1", message));
    EXPECT_FALSE(cache.get("escape", message)) << "a name leading out of the folder is ignored";
    EXPECT_FALSE(cache.get("missing", message)) << "listed, but its file is gone";
    EXPECT_FALSE(cache.get("cut", message));
}

TEST(MessageCache, CopiesThatDoNotMatchTheirCheckAreDroppedNotDelivered) {
    TempFolder tmp;
    const std::string text = "Subject: long\r\n\r\n" + std::string(2000, 'x') + "\r\nend\r\n";
    std::string folder;
    {
        MessageCache cache;
        ASSERT_TRUE(cache.open(tmp.path(), "jane", "mail.example.org"));
        for (const char* uid : {"cut", "flipped", "intact"}) ASSERT_TRUE(cache.add(messageFrom(text), uid));
        ASSERT_TRUE(cache.saveIndex());
        folder = cache.folder();
        const std::string cut = folder + cache.fileNameOf("cut");
        tmp.write(cut.substr(tmp.path().size() + 1), text.substr(0, 900));
        std::string flipped = text;
        flipped[100] = 'y';
        tmp.write((folder + cache.fileNameOf("flipped")).substr(tmp.path().size() + 1), flipped);
    }
    MessageCache cache;
    ASSERT_TRUE(cache.open(tmp.path(), "jane", "mail.example.org"));
    MailMessage message;
    EXPECT_TRUE(cache.get("intact", message));
    EXPECT_EQ(message.source(), text);
    for (const char* uid : {"cut", "flipped"}) {
        const std::string path = folder + cache.fileNameOf(uid);
        EXPECT_FALSE(cache.get(uid, message)) << uid;
        EXPECT_FALSE(exists(path)) << uid << ": the bad copy is deleted";
        EXPECT_EQ(cache.fileNameOf(uid), "") << uid;
    }
    EXPECT_EQ(cache.size(), 1u);

    // An index of an older version has no checks: its copies are not trusted.
    tmp.write((folder + "9.eml").substr(tmp.path().size() + 1), text);
    tmp.write((folder + MessageCache::kIndexFileName).substr(tmp.path().size() + 1), record("old", "9.eml"));
    MessageCache old;
    ASSERT_TRUE(old.open(tmp.path(), "jane", "mail.example.org"));
    EXPECT_EQ(old.size(), 1u);
    EXPECT_FALSE(old.get("old", message));
}

TEST(MessageCache, ClearRemovesTheAccountFolderAndLeavesTheCacheUsable) {
    TempFolder tmp;
    MessageCache cache;
    ASSERT_TRUE(cache.open(tmp.path(), "jane", "mail.example.org"));
    ASSERT_TRUE(cache.add(messageFrom("Subject: A\r\n\r\na\r\n"), "a"));
    ASSERT_TRUE(cache.saveIndex());
    // A file written while the index could not be saved.
    tmp.write("cache/fa6cba92@ab698299/deadbeef.eml", "orphan");
    MessageCache neighbour;
    ASSERT_TRUE(neighbour.open(tmp.path(), "john", "mail.example.org"));
    ASSERT_TRUE(neighbour.add(messageFrom("Subject: N\r\n\r\n"), "n"));

    cache.clear();
    EXPECT_FALSE(exists(tmp.file("cache/fa6cba92@ab698299")));
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_TRUE(exists(neighbour.folder() + neighbour.fileNameOf("n"))) << "other accounts stay";

    ASSERT_TRUE(cache.add(messageFrom("Subject: B\r\n\r\n"), "b")) << "usable after clear";
    ASSERT_TRUE(cache.saveIndex());
    MessageCache reopened;
    ASSERT_TRUE(reopened.open(tmp.path(), "jane", "mail.example.org"));
    MailMessage b;
    EXPECT_TRUE(reopened.get("b", b));
    EXPECT_FALSE(reopened.get("a", b));
}
