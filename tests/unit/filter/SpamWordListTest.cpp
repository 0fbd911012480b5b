// The spam words as the options page lists and edits them.
#include "filter/SpamWordList.h"

#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;

namespace {

struct Files {
    TempFolder folder;
    std::string user = folder.path() + "/spampoints_user.ini";
    std::string predefined = folder.path() + "/spampoints.ini";
    SpamWordList list{user, predefined};
    Files() {
        std::ofstream(user) << "[PROBABILITIES]\nmy word=40\nVIAGRA=0\n";
        std::ofstream(predefined) << "[PROBABILITIES]\nviagra=90\nfree money=70\n";
    }
};

std::string shown(const std::vector<SpamWordRow>& rows) {
    std::string text;
    for (const SpamWordRow& r : rows) text += r.word + "=" + std::to_string(r.percent) + (r.predefined ? "p " : " ");
    return text;
}

} // namespace

TEST(SpamWordList, UserWordsThenPredefinedOnesWithTheUsersPercent) {
    Files f;
    EXPECT_EQ(shown(f.list.rows(true)), "my word=40 viagra=0p free money=70p ");
    EXPECT_EQ(shown(f.list.rows(false)), "my word=40 ");
}

TEST(SpamWordList, TheDialogsChecks) {
    Files f;
    struct Case {
        std::string word, percent;
        bool adding;
        SpamWordCheck check;
    } cases[] = {
        {"casino", "100", true, SpamWordCheck::Valid},
        {"casino", "0", true, SpamWordCheck::Valid},
        {"", "50", true, SpamWordCheck::MissingWord},
        {"casino", "", true, SpamWordCheck::PercentInvalid},
        {"casino", "101", true, SpamWordCheck::PercentInvalid},
        {"casino", "-1", true, SpamWordCheck::PercentInvalid},
        {"casino", "5x", true, SpamWordCheck::PercentInvalid},
        {"FREE MONEY", "50", true, SpamWordCheck::AlreadyListed},
        {"My Word", "50", true, SpamWordCheck::AlreadyListed},
        {"my word", "50", false, SpamWordCheck::Valid}, // editing keeps the expression
    };
    for (const Case& c : cases) EXPECT_EQ(f.list.check(c.word, c.percent, c.adding), c.check) << c.word << "|" << c.percent;
}

TEST(SpamWordList, WritesAndDeletesOnlyTheUsersFile) {
    Files f;
    EXPECT_TRUE(f.list.write("casino", 80));
    EXPECT_TRUE(f.list.write("free money", 0));
    EXPECT_EQ(shown(f.list.rows(true)), "my word=40 casino=80 viagra=0p free money=0p ");
    EXPECT_EQ(f.list.remove("Free Money"), SpamWordDelete::Predefined);
    EXPECT_EQ(f.list.remove("casino"), SpamWordDelete::Deleted);
    EXPECT_EQ(shown(f.list.rows(true)), "my word=40 viagra=0p free money=0p ");
    std::ifstream shipped(f.predefined);
    std::string text((std::istreambuf_iterator<char>(shipped)), {});
    EXPECT_EQ(text, "[PROBABILITIES]\nviagra=90\nfree money=70\n");
}
