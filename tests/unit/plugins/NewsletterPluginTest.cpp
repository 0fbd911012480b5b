#include "base/Settings.h"
#include "newsletter/RecipientList.h"
#include "tests/fakes/PluginFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <vector>

using namespace corvanthelix;
using namespace corvanthelix::testing;

namespace {

constexpr const char* kLibrary = "newsletter.so";

std::string message(const std::string& headers) {
    return "From: news@example.org\r\n" + headers + "\r\nMIME-Version: 1.0\r\n\r\nThis week's news.\r\n";
}

// recipients.dat: per entry the name and the address, each ending in a NUL.
std::string recipients(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string bytes;
    for (const auto& [name, address] : entries) {
        bytes += name;
        bytes.push_back('\0');
        bytes += address;
        bytes.push_back('\0');
    }
    return bytes;
}

class NewsletterPluginTest : public PluginFixture {
protected:
    NewsletterPluginTest() : PluginFixture(kLibrary) {}

    // Lists one signature and one newsgroup address, then loads the plug-in.
    PluginRecord* loadWithLists() {
        program.write("plugins/newsletter/signatures.dat", "[Weekly-Digest]\n");
        program.write("plugins/newsletter/recipients.dat", recipients({{"The List", "List@News.example"}}));
        return load();
    }

    // Runs the plug-in over `source` as message `number` of the running mail check.
    int judge(PluginRecord* record, const std::string& source, int number = 2) {
        session.sources[number] = source;
        MailMessage parsed = parse(source);
        FilterVerdict verdict;
        int answer = manager().pluginVerdict(record, number, &parsed, verdict);
        EXPECT_EQ(verdict.probability, 0.0);
        return answer;
    }

    // Stores the plug-in's setting as the host keeps it; null removes it.
    static void setSetting(const char* key, const char* value) {
        ASSERT_TRUE(settings::setPluginSetting(kLibrary, key, value));
    }
};

TEST_F(NewsletterPluginTest, DescribesItselfAndAsksToRunFirstAndToSeeDeliveredParts) {
    PluginRecord* record = load();
    ASSERT_NE(record, nullptr);
    const PluginInfo& info = *record->info;
    EXPECT_EQ(record->name(), "Newsletter Plugin");
    EXPECT_EQ(info.version, 65536u);
    EXPECT_EQ(info.neededHostVersion, 2312u);
    EXPECT_STREQ(info.description, "Define newsletters that will never be treated as Spam.");
    EXPECT_NE(info.partFilter, nullptr);
    EXPECT_EQ(info.textFilter, nullptr);
    EXPECT_EQ(info.plainTextFilter, nullptr);
    EXPECT_EQ(info.sourceFilter, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(manager().sendService(*record, CVX_SERVICE_NAME, 0, 0)),
                 "Newsletter Plugin");
    EXPECT_TRUE(manager().asksToRunFirst(record));
    EXPECT_EQ(manager().sendService(*record, CVX_SERVICE_DELIVERY_MODE, 0, 0), CVX_DELIVERY_PARTS);
    EXPECT_EQ(manager().sendService(*record, CVX_SERVICE_LEARNED, 0, reinterpret_cast<intptr_t>("x")), 0);

    struct stat st {};
    ASSERT_EQ(stat(pluginFile("newsletter").c_str(), &st), 0) << "the data folder is made when it is loaded";
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(NewsletterPluginTest, AMatchingSubjectOrFirstRecipientMakesANewsletter) {
    PluginRecord* record = loadWithLists();
    ASSERT_NE(record, nullptr);
    struct Case {
        const char* name;
        std::string headers;
        int answer;
    } cases[] = {
        {"signature in other case", "Subject: [weekly-DIGEST] issue 7\r\nTo: me@home.example", 1},
        {"signature inside a Q encoded word",
         "Subject: =?utf-8?Q?=5BWeekly-Digest=5D_Ausgabe_7?=\r\nTo: me@home.example", 1},
        {"signature inside a base64 encoded word",
         "Subject: =?utf-8?B?W1dlZWtseS1EaWdlc3RdIEF1c2dhYmUgNw==?=\r\nTo: me@home.example", 1},
        {"no signature", "Subject: Weekly digest\r\nTo: me@home.example", 0},
        {"address in angle brackets, other case", "Subject: hello\r\nTo: \"Readers\" <list@news.EXAMPLE>", 1},
        {"bare address with a comment", "Subject: hello\r\nTo: list@news.example (The List)", 1},
        {"bare address", "Subject: hello\r\nTo:   list@news.example\t", 1},
        {"several recipients: the first in brackets counts",
         "Subject: hello\r\nTo: List <list@news.example>, Me <me@home.example>", 1},
        {"several recipients: a later one does not count",
         "Subject: hello\r\nTo: Me <me@home.example>, List <list@news.example>", 0},
        {"several bare recipients are not one address", "Subject: hello\r\nTo: list@news.example, me@home.example", 0},
        {"the list address as copy recipient", "Subject: hello\r\nTo: me@home.example\r\nCc: list@news.example", 0},
        {"the list address as sender", "Subject: hello\r\nTo: me@home.example\r\nReply-To: list@news.example", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(judge(record, message(c.headers)), c.answer);
    }
}

TEST_F(NewsletterPluginTest, NoTrainingAndAutoLearnDecideWhatTheHostIsTold) {
    PluginRecord* record = loadWithLists();
    ASSERT_NE(record, nullptr);
    std::string newsletter = message("Subject: [Weekly-Digest] issue 8\r\nTo: me@home.example");
    std::string other = message("Subject: lunch?\r\nTo: me@home.example");
    struct Case {
        const char* noTraining; // null: not stored
        const char* autoLearn;
        bool handled;
        bool learned;
        int afterDelivery;
    } cases[] = {
        {nullptr, nullptr, true, false, 0x10},  // the defaults: handled, not learned
        {"0", nullptr, false, false, 0},
        {"0", "1", false, false, 0},            // learning needs NoTraining
        {"1", "0", true, false, 0x10},
        {"1", "1", true, true, 0x110},
        {"1", "yes", true, false, 0x10},        // only a text beginning with "1" is on
        {"10", "1", true, true, 0x110},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.noTraining ? c.noTraining : "-") + "/" + (c.autoLearn ? c.autoLearn : "-"));
        setSetting("NoTraining", c.noTraining);
        setSetting("AutoLearn", c.autoLearn);
        session.handled.clear();
        learning.requests.clear();

        EXPECT_EQ(judge(record, newsletter, 4), 1) << "a newsletter is non-spam whatever the settings";
        EXPECT_EQ(session.handled, c.handled ? std::vector<int>{4} : std::vector<int>{});
        ASSERT_EQ(learning.requests.size(), c.learned ? 1u : 0u);
        if (c.learned) {
            EXPECT_EQ(learning.requests[0].source, newsletter);
            EXPECT_FALSE(learning.requests[0].asSpam);
        }
        EXPECT_EQ(manager().afterDelivery(parse(newsletter)), c.afterDelivery);

        session.handled.clear();
        EXPECT_EQ(judge(record, other, 5), 0);
        EXPECT_TRUE(session.handled.empty());
        EXPECT_EQ(manager().afterDelivery(parse(other)), 0);
    }
}

TEST_F(NewsletterPluginTest, ReadsItsListsAsStoredAndSkipsBrokenEntries) {
    // A signature longer than a line holds is cut; its rest must not become a signature of its own
    // (here "e", which nearly every subject contains).
    program.write("plugins/newsletter/signatures.dat", "\r\n" + std::string(254, 'q') + "e\r\nACME News\r\n");
    program.write("plugins/newsletter/recipients.dat",
                  recipients({{"", "nameless@lists.example"}, {"No address", ""}, {"Club", "club@lists.example"}}) +
                      "Cut off\0half@lists.example");
    PluginRecord* record = load();
    ASSERT_NE(record, nullptr);
    struct Case {
        const char* headers;
        int answer;
    } cases[] = {
        {"Subject: Hello there\r\nTo: me@home.example", 0},
        {"Subject: acme news: spring\r\nTo: me@home.example", 1},
        {"Subject: hello\r\nTo: club@lists.example", 1},
        {"Subject: hello\r\nTo: nameless@lists.example", 0},
        {"Subject: hello\r\nTo: <>", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.headers);
        EXPECT_EQ(judge(record, message(c.headers)), c.answer);
    }
}

TEST(RecipientList, SavesTheEntriesFromTheHeadAsNameAndAddressStrings) {
    TempFolder folder;
    std::string path = folder.file("recipients.dat");
    newsletter::RecipientList list;
    using Result = newsletter::RecipientList::AddResult;
    EXPECT_EQ(list.Add("Group A", "a@lists.example"), Result::Added);
    EXPECT_EQ(list.Add("Group B", "b@lists.example"), Result::Added);
    EXPECT_EQ(list.Add("Again", "A@LISTS.example"), Result::Duplicate);
    EXPECT_EQ(list.Add("", "c@lists.example"), Result::Empty);
    EXPECT_EQ(list.Add("Group C", ""), Result::Empty);
    ASSERT_TRUE(list.Save(path));
    EXPECT_EQ(TempFolder::read(path), recipients({{"Group B", "b@lists.example"}, {"Group A", "a@lists.example"}}));

    newsletter::RecipientList read;
    ASSERT_TRUE(read.Load(path));
    std::vector<std::string> names;
    for (const newsletter::Recipient& entry : read.Entries()) names.push_back(entry.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Group A", "Group B"})) << "read entries go to the head";
    EXPECT_TRUE(read.Contains("b@LISTS.example"));
    EXPECT_TRUE(read.Remove("B@lists.example"));
    EXPECT_FALSE(read.Contains("b@lists.example"));
}

} // namespace
