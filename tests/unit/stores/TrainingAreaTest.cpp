#include "stores/TrainingArea.h"

#include "base/Application.h"
#include "base/AtomicFile.h"
#include "base/IniFile.h"
#include "base/Settings.h"
#include "base/Crc32.h"
#include "filter/FilterChain.h"
#include "filter/FilterManager.h"
#include "filter/LearningFilter.h"
#include "upstream/MailMessage.h"
#include "filter/PluginManager.h"
#include "base/TextUtils.h"
#include "filter/WordTable.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <dlfcn.h>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;
namespace fs = std::filesystem;

namespace {

// The test plug-in that records the last learn notice (service 5) in its setting "Learned" as
// "spam:<length>" or "ham:<length>" and can ask the host for services.
constexpr const char* kServices = "services.so";

/// A Date header value for local noon `daysAgo` days before today, with the local zone offset.
std::string LocalDateDaysAgo(int daysAgo) {
    std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    local.tm_mday -= daysAgo;
    local.tm_hour = 12;
    local.tm_min = 34;
    local.tm_sec = 0;
    local.tm_isdst = -1;
    std::time_t then = std::mktime(&local);
    localtime_r(&then, &local);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S %z", &local);
    return text;
}

std::string messageText(const std::string& body, const std::string& date = {},
                        const std::string& subject = "Hello there") {
    std::string text = "From: \"Ann Example\" <ann@example.com>\r\nTo: bob@example.com\r\n";
    if (!subject.empty()) text += "Subject: " + subject + "\r\n";
    if (!date.empty()) text += "Date: " + date + "\r\n";
    return text + "\r\n" + body + "\r\n";
}

MailMessage Message(const std::string& text) {
    MailMessage message;
    message.parse(text);
    return message;
}

/// What the test plug-in records when it is told that `text` was learned.
std::string Notice(const std::string& text, bool isSpam) {
    return (isSpam ? "spam:" : "ham:") + std::to_string(text.size());
}

class TrainingAreaTest : public ::testing::Test {
protected:
    // The program's wiring: the filter manager loads the plug-ins of the program folder through
    // the plug-in manager, which holds the test plug-in.
    void SetUp() override {
        TrainingArea::destroyInstance();
        FilterManager::destroyInstance();
        FilterChain::destroyInstance();
        PluginManager::destroyInstance();
        ASSERT_TRUE(Application::instance().setProgramFolder(tmp.path()));
        IniFile::clearCache();
        std::string plugin;
        ASSERT_TRUE(readWholeFile(std::string(CORVANTHELIX_TEST_PLUGIN_DIR) + "/" + kServices, plugin));
        ASSERT_TRUE(ensureFolder(tmp.file("plugins")));
        ASSERT_TRUE(replaceFileAtomically(tmp.file(std::string("plugins/") + kServices), plugin, false, 0700));
        installChainPluginHost(&PluginManager::chainHost);
    }
    void TearDown() override {
        TrainingArea::destroyInstance();
        FilterManager::destroyInstance();
        FilterChain::destroyInstance();
        PluginManager::destroyInstance();
        installChainPluginHost(nullptr);
    }

    /// The last learn notice the test plug-in received ("" for none since the last ForgetNotice).
    static std::string LastNotice() { return QuotedPrintableDecode(settings::pluginSetting(kServices, "Learned")); }
    static void ForgetNotice() { settings::setPluginSetting(kServices, "Learned", ""); }

    /// Asks the host for a service as the loaded test plug-in does.
    intptr_t AskAsPlugin(uint32_t code, uint16_t argument, const char* data) {
        void* handle = dlopen(tmp.file(std::string("plugins/") + kServices).c_str(), RTLD_NOW | RTLD_NOLOAD);
        EXPECT_NE(handle, nullptr) << "the test plug-in is loaded";
        if (!handle) return -100;
        auto ask = reinterpret_cast<intptr_t (*)(uint32_t, uint16_t, intptr_t)>(dlsym(handle, "cvx_test_ask"));
        intptr_t answer = ask ? ask(code, argument, reinterpret_cast<intptr_t>(data)) : -100;
        dlclose(handle);
        return answer;
    }

    std::string settingsFile() const { return tmp.file("corvanthelix.ini"); }
    TrainingArea::Options Options() const { return {settingsFile()}; }
    std::string TrainingFile(const std::string& name) const { return tmp.file("training/" + name); }
    std::string Index() const { return TempFolder::read(TrainingFile("training.xml")); }

    /// Writes an index of `entries` (attribute text of each "message" line) before a store loads it.
    void WriteIndex(const std::vector<std::string>& entries) const {
        std::string text(XmlDocument::kHeader);
        text += "<training>\n";
        for (const std::string& entry : entries) text += "<message " + entry + "/>\n";
        text += "</training>\n";
        tmp.write("training/training.xml", text);
    }

    /// The learning filter's tables as they are on disk.
    std::unique_ptr<LearningFilter> SavedTables() const {
        auto tables = std::make_unique<LearningFilter>();
        tables->load(tmp.file("training"), 0);
        return tables;
    }

    TempFolder tmp;
};

TEST_F(TrainingAreaTest, AddMessageWritesTheFileAndAnEntryThatAFreshStoreReadsBack) {
    const std::string text =
        messageText("Cheap pills here", LocalDateDaysAgo(1), "=?ISO-8859-1?Q?Gr=FC=DFe_und_mehr?=");
    const MailMessage message = Message(text);
    {
        TrainingArea area(tmp.path(), Options());
        ASSERT_TRUE(area.addMessage(message, TrainingArea::kVerdictSpam, "2460000_123456_1.recycle"));
    }
    char name[32];
    std::snprintf(name, sizeof name, "%x.eml", crc32(text));
    EXPECT_EQ(trainingFileName(text), name);
    EXPECT_EQ(TempFolder::read(TrainingFile(name)), text);

    const std::string index = Index();
    EXPECT_NE(index.find("subject=\"Gr=FC=DFe_und_mehr\""), std::string::npos) << index;
    EXPECT_NE(index.find("sender=\"Ann_Example\""), std::string::npos) << index;
    EXPECT_NE(index.find("mail=\"ann=40example=2Ecom\""), std::string::npos) << index;

    struct stat st {};
    ASSERT_EQ(::stat(TrainingFile(name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(TrainingFile("training.xml").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(tmp.file("training").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    TrainingArea reread(tmp.path(), Options());
    TrainingEntry entry;
    ASSERT_TRUE(reread.getEntry(name, entry));
    EXPECT_EQ(entry.fileName, name);
    EXPECT_EQ(entry.senderName, "Ann Example");
    EXPECT_EQ(entry.senderAddress, "ann@example.com");
    EXPECT_EQ(entry.subject, "Gr\xFC\xDF" "e und mehr");
    EXPECT_EQ(entry.recycleFileName, "2460000_123456_1.recycle");
    EXPECT_EQ(entry.size, static_cast<long long>(text.size()));
    EXPECT_EQ(entry.verdict, TrainingArea::kVerdictSpam);
    EXPECT_EQ(entry.dayNumber, todayDayNumber() - 1);
    int year, month, day;
    dateFromDayNumber(todayDayNumber() - 1, year, month, day);
    EXPECT_EQ(entry.year, year);
    EXPECT_EQ(entry.month, month);
    EXPECT_EQ(entry.day, day);
    EXPECT_EQ(entry.hour, 12);
    EXPECT_EQ(entry.minute, 34);

    std::vector<TrainingEntry> entries;
    ASSERT_TRUE(reread.listEntries(entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].fileName, name);
}

TEST_F(TrainingAreaTest, TheSameMessageTwiceIsRefusedAndLeavesTheIndexUnchanged) {
    TrainingArea area(tmp.path(), Options());
    const MailMessage message = Message(messageText("once only"));
    ASSERT_TRUE(area.addMessage(message, TrainingArea::kVerdictNonSpam));
    const std::string before = Index();

    EXPECT_FALSE(area.addMessage(message, TrainingArea::kVerdictSpam, "other.recycle"));
    EXPECT_EQ(Index(), before);
    // A second store on the same folder refuses it as well.
    TrainingArea other(tmp.path(), Options());
    EXPECT_FALSE(other.addMessage(message, TrainingArea::kVerdictNonSpam));
    EXPECT_EQ(Index(), before);
}

TEST_F(TrainingAreaTest, WhatAddMessageRefuses) {
    TrainingArea area(tmp.path(), Options());
    EXPECT_FALSE(area.addMessage(MailMessage(), TrainingArea::kVerdictSpam)) << "empty message";
    EXPECT_FALSE(area.addMessage(Message(messageText("x")), 0)) << "no verdict";
    EXPECT_FALSE(area.addMessage(Message(messageText("x")), 3)) << "unknown verdict";
    std::vector<TrainingEntry> entries;
    ASSERT_TRUE(area.listEntries(entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_FALSE(fs::exists(TrainingFile(trainingFileName(messageText("x")))));
}

TEST_F(TrainingAreaTest, AddMessagesFilesAListAsAddMessageDoesOneByOne) {
    const std::string date = "Tue, 7 Jan 2003 13:05:00 +0000";
    const MailMessage first = Message(messageText("first", date, "one"));
    const MailMessage second = Message(messageText("second", date, ""));
    const MailMessage third = Message(messageText("third", date, "three"));
    const MailMessage there = Message(messageText("filed before", date));
    const MailMessage empty;
    std::vector<MailMessage> more;
    for (int i = 0; i < 12; ++i) more.push_back(Message(messageText("more " + std::to_string(i), date)));
    const std::vector<TrainingArea::NewMessage> shortList = {
        {&first, TrainingArea::kVerdictSpam, "/home/u/recycle/a.recycle"},
        {&there, TrainingArea::kVerdictSpam, ""},       // an entry exists already
        {&second, TrainingArea::kVerdictNonSpam, ""},
        {&first, TrainingArea::kVerdictNonSpam, ""},    // the same text again in the list
        {&third, 3, ""},                                // no such verdict
        {&empty, TrainingArea::kVerdictSpam, ""},
        {nullptr, TrainingArea::kVerdictSpam, ""},
        {&third, TrainingArea::kVerdictSpam, "c.recycle"},
    };
    // A short list has each file flushed, a long one the file system: both file the same.
    std::vector<TrainingArea::NewMessage> longList = shortList;
    for (const MailMessage& message : more) longList.push_back({&message, TrainingArea::kVerdictNonSpam, ""});
    const std::vector<TrainingArea::NewMessage>* lists[] = {&shortList, &longList};
    for (const auto* list : lists) {
        SCOPED_TRACE(list->size());
        // The same list through AddMessage in a folder of its own gives what the list must give.
        TempFolder single, batch;
        int expected = 0;
        {
            TrainingArea area(single.path(), Options());
            ASSERT_TRUE(area.addMessage(there, TrainingArea::kVerdictNonSpam));
            for (const auto& added : *list)
                expected += added.message && area.addMessage(*added.message, added.verdict, added.recycleFileName);
        }
        TrainingArea area(batch.path(), Options());
        ASSERT_TRUE(area.addMessage(there, TrainingArea::kVerdictNonSpam));
        EXPECT_EQ(area.addMessages(*list), expected);
        EXPECT_EQ(TempFolder::read(batch.file("training/training.xml")),
                  TempFolder::read(single.file("training/training.xml")));
        size_t files = 0;
        for (const auto& file : fs::directory_iterator(batch.file("training"))) {
            if (file.path().extension() != ".eml") continue;
            ++files;
            EXPECT_EQ(TempFolder::read(file.path().string()),
                      TempFolder::read(single.file("training/" + file.path().filename().string())));
        }
        EXPECT_EQ(files, size_t(expected) + 1) << "no file for a refused message";
    }
    EXPECT_EQ(shortList.size(), 8u) << "at most 8 messages have their files flushed one by one";
    TrainingArea area(tmp.path(), Options());
    EXPECT_EQ(area.addMessages({}), 0);
}

TEST_F(TrainingAreaTest, AddMessagesLeavesOutAFileItCannotWriteAndFilesNothingWhenTheIndexCannotBeWritten) {
    const MailMessage blocked = Message(messageText("its file name is taken by a folder"));
    const MailMessage fine = Message(messageText("fine"));
    fs::create_directories(TrainingFile(trainingFileName(blocked.source())));
    TrainingArea area(tmp.path(), Options());
    EXPECT_EQ(area.addMessages({{&blocked, TrainingArea::kVerdictSpam, ""}, {&fine, TrainingArea::kVerdictSpam, ""}}), 1);
    std::string name;
    EXPECT_FALSE(area.isInTrainingArea(blocked, name));
    EXPECT_TRUE(area.isInTrainingArea(fine, name));

    // The index is held; a folder in its place makes the replacement fail.
    const std::string before = Index();
    fs::remove(TrainingFile("training.xml"));
    fs::create_directories(TrainingFile("training.xml/in-the-way"));
    const MailMessage lost = Message(messageText("never filed"));
    const MailMessage lostToo = Message(messageText("never filed either"));
    EXPECT_EQ(area.addMessages({{&lost, TrainingArea::kVerdictSpam, ""}, {&lostToo, TrainingArea::kVerdictNonSpam, ""}}), 0);
    EXPECT_FALSE(fs::exists(TrainingFile(trainingFileName(lost.source())))) << "files of an unwritten index are deleted";
    EXPECT_FALSE(fs::exists(TrainingFile(trainingFileName(lostToo.source()))));
    EXPECT_TRUE(fs::exists(TrainingFile(trainingFileName(fine.source()))));

    // The held index was dropped: with the file back, the next use reads what is on disk.
    fs::remove_all(TrainingFile("training.xml"));
    tmp.write("training/training.xml", before);
    EXPECT_FALSE(area.isInTrainingArea(lost, name));
    EXPECT_TRUE(area.isInTrainingArea(fine, name));
}

TEST_F(TrainingAreaTest, RecycleBinNameIsKeptOnlyWhenGiven) {
    struct Case {
        const char* why;
        int verdict;
        const char* recycleName;
        const char* expected; // nullptr: no rbfn attribute
    };
    const Case cases[] = {
        {"spam that went to the bin", TrainingArea::kVerdictSpam, "2459000_101010_a.recycle", "2459000_101010_a.recycle"},
        {"a full path is cut to its name", TrainingArea::kVerdictSpam, "/home/u/recycle/b.recycle", "b.recycle"},
        {"non-spam has none", TrainingArea::kVerdictNonSpam, "", nullptr},
        {"spam kept on the server only", TrainingArea::kVerdictSpam, "", nullptr},
    };
    TrainingArea area(tmp.path(), Options());
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const std::string text = messageText("body " + std::to_string(n++));
        ASSERT_TRUE(area.addMessage(Message(text), c.verdict, c.recycleName));
        TrainingEntry entry;
        ASSERT_TRUE(area.getEntry(trainingFileName(text), entry));
        EXPECT_EQ(entry.verdict, c.verdict);
        EXPECT_EQ(entry.recycleFileName, c.expected ? c.expected : "");
        const std::string index = Index();
        size_t at = index.find("filename=\"" + trainingFileName(text) + "\"");
        ASSERT_NE(at, std::string::npos);
        size_t begin = index.rfind('\n', at), end = index.find('\n', at);
        const std::string line = index.substr(begin, end - begin);
        EXPECT_EQ(line.find(" rbfn=") != std::string::npos, c.expected != nullptr) << line;
    }
}

TEST_F(TrainingAreaTest, AnUndatedMessageIsDatedTodayAndSurvivesTheNextAgeing) {
    TrainingArea area(tmp.path(), Options());
    const std::string undated = messageText("no date at all");
    const std::string threeDaysOld = messageText("old news", LocalDateDaysAgo(3));
    ASSERT_TRUE(area.addMessage(Message(undated), TrainingArea::kVerdictNonSpam));
    ASSERT_TRUE(area.addMessage(Message(threeDaysOld), TrainingArea::kVerdictSpam));
    TrainingEntry entry;
    ASSERT_TRUE(area.getEntry(trainingFileName(undated), entry));
    EXPECT_EQ(entry.dayNumber, todayDayNumber());

    EXPECT_EQ(area.expireOld(3), 1);
    EXPECT_TRUE(area.getEntry(trainingFileName(undated), entry));
    EXPECT_TRUE(fs::exists(TrainingFile(trainingFileName(undated))));
    EXPECT_FALSE(area.getEntry(trainingFileName(threeDaysOld), entry));
    EXPECT_FALSE(fs::exists(TrainingFile(trainingFileName(threeDaysOld))));
}

TEST_F(TrainingAreaTest, ExpireOldRemovesEntriesOfMaxDaysAndOlderWithTheirFiles) {
    const int today = todayDayNumber();
    struct Case {
        const char* file;  // nullptr: entry without file name
        int daysAgo;       // -1: entry without date
        bool removed;
    };
    const Case cases[] = {
        {"a1.eml", 3, true},   {"a2.eml", 2, false}, {"a3.eml", 30, true}, {"a4.eml", 0, false},
        {"a5.eml", -1, false}, {nullptr, 40, false},
    };
    std::vector<std::string> entries;
    for (const Case& c : cases) {
        std::string attributes = "size=\"10\" block=\"1\"";
        if (c.file) {
            attributes += std::string(" filename=\"") + c.file + "\"";
            tmp.write(std::string("training/") + c.file, "x");
        }
        if (c.daysAgo >= 0) attributes += " date=\"" + std::to_string(today - c.daysAgo) + "\"";
        entries.push_back(attributes);
    }
    WriteIndex(entries);
    settings::setTrainingAreaDeleteOldMessagesLast(today - 1, settingsFile());

    TrainingArea area(tmp.path(), Options());
    EXPECT_EQ(area.expireOld(3), 2);
    EXPECT_EQ(settings::trainingAreaDeleteOldMessagesLast(settingsFile()), today);
    std::vector<TrainingEntry> left;
    ASSERT_TRUE(area.listEntries(left));
    EXPECT_EQ(left.size(), 4u);
    for (const Case& c : cases) {
        if (!c.file) continue;
        SCOPED_TRACE(c.file);
        TrainingEntry entry;
        EXPECT_EQ(area.getEntry(c.file, entry), !c.removed);
        EXPECT_EQ(fs::exists(TrainingFile(c.file)), !c.removed);
    }
}

TEST_F(TrainingAreaTest, ExpireOldRunsAtMostOncePerDay) {
    TrainingArea area(tmp.path(), Options());
    const std::string old = messageText("ancient", LocalDateDaysAgo(10));
    const std::string recent = messageText("yesterday's", LocalDateDaysAgo(1));
    ASSERT_TRUE(area.addMessage(Message(recent), TrainingArea::kVerdictSpam));

    EXPECT_EQ(area.expireOld(3), 0); // first run today: nothing old yet
    ASSERT_TRUE(area.addMessage(Message(old), TrainingArea::kVerdictSpam));
    // The same day again, even with a shorter maximum: nothing happens.
    EXPECT_EQ(area.expireOld(0), 0);
    TrainingEntry entry;
    EXPECT_TRUE(area.getEntry(trainingFileName(old), entry));
    EXPECT_TRUE(area.getEntry(trainingFileName(recent), entry));

    // A day already marked in the settings (another start today) counts as well.
    TrainingArea restarted(tmp.path(), Options());
    EXPECT_EQ(restarted.expireOld(3), 0);
    EXPECT_TRUE(restarted.getEntry(trainingFileName(old), entry));

    // The next day runs again.
    settings::setTrainingAreaDeleteOldMessagesLast(todayDayNumber() - 1, settingsFile());
    EXPECT_EQ(restarted.expireOld(3), 1);
    EXPECT_FALSE(restarted.getEntry(trainingFileName(old), entry));
}

TEST_F(TrainingAreaTest, IsInTrainingAreaFindsTheMessageByTextOrByBodyText) {
    const std::string added = messageText("filed by its text");
    const std::string byBody = messageText("filed by its body", "", "other subject");
    const MailMessage bodyMessage = Message(byBody);
    const std::string bodyName = trainingFileName(*bodyMessage.bodyText(true));
    WriteIndex({"filename=\"" + bodyName + "\" date=\"1\""});
    tmp.write("training/" + bodyName, byBody);

    TrainingArea area(tmp.path(), Options());
    ASSERT_TRUE(area.addMessage(Message(added), TrainingArea::kVerdictSpam));
    struct Case {
        const char* why;
        std::string text;
        bool found;
        std::string name;
    };
    const Case cases[] = {
        {"first candidate: the whole text", added, true, trainingFileName(added)},
        {"second candidate: the decoded body", byBody, true, bodyName},
        {"not there", messageText("never filed"), false, ""},
        {"one byte differs", added + " ", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::string name = "unchanged";
        EXPECT_EQ(area.isInTrainingArea(Message(c.text), name), c.found);
        EXPECT_EQ(name, c.found ? c.name : "unchanged");
    }
}

TEST_F(TrainingAreaTest, RemoveMessageDeletesEntryAndFileAndIgnoresUnknownNames) {
    TrainingArea area(tmp.path(), Options());
    const std::string keep = messageText("keep me"), drop = messageText("drop me");
    ASSERT_TRUE(area.addMessage(Message(keep), TrainingArea::kVerdictSpam));
    ASSERT_TRUE(area.addMessage(Message(drop), TrainingArea::kVerdictSpam));

    EXPECT_TRUE(area.removeMessage(trainingFileName(drop)));
    EXPECT_FALSE(fs::exists(TrainingFile(trainingFileName(drop))));
    EXPECT_EQ(Index().find(trainingFileName(drop)), std::string::npos);
    EXPECT_NE(Index().find(trainingFileName(keep)), std::string::npos);

    const std::string before = Index();
    EXPECT_FALSE(area.removeMessage(trainingFileName(drop)));
    EXPECT_FALSE(area.removeMessage("nothing.eml"));
    EXPECT_EQ(Index(), before);
    EXPECT_TRUE(fs::exists(TrainingFile(trainingFileName(keep))));
}

TEST_F(TrainingAreaTest, AnEntryNamingAFileOutsideTheFolderNeverReachesIt) {
    tmp.write("victim.txt", "precious");
    WriteIndex({"filename=\"../victim.txt\" date=\"1\"", "filename=\"..\" date=\"1\""});
    settings::setTrainingAreaDeleteOldMessagesLast(0, settingsFile());
    TrainingArea area(tmp.path(), Options());
    EXPECT_EQ(area.messagePath("../victim.txt"), "");
    EXPECT_TRUE(area.removeMessage("../victim.txt"));
    EXPECT_FALSE(area.learnEntry("..", true));
    EXPECT_EQ(area.expireOld(3), 1);
    EXPECT_EQ(TempFolder::read(tmp.file("victim.txt")), "precious");
    EXPECT_TRUE(fs::is_directory(tmp.file("training")));
}

TEST_F(TrainingAreaTest, AnIndexThatIsNotATrainingDocumentIsNeverOverwritten) {
    struct Case {
        const char* why;
        std::string content; // empty: the index path is a folder (a file that cannot be read)
    };
    const Case cases[] = {
        {"another root", std::string(XmlDocument::kHeader) + "<recyclebin>\n<recyclefile name=\"a\"/>\n</recyclebin>\n"},
        {"root cut off", std::string(XmlDocument::kHeader) + "<training>\n<message filename=\"a.eml\"/>\n"},
        {"unreadable", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        fs::remove_all(tmp.file("training"));
        if (c.content.empty())
            fs::create_directories(TrainingFile("training.xml"));
        else
            tmp.write("training/training.xml", c.content);
        TrainingArea area(tmp.path(), Options());
        const MailMessage message = Message(messageText("refused"));
        std::string name;
        std::vector<TrainingEntry> entries;
        TrainingEntry entry;
        EXPECT_FALSE(area.addMessage(message, TrainingArea::kVerdictSpam));
        EXPECT_FALSE(area.isInTrainingArea(message, name));
        EXPECT_FALSE(area.listEntries(entries));
        EXPECT_FALSE(area.getEntry("a.eml", entry));
        EXPECT_FALSE(area.removeMessage("a.eml"));
        EXPECT_FALSE(fs::exists(TrainingFile(trainingFileName(message.source()))));
        if (!c.content.empty()) {
            EXPECT_EQ(Index(), c.content);
        }
    }
}

TEST_F(TrainingAreaTest, AMissingIndexStartsEmptyAndAFileLeftWithoutEntryIsReplaced) {
    // What a crash between writing the message file and the index leaves behind.
    const std::string text = messageText("written before the crash");
    tmp.write("training/" + trainingFileName(text), "half a mess");
    TrainingArea area(tmp.path(), Options());
    std::vector<TrainingEntry> entries;
    ASSERT_TRUE(area.listEntries(entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_FALSE(fs::exists(TrainingFile("training.xml"))) << "a read alone writes nothing";

    ASSERT_TRUE(area.addMessage(Message(text), TrainingArea::kVerdictSpam));
    EXPECT_EQ(TempFolder::read(TrainingFile(trainingFileName(text))), text);
    ASSERT_TRUE(area.listEntries(entries));
    EXPECT_EQ(entries.size(), 1u);
}

TEST_F(TrainingAreaTest, LearnReachesTheLearningTablesAndThePluginsWithTheSpamFlag) {
    TrainingArea area(tmp.path(), Options());
    const std::string spam = messageText("viagra pills cheap offer", "", "cheap offer");
    const std::string ham = messageText("meeting agenda project notes", "", "agenda");
    ASSERT_TRUE(area.learn(Message(spam), true));
    EXPECT_EQ(LastNotice(), Notice(spam, true));
    ASSERT_TRUE(area.learn(Message(ham), false));
    EXPECT_EQ(LastNotice(), Notice(ham, false));
    ForgetNotice();
    EXPECT_FALSE(area.learn(MailMessage(), true));
    EXPECT_EQ(LastNotice(), "");

    std::unique_ptr<LearningFilter> saved = SavedTables();
    const LearningFilter& tables = *saved;
    EXPECT_EQ(tables.bad().messages(), 1u);
    EXPECT_EQ(tables.good().messages(), 1u);
    WordTable spamWords, hamWords;
    LearningFilter::countWords("viagra pills cheap offer", "cheap offer", spamWords);
    LearningFilter::countWords("meeting agenda project notes", "agenda", hamWords);
    bool spamWordSeen = false, hamWordSeen = false;
    spamWords.forEach([&](const WordEntry& word) {
        spamWordSeen = true;
        EXPECT_EQ(tables.bad().count(word.text()), word.count) << word.text();
        EXPECT_EQ(tables.good().count(word.text()), 0u) << word.text();
    });
    hamWords.forEach([&](const WordEntry& word) {
        hamWordSeen = true;
        EXPECT_EQ(tables.good().count(word.text()), word.count) << word.text();
    });
    EXPECT_TRUE(spamWordSeen && hamWordSeen);
}

TEST_F(TrainingAreaTest, ABatchLoadsOnceAndSavesWhenItEnds) {
    TrainingArea area(tmp.path(), Options());
    const std::string bad = tmp.file("training/bad.corvanthelix.wordlist");
    {
        TrainingArea::LearnBatch batch;
        const std::string first = messageText("first spam words"), second = messageText("second spam words!");
        ASSERT_TRUE(area.learn(Message(first), true));
        EXPECT_EQ(LastNotice(), Notice(first, true)) << "plug-ins are told at once";
        ASSERT_TRUE(area.learn(Message(second), true));
        EXPECT_EQ(LastNotice(), Notice(second, true));
        EXPECT_FALSE(fs::exists(bad)) << "saved inside the batch";
    }
    EXPECT_EQ(SavedTables()->bad().messages(), 2u);
    EXPECT_EQ(FilterManager::instance().acquisitions(), 0);
}

TEST_F(TrainingAreaTest, EachEntryIsLearnedOnceWhoeverAsksFirst) {
    TrainingArea area(tmp.path(), Options());
    const std::string first = messageText("learn me from the window");
    const std::string second = messageText("learn me from the commit");
    ASSERT_TRUE(area.addMessage(Message(first), TrainingArea::kVerdictSpam));
    ASSERT_TRUE(area.addMessage(Message(second), TrainingArea::kVerdictSpam));

    EXPECT_TRUE(area.learnEntry(trainingFileName(first), true));
    EXPECT_EQ(LastNotice(), Notice(first, true));
    ForgetNotice();
    EXPECT_FALSE(area.learnEntry(trainingFileName(first), true)) << "already learned";
    EXPECT_FALSE(area.learnIfPresent(Message(first), true));
    EXPECT_FALSE(fs::exists(TrainingFile(trainingFileName(first))));
    EXPECT_EQ(LastNotice(), "");

    EXPECT_TRUE(area.learnIfPresent(Message(second), false));
    EXPECT_EQ(LastNotice(), Notice(second, false));
    ForgetNotice();
    EXPECT_FALSE(area.learnIfPresent(Message(second), false));
    EXPECT_FALSE(area.learnIfPresent(Message(messageText("never filed")), false));
    EXPECT_EQ(LastNotice(), "");
    std::unique_ptr<LearningFilter> saved = SavedTables();
    const LearningFilter& tables = *saved;
    EXPECT_EQ(tables.bad().messages(), 1u);
    EXPECT_EQ(tables.good().messages(), 1u);
    std::vector<TrainingEntry> entries;
    ASSERT_TRUE(area.listEntries(entries));
    EXPECT_TRUE(entries.empty());
}

TEST_F(TrainingAreaTest, LearnEntryKeepsAnEntryWhoseFileCannotBeRead) {
    WriteIndex({"filename=\"gone.eml\" date=\"1\""});
    // There, but no message can be read from it.
    fs::create_directories(TrainingFile("gone.eml"));
    TrainingArea area(tmp.path(), Options());
    EXPECT_FALSE(area.learnEntry("gone.eml", true));
    TrainingEntry entry;
    EXPECT_TRUE(area.getEntry("gone.eml", entry));
    EXPECT_EQ(LastNotice(), "");
    EXPECT_FALSE(fs::exists(tmp.file("training/bad.corvanthelix.wordlist")));
}

TEST_F(TrainingAreaTest, EntriesWhoseCopyNeverReachedTheDiskAreDroppedWhenTheIndexIsRead) {
    // What a power failure can leave: the index saved, copies missing or empty.
    tmp.write("training/kept.eml", messageText("kept"));
    tmp.write("training/empty.eml", "");
    WriteIndex({"filename=\"kept.eml\" date=\"1\"", "filename=\"empty.eml\" date=\"1\"",
                "filename=\"missing.eml\" date=\"1\""});
    TrainingArea area(tmp.path(), Options());
    std::vector<TrainingEntry> entries;
    ASSERT_TRUE(area.listEntries(entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].fileName, "kept.eml");
    // The next change writes the index without them.
    ASSERT_TRUE(area.addMessage(Message(messageText("new")), TrainingArea::kVerdictSpam));
    EXPECT_EQ(Index().find("empty.eml"), std::string::npos);
    EXPECT_EQ(Index().find("missing.eml"), std::string::npos);
    EXPECT_NE(Index().find("kept.eml"), std::string::npos);
}

TEST_F(TrainingAreaTest, APluginAsksTheHostToLearnAMessageAtOnce) {
    const std::string filed = messageText("filed and then learned by a plug-in");
    const std::string unfiled = messageText("never filed, learned all the same");
    ASSERT_TRUE(TrainingArea::instance().addMessage(Message(filed), TrainingArea::kVerdictNonSpam));
    PluginManager::instance().loadAll();
    struct Case {
        const char* why;
        uint32_t code;
        uint16_t flag;
        const char* source;
        intptr_t answer;
        std::string notice; // what the plug-in is told afterwards
    };
    const Case cases[] = {
        {"flag 2", CVX_HOST_LEARN, 2, filed.c_str(), -1, ""},
        {"no source", CVX_HOST_LEARN, 1, nullptr, -1, ""},
        {"empty source", CVX_HOST_LEARN, 0, "", -1, ""},
        {"spam, in the training area", CVX_HOST_LEARN, 1, filed.c_str(), 0, Notice(filed, true)},
        {"non-spam under the older code", CVX_HOST_LEARN_OLD, 0, unfiled.c_str(), 0, Notice(unfiled, false)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        ForgetNotice();
        EXPECT_EQ(AskAsPlugin(c.code, c.flag, c.source), c.answer);
        EXPECT_EQ(LastNotice(), c.notice);
    }
    TrainingEntry entry;
    EXPECT_FALSE(TrainingArea::instance().getEntry(trainingFileName(filed), entry));
    EXPECT_FALSE(fs::exists(TrainingFile(trainingFileName(filed))));
    EXPECT_EQ(SavedTables()->bad().messages(), 1u);
    EXPECT_EQ(SavedTables()->good().messages(), 1u);

    // Without the store (after exit has destroyed it) the service answers -1.
    TrainingArea::destroyInstance();
    EXPECT_EQ(AskAsPlugin(CVX_HOST_LEARN, 1, filed.c_str()), -1);
    EXPECT_EQ(SavedTables()->bad().messages(), 1u);
}

TEST_F(TrainingAreaTest, ConcurrentAddsAndReadsKeepEveryEntry) {
    TrainingArea area(tmp.path(), Options());
    constexpr int kThreads = 4, kEach = 15;
    std::atomic<int> added{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                if (area.addMessage(Message(messageText("t" + std::to_string(t) + " m" + std::to_string(i))),
                                    TrainingArea::kVerdictSpam))
                    ++added;
                std::vector<TrainingEntry> entries;
                area.listEntries(entries);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(added.load(), kThreads * kEach);
    TrainingArea reread(tmp.path(), Options());
    std::vector<TrainingEntry> entries;
    ASSERT_TRUE(reread.listEntries(entries));
    EXPECT_EQ(entries.size(), static_cast<size_t>(kThreads * kEach));
}

} // namespace
