#include "stores/RecycleBin.h"

#include "base/Settings.h"
#include "filter/FilterVerdict.h"
#include "upstream/MailMessage.h"
#include "base/TextUtils.h"
#include "stores/XmlDocument.h"
#include "tests/fakes/ScriptedShell.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace corvanthelix;
using corvanthelix::testing::ScriptedShell;
using corvanthelix::testing::TempFolder;

namespace {

const std::string kAlice = "alice @ pop.example.org";
const std::string kBob = "bob @ mail.example.net";

std::string MailText(const std::string& subject, const std::string& from = "Jane Doe <jane@example.org>",
                     const std::string& body = "Hello there,\r\nline two\r\nline three\r\n") {
    return "From: " + from + "\r\nTo: me@example.org\r\nSubject: " + subject +
           "\r\nDate: Tue, 7 Jan 2003 13:05:00 +0000\r\n\r\n" + body;
}

MailMessage Whole(const std::string& text) {
    MailMessage message;
    message.parse(text);
    return message;
}

FilterVerdict spamVerdict(const std::string& filterName, const std::string& words, double probability) {
    FilterVerdict verdict;
    verdict.setFilterName(filterName);
    verdict.setReason(words);
    verdict.probability = probability;
    return verdict;
}

MailMessage HeaderOnly(const std::string& text) {
    MailMessage message;
    message.parseTop(text, 0);
    return message;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

/// The attributes of the entry `name` as the index file holds them.
std::map<std::string, std::string> RawEntry(const std::string& indexPath, const std::string& name) {
    XmlDocument doc;
    std::map<std::string, std::string> attributes;
    if (!doc.load(indexPath) || !doc.root()) return attributes;
    for (const XmlElement* e = doc.root()->firstChild(); e; e = e->Next()) {
        const XmlAttribute* n = e->findAttribute("name");
        if (!n || n->value() != name) continue;
        for (const XmlAttribute* a = e->firstAttribute(); a; a = a->Next()) attributes[a->name()] = a->value();
    }
    return attributes;
}

class RecycleBinTest : public ::testing::Test {
protected:
    void SetUp() override {
        bin = Open();
        // Start-up builds the missing index.
        ASSERT_TRUE(bin->rebuildIndex(false));
    }

    std::unique_ptr<RecycleBin> Open() {
        return std::make_unique<RecycleBin>(temp.path(), RecycleBin::Options{settingsFile, &shell});
    }

    std::string add(const MailMessage& message, const std::string& uid, const std::string& account, bool stay = true,
                    const FilterVerdict& verdict = spamVerdict("Spam words", "cheap, pills", 0.9876)) {
        std::string path;
        EXPECT_TRUE(bin->addMessage(message, uid, verdict, account, &path, stay));
        EXPECT_EQ(path.rfind(bin->folder(), 0), 0u) << path;
        return path.substr(bin->folder().size());
    }

    /// Replaces the index file by one holding the given "recyclefile" lines; the store reads it
    /// at its next operation.
    void WriteIndex(std::unique_ptr<RecycleBin>& store, const std::vector<std::string>& entries) {
        store.reset();
        std::string text(XmlDocument::kHeader);
        text += "<recyclebin>\n";
        for (const std::string& e : entries) text += "<recyclefile " + e + "/>\n";
        text += "</recyclebin>\n";
        temp.write("recycle/recyclebin.xml", text);
        store = Open();
    }

    TempFolder temp;
    ScriptedShell shell;
    std::string settingsFile = temp.file("corvanthelix.ini");
    std::unique_ptr<RecycleBin> bin;
};

TEST(RecycleFileNames, FollowDayTimeAndTickAndSkipTakenNames) {
    EXPECT_EQ(recycleFileName(2452647, 9, 5, 7, 0x1a2b), "2452647_090507_1a2b.recycle");
    TempFolder temp;
    const std::string folder = temp.path() + "/";
    temp.write(recycleFileName(2452647, 9, 5, 7, 0xff), "x");
    temp.write(recycleFileName(2452647, 9, 5, 7, 0x100), "x");
    EXPECT_EQ(uniqueRecyclePath(folder, 2452647, 9, 5, 7, 0xff), folder + "2452647_090507_101.recycle");
    EXPECT_EQ(uniqueRecyclePath(folder, 2452647, 9, 5, 7, 0xfe), folder + "2452647_090507_fe.recycle");
}

TEST_F(RecycleBinTest, TwoAddsInOneSecondGetTwoFilesWithTheirOwnContent) {
    std::string first = add(Whole(MailText("first")), "u1", kAlice);
    std::string second = add(Whole(MailText("second")), "u2", kAlice);
    EXPECT_NE(first, second);
    EXPECT_EQ(TempFolder::read(bin->folder() + first), MailText("first"));
    EXPECT_EQ(TempFolder::read(bin->folder() + second), MailText("second"));
}

TEST_F(RecycleBinTest, AddWritesEveryAttributeOfTheEntry) {
    std::string name = add(Whole(MailText("Cheap \"pills\" =?iso-8859-1?q?f=FCr?= you")), "UID 1=x", kAlice);
    ASSERT_TRUE(bin->checkpoint());
    auto raw = RawEntry(bin->indexPath(), name);
    EXPECT_EQ(raw["name"], name);
    // The date is the message's own (in local time), not the day it arrived.
    std::optional<MessageDate> date = Whole(MailText("x")).date();
    ASSERT_TRUE(date);
    char time[8];
    std::snprintf(time, sizeof time, "%02i:%02i", date->hour, date->minute);
    EXPECT_EQ(raw["date"], std::to_string(dayNumber(date->year, date->month, date->day)));
    EXPECT_EQ(raw["time"], time);
    EXPECT_EQ(raw["subject"], "Cheap_=22pills=22_f=FCr_you") << "encoded words decoded, then Q-encoded";
    EXPECT_EQ(raw["spamwords"], "=5BSpam_words=5D_=3A_cheap=2C_pills");
    EXPECT_EQ(raw["uid"], "UID_1=3Dx");
    EXPECT_EQ(raw["probability"], "0.9876");
    EXPECT_EQ(raw["account"], "alice_=40_pop=2Eexample=2Eorg");
    EXPECT_EQ(raw["Protocol"], "POP3");
    EXPECT_EQ(raw["sender"], "Jane_Doe");
    EXPECT_EQ(raw["address"], "jane=40example=2Eorg");
    EXPECT_EQ(raw["size"], std::to_string(MailText("Cheap \"pills\" =?iso-8859-1?q?f=FCr?= you").size()));
    EXPECT_EQ(raw["lines"], "-1");
    EXPECT_EQ(raw["seen"], "0");
    EXPECT_EQ(raw["stay"], "1");
    EXPECT_EQ(raw.size(), 15u);

    // Without reason, probability, UID or account those attributes are left out.
    std::string bare = add(Whole(MailText("plain")), "", "", false, spamVerdict("", "", 0));
    ASSERT_TRUE(bin->checkpoint());
    auto rawBare = RawEntry(bin->indexPath(), bare);
    for (const char* absent : {"spamwords", "probability", "uid", "account", "restored", "deleted"})
        EXPECT_EQ(rawBare.count(absent), 0u) << absent;
    EXPECT_EQ(rawBare["stay"], "0");
    // A reason of a filter without words is its name alone.
    std::string named = add(Whole(MailText("x")), "u9", kAlice, true, spamVerdict("Plugin", "", 0));
    ASSERT_TRUE(bin->checkpoint());
    EXPECT_EQ(RawEntry(bin->indexPath(), named)["spamwords"], "=5BPlugin=5D");
}

TEST_F(RecycleBinTest, SubjectAndSenderSurviveSaveAndLoadByteForByte) {
    const std::string subject = "  two  spaces, \"quotes\" <tags> & Gr\xfc\xdf" "e \xe9t\xe9 = 100% _under_ ";
    const std::string from = "\"M\xfcller, J\xfcrgen\" <j.mueller+spam@example.de>";
    std::string name = add(Whole(MailText(subject, from)), "u1", kAlice);
    auto expectSame = [&](RecycleBin& store, const char* how) {
        auto found = store.getSenderAndSubject(name);
        ASSERT_TRUE(found) << how;
        // The header value is trimmed by the message model; everything inside stays as it was.
        EXPECT_EQ(found->subject, trimBlanks(subject)) << how;
        EXPECT_EQ(found->senderName, "M\xfcller, J\xfcrgen") << how;
        EXPECT_EQ(found->senderAddress, "j.mueller+spam@example.de") << how;
    };
    // From the journal, as after a crash (the first store never folded it)...
    expectSame(*Open(), "journal replayed");
    // ...and from the rewritten index.
    ASSERT_TRUE(bin->checkpoint());
    EXPECT_FALSE(Exists(bin->folder() + RecycleBin::kJournalName));
    expectSame(*Open(), "index rewritten");
}

TEST_F(RecycleBinTest, CompletenessAndServerCopyDecideRestoreAndViewer) {
    // Missing `lines` counts as complete, missing `stay` as on the server.
    WriteIndex(bin, {
        "name=\"whole.recycle\" lines=\"-1\" stay=\"1\" uid=\"u1\" account=\"a_=40_s\"",
        "name=\"bare.recycle\"",
        "name=\"partial.recycle\" lines=\"1\" stay=\"1\" uid=\"u=3D2\" account=\"a_=40_s\"",
        "name=\"partialnostay.recycle\" lines=\"3\" uid=\"u3\" account=\"a_=40_s\"",
        "name=\"gone.recycle\" lines=\"1\" stay=\"0\" uid=\"u4\" account=\"a_=40_s\"",
        "name=\"nouid.recycle\" lines=\"1\" stay=\"1\" account=\"a_=40_s\"",
        "name=\"noaccount.recycle\" lines=\"1\" stay=\"0\" uid=\"u5\"",
    });
    struct Case {
        const char* name;
        bool complete, onServer;
        ViewerChoice viewer;
    };
    const Case cases[] = {
        {"whole.recycle", true, true, ViewerChoice::ShowFile},
        {"bare.recycle", true, true, ViewerChoice::ShowFile},
        {"partial.recycle", false, true, ViewerChoice::ShowNotDownloaded},
        {"partialnostay.recycle", false, true, ViewerChoice::ShowNotDownloaded},
        {"gone.recycle", false, false, ViewerChoice::ShowDeleted},
        {"nouid.recycle", false, true, ViewerChoice::ShowFile},
        {"noaccount.recycle", false, false, ViewerChoice::ShowFile},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(bin->contains(c.name)) << c.name;
        EXPECT_EQ(bin->isComplete(c.name), c.complete) << c.name;
        EXPECT_EQ(bin->isOnServer(c.name), c.onServer) << c.name;
        auto viewer = bin->viewerChoiceFor(c.name);
        ASSERT_TRUE(viewer) << c.name;
        EXPECT_EQ(viewer->choice, c.viewer) << c.name;
        // Only a whole message can be restored.
        EXPECT_EQ(bin->restore(c.name), c.complete) << c.name;
    }
    auto partial = bin->viewerChoiceFor("partial.recycle");
    EXPECT_EQ(partial->account, "a @ s");
    EXPECT_EQ(partial->uid, "u=2");
    std::vector<std::string> restored;
    EXPECT_EQ(bin->listRestored("a @ s", restored), 2);
    EXPECT_FALSE(bin->contains("nothing.recycle"));
    EXPECT_FALSE(bin->isOnServer("nothing.recycle"));
    EXPECT_FALSE(bin->restore("nothing.recycle"));
}

TEST(RecycleViewerChoice, FollowsLinesAccountStayAndUid) {
    using O = std::optional<std::string>;
    struct Case {
        O lines, account, uid, stay;
        ViewerChoice expected;
    };
    const Case cases[] = {
        {O("-1"), O("a @ s"), O("u"), O("0"), ViewerChoice::ShowFile},
        {std::nullopt, O("a @ s"), O("u"), O("0"), ViewerChoice::ShowFile},
        {O("5"), std::nullopt, O("u"), O("0"), ViewerChoice::ShowFile},
        {O("5"), O(""), O("u"), O("1"), ViewerChoice::ShowFile},
        {O("5"), O("a @ s"), O("u"), O("0"), ViewerChoice::ShowDeleted},
        {O("5"), O("a @ s"), std::nullopt, O("2"), ViewerChoice::ShowDeleted},
        {O("5"), O("a @ s"), O("u"), O("1"), ViewerChoice::ShowNotDownloaded},
        {O("5"), O("a @ s"), O("u"), std::nullopt, ViewerChoice::ShowNotDownloaded},
        {O("5"), O("a @ s"), std::nullopt, O("1"), ViewerChoice::ShowFile},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        ViewerDecision d = chooseRecycleViewer(c.lines, c.account, c.uid, c.stay);
        EXPECT_EQ(d.choice, c.expected) << "case " << i;
        if (d.choice == ViewerChoice::ShowNotDownloaded) {
            EXPECT_EQ(d.account, *c.account);
            EXPECT_EQ(d.uid, *c.uid);
        }
    }
}

TEST_F(RecycleBinTest, ServerMessagesAreFoundByUidAndAccountTogether) {
    std::string name = add(HeaderOnly(MailText("x")), "0000a b=c", kAlice);
    EXPECT_TRUE(bin->containsUid("0000a b=c", kAlice));
    EXPECT_FALSE(bin->containsUid("0000a b=c", kBob));
    EXPECT_FALSE(bin->containsUid("0000a", kAlice));
    EXPECT_FALSE(bin->isDeletedUid("0000a b=c", kAlice));
    EXPECT_EQ(bin->getUid(name), "0000a b=c");
    add(HeaderOnly(MailText("z")), "u=2", kAlice);
    add(HeaderOnly(MailText("b")), "u3", kBob);
    ASSERT_EQ(bin->deleteEntries({name}), 1);
    EXPECT_TRUE(bin->isDeletedUid("0000a b=c", kAlice));
    EXPECT_FALSE(bin->isDeletedUid("0000a b=c", kBob));
    // The mail check's one walk answers as the single look-ups do.
    const RecycleBin::AccountUids alice = bin->accountUids(kAlice);
    for (const char* uid : {"0000a b=c", "u=2", "u3", "0000a"}) {
        EXPECT_EQ(alice.contains(uid), bin->containsUid(uid, kAlice)) << uid;
        EXPECT_EQ(alice.isDeleted(uid), bin->isDeletedUid(uid, kAlice)) << uid;
    }
    EXPECT_TRUE(alice.isDeleted("0000a b=c"));
    EXPECT_TRUE(alice.contains("u=2"));
    EXPECT_FALSE(alice.contains("u3"));
    EXPECT_FALSE(bin->accountUids(kBob).isDeleted("u3"));
    EXPECT_FALSE(bin->getUid(add(Whole(MailText("y")), "", kAlice))) << "no uid stored";
}

TEST_F(RecycleBinTest, RestoredListBelongsToItsAccountUnlessTheAccountIsHiddenOrMissing) {
    std::string aliceOwn = add(Whole(MailText("a")), "u1", kAlice);
    std::string bobOwn = add(Whole(MailText("b")), "u2", kBob);
    std::string hidden = add(Whole(MailText("h")), "u3", kBob);
    std::string noAccount = add(Whole(MailText("n")), "", "");
    std::string restoredThenDeleted = add(Whole(MailText("d")), "u4", kAlice);
    std::string notRestored = add(Whole(MailText("r")), "u5", kAlice);
    for (const std::string& n : {aliceOwn, bobOwn, hidden, noAccount, restoredThenDeleted}) ASSERT_TRUE(bin->restore(n));
    ASSERT_EQ(bin->hideAccounts({hidden, noAccount}), 1) << "only an entry with an account can hide it";
    ASSERT_EQ(bin->deleteEntries({restoredThenDeleted}), 1);

    std::vector<std::string> alice;
    EXPECT_EQ(bin->listRestored(kAlice, alice), 3);
    EXPECT_EQ(std::set<std::string>(alice.begin(), alice.end()), (std::set<std::string>{aliceOwn, hidden, noAccount}));

    // The hidden one goes to the first account that checks; delivered, nobody else gets it.
    ASSERT_TRUE(bin->deleteDelivered(hidden));
    ASSERT_TRUE(bin->deleteDelivered(noAccount));
    std::vector<std::string> bob;
    EXPECT_EQ(bin->listRestored(kBob, bob), 1);
    EXPECT_EQ(bob, std::vector<std::string>{bobOwn});
    ASSERT_TRUE(bin->withdrawRestore(bobOwn));
    bob.clear();
    EXPECT_EQ(bin->listRestored(kBob, bob), 0);
    (void)notRestored;
}

TEST_F(RecycleBinTest, AgeingRunsOncePerDayAndMarksThirtyDaysInTheBinButNotTwentyNine) {
    const int today = todayDayNumber();
    auto entry = [](const std::string& name, int date, const std::string& extra = "") {
        return "name=\"" + name + "\" date=\"" + std::to_string(date) + "\" time=\"12:00\" " + extra;
    };
    // The file name begins with the day the message came into the bin; that day counts, not the
    // message's own date. Names without it fall back to the date.
    const std::string oldMailBinnedLately = std::to_string(today - 2) + "_120000_1a.recycle";
    const std::string newMailBinnedLongAgo = std::to_string(today - 31) + "_120000_2b.recycle";
    WriteIndex(bin, {entry("d30.recycle", today - 30), entry("d29.recycle", today - 29),
                     entry("d400.recycle", today - 400), entry("today.recycle", today),
                     entry(oldMailBinnedLately, today - 800), entry(newMailBinnedLongAgo, today),
                     "name=\"nodate.recycle\""});
    settings::setRecycleOldMessagesLast(today - 1, settingsFile);

    EXPECT_EQ(bin->expireOld(30), 3);
    EXPECT_EQ(settings::recycleOldMessagesLast(settingsFile), today);
    // A second run on the same day does nothing, even with a maximum that would take everything.
    EXPECT_EQ(bin->expireOld(0), 0);

    std::map<std::string, bool> deleted;
    for (const RecycleEntry& e : Open()->entries()) deleted[e.name] = e.deleted;
    EXPECT_TRUE(deleted["d30.recycle"]);
    EXPECT_TRUE(deleted["d400.recycle"]);
    EXPECT_FALSE(deleted["d29.recycle"]);
    EXPECT_FALSE(deleted["today.recycle"]);
    EXPECT_FALSE(deleted["nodate.recycle"]);
    EXPECT_FALSE(deleted[oldMailBinnedLately]);
    EXPECT_TRUE(deleted[newMailBinnedLongAgo]);
}

TEST_F(RecycleBinTest, EmptyingKeepsRestoredEntriesAndTheirFiles) {
    std::string restored = add(Whole(MailText("keep me")), "u1", kAlice);
    std::string plain = add(Whole(MailText("drop me")), "u2", kAlice);
    std::string partial = add(HeaderOnly(MailText("drop me too")), "u3", kAlice);
    ASSERT_TRUE(bin->restore(restored));

    EXPECT_EQ(bin->emptyBin(), 2);
    EXPECT_TRUE(Exists(bin->folder() + restored));
    EXPECT_FALSE(Exists(bin->folder() + plain));
    EXPECT_FALSE(Exists(bin->folder() + partial));
    std::map<std::string, RecycleEntry> entries;
    for (RecycleEntry& e : Open()->entries()) entries[e.name] = e;
    EXPECT_TRUE(entries[restored].restored);
    EXPECT_FALSE(entries[restored].deleted);
    EXPECT_TRUE(entries[plain].deleted) << "the entry waits for the server copy to go";
    EXPECT_TRUE(entries[partial].deleted);
    std::vector<std::string> list;
    EXPECT_EQ(bin->listRestored(kAlice, list), 1);
}

// One account's mail checks, in the order the mail check and the commit call the store.
TEST_F(RecycleBinTest, MailCheckCallingOrderEndToEnd) {
    bin->setWindowOpen(true);
    const std::string spamKept = MailText("kept spam", "Spammer <s@spam.example>", "buy now\r\n");
    // Check 1: the server lists u1..u3, all new. u2 and u3 are spam: u2 stays on the server, u3 is
    // deleted there by the commit.
    for (const char* uid : {"u1", "u2", "u3"}) {
        EXPECT_FALSE(bin->isDeletedUid(uid, kAlice));
        EXPECT_FALSE(bin->containsUid(uid, kAlice));
    }
    std::vector<std::string> restored;
    EXPECT_EQ(bin->listRestored(kAlice, restored), 0);
    std::string kept = add(Whole(spamKept), "u2", kAlice, true);
    std::string gone = add(HeaderOnly(MailText("deleted spam")), "u3", kAlice, false);
    EXPECT_EQ(bin->purgeDeleted(kAlice, "u3"), 0) << "not deleted in the bin";
    EXPECT_EQ(bin->purgeDeletedForAccount(kAlice), 0);

    // The user restores u2 and deletes u3 in the window.
    ASSERT_TRUE(bin->restore(kept));
    ASSERT_EQ(bin->deleteEntries({gone}), 1);

    // Check 2 (KeepSpamMails set): the server lists u1 and u2.
    EXPECT_FALSE(bin->isDeletedUid("u2", kAlice));
    EXPECT_TRUE(bin->containsUid("u2", kAlice)) << "hidden from the client";
    ASSERT_EQ(bin->listRestored(kAlice, restored), 1);
    ASSERT_EQ(restored[0], kept);
    EXPECT_EQ(TempFolder::read(bin->folder() + restored[0]), spamKept) << "delivered as it arrived";
    ASSERT_TRUE(bin->deleteDelivered(restored[0]));
    EXPECT_FALSE(Exists(bin->folder() + kept));
    std::vector<std::string> deleted;
    EXPECT_EQ(bin->listDeleted(kAlice, deleted), 2);
    EXPECT_EQ(bin->listDeleted(kBob, deleted), 0);
    const std::set<std::string> onServer{"u1", "u2"};
    for (const std::string& name : deleted) {
        if (!onServer.count(bin->getUid(name).value_or(""))) {
            EXPECT_TRUE(bin->deleteMessage(name));
        }
    }
    EXPECT_FALSE(bin->contains(gone));

    // Check 3: u2 is known and deleted in the bin: hidden and deleted on the server, then purged.
    EXPECT_TRUE(bin->isDeletedUid("u2", kAlice));
    EXPECT_EQ(bin->purgeDeleted(kAlice, "u2"), 1);
    EXPECT_FALSE(bin->containsUid("u2", kAlice));
    restored.clear();
    EXPECT_EQ(bin->listRestored(kAlice, restored), 0);

    // Without KeepSpamMails the check ends by purging every deleted entry of the account.
    std::string other = add(Whole(MailText("bob's")), "b1", kBob);
    std::string third = add(Whole(MailText("third")), "u7", kAlice);
    ASSERT_EQ(bin->deleteEntries({third, other}), 2);
    EXPECT_EQ(bin->purgeDeletedForAccount(kAlice), 1);
    EXPECT_TRUE(bin->contains(other));

    // What a restart finds is what the run left.
    auto names = [](std::vector<RecycleEntry> entries) {
        std::set<std::string> out;
        for (auto& e : entries) out.insert(e.name);
        return out;
    };
    EXPECT_EQ(names(Open()->entries()), std::set<std::string>{other});
    // The open window heard of every added and removed row, without waiting.
    auto calls = shell.calls();
    auto row = [](RecycleRowChange c, const std::string& n) {
        return "recycleBinRowChanged|" + std::to_string(static_cast<int>(c)) + "|" + n;
    };
    for (const std::string& n : {kept, gone, other, third})
        EXPECT_NE(std::find(calls.begin(), calls.end(), row(RecycleRowChange::Added, n)), calls.end()) << n;
    EXPECT_NE(std::find(calls.begin(), calls.end(), row(RecycleRowChange::Removed, kept)), calls.end());
    EXPECT_NE(std::find(calls.begin(), calls.end(), row(RecycleRowChange::Removed, gone)), calls.end());
    bin->setWindowOpen(false);
    shell.clear();
    add(Whole(MailText("unseen")), "u8", kAlice);
    EXPECT_EQ(shell.count("recycleBinRowChanged"), 0) << "no window, no rows";
}

TEST_F(RecycleBinTest, DownloadCompleteReplacesAHeaderOnlyEntryAndKeepsItsReason) {
    const std::string text = MailText("partial", "Jane <jane@example.org>", "line 1\r\nline 2\r\nline 3\r\n");
    std::string partial = add(HeaderOnly(text), "U-17", kAlice, true, spamVerdict("Spam words", "pills", 0.75));
    ASSERT_FALSE(bin->isComplete(partial));
    std::vector<std::string> calls;
    std::function<void()> whileDownloading;
    bool succeed = true;
    std::string serve = text;
    bin->setRestoreDownloader([&](const std::string& user, const std::string& server, const std::string& uid,
                                  MailMessage& message) {
        calls.push_back(user + "|" + server + "|" + uid);
        // The download waits for the session lock, which a mail check holds while it uses the
        // store: the store's lock must be free meanwhile.
        auto other = std::async(std::launch::async, [&] { return bin->isComplete("missing.recycle"); });
        EXPECT_EQ(other.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "store locked during download";
        if (whileDownloading) whileDownloading();
        if (succeed) message.parse(serve);
        return succeed;
    });

    // A failed download changes nothing.
    succeed = false;
    std::string newName = "stale";
    EXPECT_FALSE(bin->downloadComplete(partial, &newName));
    EXPECT_EQ(newName, "");
    EXPECT_TRUE(bin->contains(partial));
    // A download that brings nothing must not cost the entry either.
    succeed = true;
    serve = "";
    EXPECT_FALSE(bin->downloadComplete(partial, &newName));
    EXPECT_TRUE(bin->contains(partial));
    EXPECT_TRUE(Exists(bin->folder() + partial));

    serve = text;
    ASSERT_TRUE(bin->downloadComplete(partial, &newName));
    EXPECT_EQ(calls.back(), "alice|pop.example.org|U-17");
    EXPECT_FALSE(bin->contains(partial));
    EXPECT_FALSE(Exists(bin->folder() + partial));
    EXPECT_EQ(TempFolder::read(bin->folder() + newName), text);
    EXPECT_TRUE(bin->isComplete(newName));
    EXPECT_TRUE(bin->isOnServer(newName));
    EXPECT_TRUE(bin->restore(newName));
    auto entries = bin->entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].reason, "[Spam words] : pills");
    EXPECT_DOUBLE_EQ(entries[0].probability, 0.75);
    EXPECT_EQ(entries[0].uid, "U-17");
    EXPECT_EQ(entries[0].account, kAlice);

    // The user's deletion that lands while the download runs wins.
    std::string deletedMeanwhile = add(HeaderOnly(text), "U-20", kAlice);
    whileDownloading = [&] { bin->deleteEntries({deletedMeanwhile}); };
    EXPECT_FALSE(bin->downloadComplete(deletedMeanwhile, &newName));
    whileDownloading = nullptr;
    EXPECT_TRUE(bin->isDeletedUid("U-20", kAlice));
    EXPECT_EQ(bin->entries().size(), 2u) << "no new entry for it";

    // No usable account or UID: the server is never asked.
    size_t asked = calls.size();
    std::string noSeparator = add(HeaderOnly(text), "U-18", "alice@pop.example.org");
    std::string noUid = add(HeaderOnly(text), "", kAlice);
    EXPECT_FALSE(bin->downloadComplete(noSeparator, &newName));
    EXPECT_FALSE(bin->downloadComplete(noUid, &newName));
    EXPECT_FALSE(bin->downloadComplete("missing.recycle", &newName));
    EXPECT_EQ(calls.size(), asked);
    EXPECT_FALSE(bin->replaceWithDownloaded(Whole(text), "U-99", kAlice, nullptr, true));
}

TEST_F(RecycleBinTest, NoIndexMeansEmptyAnswersAndAnAddLeavesItsFileForTheRebuild) {
    WriteIndex(bin, {});
    ::unlink(bin->indexPath().c_str());
    std::string path = "stale";
    EXPECT_FALSE(bin->addMessage(Whole(MailText("orphan")), "u1", {}, kAlice, &path, true));
    EXPECT_EQ(path, "");
    std::vector<std::string> list;
    EXPECT_EQ(bin->listRestored(kAlice, list), 0);
    EXPECT_FALSE(bin->containsUid("u1", kAlice));
    EXPECT_TRUE(bin->entries().empty());

    // Another root is no index either.
    temp.write("recycle/recyclebin.xml", std::string(XmlDocument::kHeader) + "<hostlist>\n<recyclefile name=\"a\"/>\n</hostlist>\n");
    EXPECT_FALSE(Open()->contains("a"));

    // A message file that cannot be written adds nothing.
    std::filesystem::remove(bin->indexPath());
    ASSERT_TRUE(bin->rebuildIndex(false));
    EXPECT_FALSE(bin->addMessage(MailMessage(), "u2", {}, kAlice, &path, true)) << "an empty message has no content";
    EXPECT_EQ(bin->entries().size(), 1u) << "only the orphan, found by the rebuild";
}

TEST_F(RecycleBinTest, DamagedIndexIsKeptAsideAndRebuiltFromTheFilesAndTheJournal) {
    for (const char* uid : {"u1", "u2", "u3"}) add(Whole(MailText(uid)), uid, kAlice);
    ASSERT_TRUE(bin->checkpoint());
    const std::string index = TempFolder::read(bin->indexPath());
    // A later change is in the journal only.
    add(Whole(MailText("u4")), "u4", kAlice);
    const std::string journal = TempFolder::read(bin->folder() + RecycleBin::kJournalName);
    ASSERT_FALSE(journal.empty());
    bin.reset();
    // Cut inside the last entry line: the entries before it are whole.
    const std::size_t lastEntry = index.rfind("<recyclefile ");
    ASSERT_NE(lastEntry, std::string::npos);
    const std::string damaged = index.substr(0, lastEntry + 30);
    temp.write("recycle/recyclebin.xml", damaged);
    temp.write(std::string("recycle/") + RecycleBin::kJournalName, journal);
    bin = Open();
    EXPECT_TRUE(bin->entries().empty()) << "the damaged index is not read";

    const std::string kept = bin->repairDamagedIndex();
    ASSERT_EQ(kept.rfind("recyclebin.damaged-", 0), 0u) << kept;
    EXPECT_EQ(TempFolder::read(bin->folder() + kept), damaged) << "kept as it was";
    EXPECT_EQ(bin->entries().size(), 4u) << "every message file has its entry";
    int known = 0;
    for (const char* uid : {"u1", "u2", "u3", "u4"}) known += bin->containsUid(uid, kAlice) ? 1 : 0;
    EXPECT_EQ(known, 3) << "the whole lines and the journal keep UID and account";
    EXPECT_TRUE(bin->containsUid("u4", kAlice));
    EXPECT_EQ(bin->repairDamagedIndex(), "") << "a sound index needs nothing";
    bin.reset();
    bin = Open();
    EXPECT_EQ(bin->entries().size(), 4u);
}

TEST_F(RecycleBinTest, RebuildFindsEveryMessageFileAsNotOnTheServer) {
    std::string kept = add(Whole(MailText("one")), "u1", kAlice);
    temp.write("recycle/2452000_120000_1.recycle", MailText("dropped in", "Bob <bob@example.net>"));
    temp.write("recycle/notes.txt", "not a message");
    EXPECT_FALSE(bin->rebuildIndex(false)) << "an index exists";
    ASSERT_TRUE(bin->rebuildIndex(true));
    EXPECT_FALSE(Exists(bin->folder() + RecycleBin::kJournalName));

    std::map<std::string, RecycleEntry> entries;
    for (RecycleEntry& e : bin->entries()) entries[e.name] = e;
    ASSERT_EQ(entries.size(), 2u);
    const RecycleEntry& dropped = entries["2452000_120000_1.recycle"];
    EXPECT_EQ(dropped.subject, "dropped in");
    EXPECT_EQ(dropped.senderAddress, "bob@example.net");
    EXPECT_TRUE(dropped.complete);
    EXPECT_FALSE(dropped.onServer);
    EXPECT_FALSE(dropped.seen);
    EXPECT_EQ(entries[kept].uid, "") << "a rebuild knows no server";
    EXPECT_EQ(entries[kept].account, "");
    EXPECT_FALSE(bin->containsUid("u1", kAlice));
}

TEST_F(RecycleBinTest, ClearSeenFlagsMarksEverythingSeenOnce) {
    add(Whole(MailText("a")), "u1", kAlice);
    add(Whole(MailText("b")), "u2", kAlice);
    EXPECT_EQ(bin->clearSeenFlags(), 2);
    EXPECT_EQ(bin->clearSeenFlags(), 0);
    for (const RecycleEntry& e : Open()->entries()) EXPECT_TRUE(e.seen);
}

TEST_F(RecycleBinTest, ACrashAtAnyPointKeepsEveryChangeReportedAsDone) {
    std::vector<std::string> names;
    for (int i = 0; i < 3; ++i) names.push_back(add(Whole(MailText("m" + std::to_string(i))), "u" + std::to_string(i), kAlice));
    ASSERT_TRUE(bin->restore(names[1]));
    const std::string journal = bin->folder() + RecycleBin::kJournalName;
    ASSERT_TRUE(Exists(journal));

    // The process dies with the journal unfolded: a new store sees every change.
    {
        auto after = Open();
        EXPECT_EQ(after->entries().size(), 3u);
        EXPECT_FALSE(Exists(journal)) << "loading folds the journal into the index";
        std::vector<std::string> list;
        EXPECT_EQ(after->listRestored(kAlice, list), 1);
    }
    // The process dies while writing its last change, cut short in the middle of its line: only
    // that change is lost, and what is added after the restart is not hidden behind the damaged line.
    auto writer = Open();
    std::string fourth;
    ASSERT_TRUE(writer->addMessage(Whole(MailText("m3")), "u3", {}, kAlice, &fourth, true));
    ASSERT_TRUE(writer->addMessage(Whole(MailText("m4")), "u4", {}, kAlice, nullptr, true));
    std::string text = TempFolder::read(journal);
    ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
    ASSERT_EQ(::truncate(journal.c_str(), static_cast<off_t>(text.size() - 20)), 0);
    fourth = fourth.substr(writer->folder().size());

    auto restarted = Open();
    EXPECT_TRUE(restarted->contains(fourth));
    EXPECT_FALSE(restarted->containsUid("u4", kAlice));
    std::string sixth;
    ASSERT_TRUE(restarted->addMessage(Whole(MailText("m5")), "u5", {}, kAlice, &sixth, true));
    auto again = Open();
    EXPECT_TRUE(again->contains(fourth));
    EXPECT_TRUE(again->containsUid("u5", kAlice));
    EXPECT_EQ(again->entries().size(), 5u);
}

TEST_F(RecycleBinTest, ManyChangesAtOnceRewriteTheIndexInsteadOfTheJournal) {
    std::vector<std::string> names;
    for (int i = 0; i < 40; ++i) names.push_back(add(Whole(MailText("m" + std::to_string(i))), "u" + std::to_string(i), kAlice));
    const std::string journal = bin->folder() + RecycleBin::kJournalName;
    ASSERT_TRUE(Exists(journal));
    EXPECT_EQ(bin->deleteEntries(names), 40);
    EXPECT_FALSE(Exists(journal));
    XmlDocument index;
    ASSERT_TRUE(index.load(bin->indexPath()));
    int deleted = 0;
    for (const XmlElement* e = index.root()->firstChild(); e; e = e->Next()) deleted += e->findAttribute("deleted") != nullptr;
    EXPECT_EQ(deleted, 40);
}

TEST_F(RecycleBinTest, ConnectionsAndTheWindowMayUseTheStoreAtOnce) {
    bin->setWindowOpen(true);
    constexpr int kThreads = 4, kAddsEach = 8;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kAddsEach; ++i) {
                std::string uid = "t" + std::to_string(t) + "-" + std::to_string(i);
                std::string path;
                ASSERT_TRUE(bin->addMessage(Whole(MailText(uid)), uid, {}, kAlice, &path, true));
                std::string name = path.substr(bin->folder().size());
                if (i % 2) {
                    ASSERT_TRUE(bin->restore(name));
                }
            }
        });
    // The window's thread reads and clears flags meanwhile.
    threads.emplace_back([&] {
        for (int i = 0; i < 20; ++i) {
            bin->entries();
            bin->clearSeenFlags();
        }
    });
    for (std::thread& t : threads) t.join();
    auto reopened = Open();
    EXPECT_EQ(reopened->entries().size(), size_t{kThreads * kAddsEach});
    std::vector<std::string> restored;
    EXPECT_EQ(reopened->listRestored(kAlice, restored), kThreads * kAddsEach / 2);
    EXPECT_EQ(shell.count("recycleBinRowChanged|0|"), kThreads * kAddsEach);
}

} // namespace
