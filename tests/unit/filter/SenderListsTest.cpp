#include "filter/SenderLists.h"

#include "base/Application.h"
#include "base/IniFile.h"
#include "upstream/MailMessage.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;

namespace {

// A program folder of its own whose settings file holds the given SENDERS lines.
class SenderListsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Application::instance().setProgramFolder(tmp.path()));
        IniFile::clearCache();
    }
    void senders(const std::vector<std::string>& lines) {
        std::string text = "[CORVANTHELIX]\nEnable=1\n[SENDERS]\n";
        for (const std::string& line : lines) text += line + "\n";
        text += "[STATS]\nDays=\n";
        tmp.write("corvanthelix.ini", text);
    }
    static MailMessage message(const std::string& headers) {
        MailMessage m;
        m.parse(headers + "Subject: hello\r\n\r\nbody\r\n");
        return m;
    }

    TempFolder tmp;
    SenderLists lists;
};

std::string describe(bool found, const SenderEntry& e) {
    if (!found) return "not found";
    return e.address + "|" + e.name + "|" + std::to_string(e.list);
}

} // namespace

TEST_F(SenderListsTest, FindByAddressPrefersTheExactKeyAndFriendsOverBlockedPatterns) {
    struct Case {
        const char* name;
        std::vector<std::string> lines;
        const char* address;
        const char* expected;
    } cases[] = {
        {"domain friend, later exact blocked", {"*@example.com=Example,2", "spam@example.com=Spammer,1"},
         "spam@example.com", "spam@example.com|Spammer|1"},
        {"exact blocked before the domain friend still wins", {"spam@example.com=Spammer,1", "*@example.com=Example,2"},
         "spam@example.com", "spam@example.com|Spammer|1"},
        {"other addresses of the domain stay friends", {"*@example.com=Example,2", "spam@example.com=Spammer,1"},
         "anna@example.com", "*@example.com|Example|2"},
        {"a blocked pattern does not override an earlier friend pattern", {"*@example.com=Example,2", "*example*=Any,1"},
         "bob@example.com", "*@example.com|Example|2"},
        {"a friend pattern overrides an earlier blocked pattern", {"*example*=Any,1", "*@example.com=Example,2"},
         "bob@example.com", "*@example.com|Example|2"},
        {"the first of two blocked patterns stays", {"*.com=Com,1", "*@example.com=Example,1"},
         "bob@example.com", "*.com|Com|1"},
        {"a later copy of the exact key replaces an earlier one", {"bob@example.com=Old,1", "BOB@example.com=New,2"},
         "bob@example.com", "BOB@example.com|New|2"},
        {"keys compare without regard to ASCII case", {"Bob@Example.COM=Bob,2"}, "bob@example.com",
         "Bob@Example.COM|Bob|2"},
        {"question mark takes one character", {"bob?@example.com=Bobs,1"}, "bob7@example.com",
         "bob?@example.com|Bobs|1"},
        {"no key matches", {"*@example.com=Example,2", "x@y.org=X,1"}, "bob@example.net", "not found"},
        {"a line with another list number decides nothing", {"bob@example.com=Broken,7", "*@example.com=Example,1"},
         "bob@example.com", "*@example.com|Example|1"},
        {"a display name may hold commas", {"bob@example.com=Doe, Bob,2"}, "bob@example.com",
         "bob@example.com|Doe, Bob|2"},
        {"empty section", {}, "bob@example.com", "not found"},
    };
    for (const Case& c : cases) {
        senders(c.lines);
        SenderEntry entry;
        bool found = lists.findByAddress(c.address, entry);
        EXPECT_EQ(describe(found, entry), c.expected) << c.name;
    }
}

TEST_F(SenderListsTest, MissingFileOrSectionFindsNothingAndListsNothing) {
    SenderEntry entry;
    EXPECT_FALSE(lists.findByAddress("bob@example.com", entry)) << "no settings file";
    tmp.write("corvanthelix.ini", "[CORVANTHELIX]\nEnable=1\n");
    EXPECT_FALSE(lists.findByAddress("bob@example.com", entry)) << "no SENDERS section";
    int calls = 0;
    lists.forEach([&](const SenderEntry&) { return ++calls; });
    EXPECT_EQ(calls, 0);
}

TEST(SenderListsWildcard, MatchesTheWholeAddressWithBacktracking) {
    struct Case {
        const char* pattern;
        const char* address;
        bool matches;
    } cases[] = {
        {"*@example.com", "bob@example.com", true},
        {"*@example.com", "bob@example.com.evil.org", false},
        {"*@example.com", "bob@sub.example.com", false},
        {"*example.com", "bob@sub.example.com", true},
        {"a*b*c", "aXbYbZc", true},  // the first "*" must give back what it took
        {"a*b*c", "aXbYbZ", false},
        {"*a*a*a*b", "aaaaaaaaaaaaaaaaaaaa", false},
        {"*a", "aaa", true},
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"?", "", false},
        {"*", "", true},
        {"**", "x", true},
        {"", "", true},
        {"", "x", false},
        {"BOB@EXAMPLE.COM", "bob@example.com", true},
        {"\xE4*", "\xC4x", false},  // only ASCII letters are folded
        {"bob@example.com", "bob@example.co", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SenderLists::wildcardMatch(c.pattern, c.address), c.matches) << c.pattern << " ~ " << c.address;
}

TEST_F(SenderListsTest, SenderOfSplitsNameAndAddress) {
    struct Case {
        const char* from;
        const char* name;
        const char* address;
    } cases[] = {
        {"<only@example.com>", "only@example.com", "only@example.com"},
        {"John Doe <john@example.com>", "John Doe", "john@example.com"},
        {"\"Doe, John\" <john@example.com>", "Doe, John", "john@example.com"},
        {"John (Sales) Doe <john@example.com>", "John (Sales) Doe", "john@example.com"},
        {"john@example.com (John Doe)", "John Doe", "john@example.com"},
        {"john@example.com", "john@example.com", "john@example.com"},
        {"John <john@example.com> (work)", "John", "john@example.com"},
        {"\"<b>Sale</b>\" <deals@example.com>", "<b>Sale</b>", "deals@example.com"},
        {"=?ISO-8859-1?Q?J=F6rg?= <joerg@example.com>", "J\xF6rg", "joerg@example.com"},
    };
    for (const Case& c : cases) {
        MailMessage m = message(std::string("From: ") + c.from + "\r\n");
        SenderEntry sender;
        ASSERT_TRUE(SenderLists::senderOf(m, sender)) << c.from;
        EXPECT_EQ(sender.name, c.name) << c.from;
        EXPECT_EQ(sender.address, c.address) << c.from;
        EXPECT_EQ(sender.list, SenderEntry::kNotFound);
    }
    SenderEntry sender;
    EXPECT_FALSE(SenderLists::senderOf(message("To: bob@example.com\r\n"), sender)) << "no From header";
    EXPECT_FALSE(SenderLists::senderOf(message("From:  \r\n"), sender)) << "blank From header";
}

TEST_F(SenderListsTest, FindCarriesTheMessageDateOrNow) {
    senders({"*@example.com=Example,2"});
    SenderEntry entry;
    ASSERT_TRUE(lists.find(message("From: Bob <bob@example.com>\r\nDate: Tue, 7 Jan 2003 13:05:00 +0000\r\n"), entry));
    EXPECT_EQ(describe(true, entry), "*@example.com|Example|2");
    EXPECT_EQ(entry.date.year, 2003);
    EXPECT_EQ(entry.date.month, 1);

    ASSERT_FALSE(lists.find(message("From: Eve <eve@example.org>\r\n"), entry));
    EXPECT_EQ(entry.address, "eve@example.org") << "the sender is kept when nothing matches";
    EXPECT_EQ(entry.list, SenderEntry::kNotFound);
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    EXPECT_EQ(entry.date.year, local.tm_year + 1900) << "a message without a date carries today";
}

TEST_F(SenderListsTest, FindInUsesOneReadingOfTheSection) {
    senders({"*@example.com=Example,1"});
    std::string text = lists.readSection();
    senders({});
    SenderEntry entry;
    EXPECT_TRUE(SenderLists::findIn(text, message("From: a@example.com\r\n"), entry));
    EXPECT_EQ(entry.list, SenderEntry::kBlocked);
    EXPECT_FALSE(lists.find(message("From: a@example.com\r\n"), entry)) << "the file itself has changed";
}

TEST_F(SenderListsTest, AddRefusesUnsafeOrAllMatchingEntries) {
    struct Case {
        const char* why;
        std::string key;
        std::string name;
        int list;
        bool accepted;
    } cases[] = {
        {"plain address", "bob@example.com", "Bob", 2, true},
        {"pattern", "*@example.com", "Example", 1, true},
        {"Latin-1 letters", "j\xF6rg@example.com", "J\xF6rg \xC4\xDF", 2, true},
        {"backquote in the key", "bo`b@example.com", "Bob", 1, false},
        {"backquote in the name", "bob@example.com", "B`ob", 1, false},
        {"every sender: *.*", "*.*", "All", 1, false},
        {"every sender: *", "*", "All", 1, false},
        {"every sender: *@*", "*@*", "All", 1, false},
        {"wildcards that are not refused", "*@*.*", "Most", 1, true},
        {"empty key", "", "Bob", 1, false},
        {"empty name", "bob@example.com", "", 1, false},
        {"control character", "bob@example.com", "Bob\tTab", 1, false},
        {"line break", "bob@example.com\nx=y", "Bob", 1, false},
        {"byte outside the set (0xE3)", "bob@example.com", "\xE3", 1, false},
        {"sign of multiplication (0xD7)", "bob@example.com", "a\xD7" "b", 1, false},
        {"UTF-8 text", "bob@example.com", "J\xC3\xB6rg", 1, false},
        {"no such list", "bob@example.com", "Bob", 3, false},
        {"key that breaks the file", "a=b@example.com", "Bob", 1, false},
    };
    for (const Case& c : cases) {
        senders({});
        SenderEntry entry;
        entry.address = c.key;
        entry.name = c.name;
        entry.list = c.list;
        EXPECT_EQ(lists.add(entry), c.accepted) << c.why;
        SenderEntry found;
        EXPECT_EQ(lists.findByAddress(c.key, found) && found.address == c.key, c.accepted) << c.why;
    }
}

TEST_F(SenderListsTest, AddOverwritesRemoveDeletesForEachWalksInFileOrder) {
    senders({"first@example.com=First,1"});
    SenderEntry entry;
    entry.name = "Doe, Jane";
    entry.address = "jane@example.com";
    entry.list = SenderEntry::kBlocked;
    ASSERT_TRUE(lists.add(entry));
    entry.list = SenderEntry::kFriend; // moves her to the friends
    ASSERT_TRUE(lists.add(entry));
    entry = {"Third", "*@third.org", SenderEntry::kBlocked, {}};
    ASSERT_TRUE(lists.add(entry));

    std::vector<std::string> seen;
    lists.forEach([&](const SenderEntry& e) {
        seen.push_back(describe(true, e));
        return 1;
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"first@example.com|First|1", "jane@example.com|Doe, Jane|2",
                                              "*@third.org|Third|1"}));

    seen.clear();
    lists.forEach([&](const SenderEntry& e) {
        seen.push_back(e.address);
        return seen.size() < 2 ? 1 : 0;
    });
    EXPECT_EQ(seen.size(), 2u) << "a callback answering 0 ends the walk";

    ASSERT_TRUE(lists.remove("JANE@example.com"));
    SenderEntry found;
    EXPECT_FALSE(lists.findByAddress("jane@example.com", found));
    EXPECT_TRUE(lists.findByAddress("first@example.com", found));
}

TEST(SenderListsValue, NameBeforeTheLastCommaListAfterIt) {
    struct Case {
        const char* value;
        const char* name;
        int list;
    } cases[] = {
        {"Bob,2", "Bob", 2}, {"Doe, Bob,1", "Doe, Bob", 1}, {"Bob", "Bob", 0},
        {"Bob, 2", "Bob", 2}, {",1", "", 1}, {"Bob,x", "Bob", 0}, {"Bob,-1", "Bob", -1},
    };
    for (const Case& c : cases) {
        std::string name;
        int list = 99;
        SenderLists::parseValue(c.value, name, list);
        EXPECT_EQ(name, c.name) << c.value;
        EXPECT_EQ(list, c.list) << c.value;
    }
}
