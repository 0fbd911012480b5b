// The Restore command against a real store: withdrawing, restoring whole messages, downloading
// messages held in part first, refusing those gone from the server, and what it asks and tells.
#include "stores/RecycleRestore.h"

#include "filter/FilterVerdict.h"
#include "stores/RecycleBin.h"
#include "tests/fakes/ScriptedShell.h"
#include "tests/fakes/TempFolder.h"
#include "upstream/MailMessage.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

using namespace corvanthelix;
using corvanthelix::testing::ScriptedShell;
using corvanthelix::testing::TempFolder;

namespace {

const std::string kAccount = "alice @ pop.example.org";

std::string mailText(const std::string& subject) {
    return "From: Jane Doe <jane@example.org>\r\nSubject: " + subject +
           "\r\nDate: Tue, 7 Jan 2003 13:05:00 +0000\r\n\r\nbody of " + subject + "\r\n";
}

// Answers from a script and records what was asked, in order.
struct ScriptedQuestions : RecycleRestoreQuestions {
    bool restoreAnswer = true;
    std::deque<bool> downloadAnswers;
    std::vector<std::string> log;
    bool confirmRestore(int id) override {
        log.push_back("restore?" + std::to_string(id));
        return restoreAnswer;
    }
    bool confirmDownload(const std::string& sender, const std::string& subject) override {
        log.push_back("download?" + sender + "|" + subject);
        bool answer = !downloadAnswers.empty() && downloadAnswers.front();
        if (!downloadAnswers.empty()) downloadAnswers.pop_front();
        return answer;
    }
    void cannotRestore(const std::string& sender, const std::string& subject) override {
        log.push_back("gone:" + sender + "|" + subject);
    }
    void restored(int id) override { log.push_back("restored" + std::to_string(id)); }
};

class RecycleRestoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        bin = std::make_unique<RecycleBin>(temp.path(), RecycleBin::Options{temp.path() + "/corvanthelix.ini", &shell});
        bin->rebuildIndex(false);
        bin->setRestoreDownloader([this](const std::string& user, const std::string& server, const std::string& uid,
                                         MailMessage& message) {
            downloads.push_back(user + "|" + server + "|" + uid);
            if (!serverHas) return false;
            message.parse(mailText("partial"));
            return true;
        });
    }

    // A whole message, or only its header (`whole` false), still on the server or not.
    std::string add(const std::string& subject, const std::string& uid, bool whole = true, bool stay = true) {
        MailMessage message;
        if (whole) message.parse(mailText(subject));
        else message.parseTop(mailText(subject), 0);
        std::string path;
        EXPECT_TRUE(bin->addMessage(message, uid, FilterVerdict{}, kAccount, &path, stay));
        return path.substr(bin->folder().size());
    }

    bool restored(const std::string& name) {
        for (const RecycleEntry& e : bin->entries())
            if (e.name == name) return e.restored;
        return false;
    }

    TempFolder temp;
    ScriptedShell shell;
    std::unique_ptr<RecycleBin> bin;
    std::vector<std::string> downloads;
    bool serverHas = true;
};

} // namespace

TEST_F(RecycleRestoreTest, MixedSelectionRestoresTheRestAndAllRestoredWithdraws) {
    const std::string a = add("a", "u1");
    const std::string b = add("b", "u2");
    ASSERT_TRUE(bin->restore(a));

    ScriptedQuestions q;
    RecycleRestoreResult result = RecycleRestore::run(*bin, {a, b}, q);
    EXPECT_EQ(result.restored, std::vector<std::string>{b});
    EXPECT_TRUE(result.withdrawn.empty());
    EXPECT_EQ(q.log, (std::vector<std::string>{"restore?148", "restored149"}));
    EXPECT_TRUE(restored(a));
    EXPECT_TRUE(restored(b));

    ScriptedQuestions again;
    result = RecycleRestore::run(*bin, {a, b}, again);
    EXPECT_EQ(result.withdrawn, (std::vector<std::string>{a, b}));
    EXPECT_TRUE(again.log.empty()) << "withdrawing asks nothing";
    EXPECT_FALSE(restored(a));
    EXPECT_FALSE(restored(b));
}

TEST_F(RecycleRestoreTest, NoToTheQuestionChangesNothing) {
    const std::string a = add("a", "u1");
    ScriptedQuestions q;
    q.restoreAnswer = false;
    const RecycleRestoreResult result = RecycleRestore::run(*bin, {a}, q);
    EXPECT_TRUE(result.asked);
    EXPECT_TRUE(result.restored.empty());
    EXPECT_EQ(q.log, std::vector<std::string>{"restore?141"});
    EXPECT_FALSE(restored(a));
}

TEST_F(RecycleRestoreTest, PartialMessageGoneFromTheServerIsRefused) {
    const std::string gone = add("gone", "u1", false, false);
    ScriptedQuestions q;
    const RecycleRestoreResult result = RecycleRestore::run(*bin, {gone}, q);
    EXPECT_EQ(result.refused, std::vector<std::string>{gone});
    EXPECT_EQ(q.log, (std::vector<std::string>{"restore?141", "gone:Jane Doe|gone"})) << "no notice of success";
    EXPECT_TRUE(downloads.empty());
    EXPECT_TRUE(bin->contains(gone));
}

TEST_F(RecycleRestoreTest, PartialMessageOnTheServerIsDownloadedThenRestoredUnderItsNewName) {
    const std::string partial = add("partial", "u7", false, true);
    ScriptedQuestions declined;
    declined.downloadAnswers = {false};
    EXPECT_TRUE(RecycleRestore::run(*bin, {partial}, declined).restored.empty());
    EXPECT_TRUE(downloads.empty());
    EXPECT_TRUE(bin->contains(partial));

    ScriptedQuestions q;
    q.downloadAnswers = {true};
    const RecycleRestoreResult result = RecycleRestore::run(*bin, {partial}, q);
    EXPECT_EQ(downloads, std::vector<std::string>{"alice|pop.example.org|u7"});
    ASSERT_EQ(result.restored.size(), 1u);
    const std::string fresh = result.restored.front();
    EXPECT_NE(fresh, partial);
    EXPECT_FALSE(bin->contains(partial));
    EXPECT_TRUE(bin->isComplete(fresh));
    EXPECT_TRUE(restored(fresh));
    EXPECT_EQ(q.log.back(), "restored145");
}

TEST_F(RecycleRestoreTest, FailedDownloadLeavesTheEntryAsItWas) {
    const std::string partial = add("partial", "u7", false, true);
    serverHas = false;
    ScriptedQuestions q;
    q.downloadAnswers = {true};
    const RecycleRestoreResult result = RecycleRestore::run(*bin, {partial}, q);
    EXPECT_EQ(result.refused, std::vector<std::string>{partial});
    EXPECT_TRUE(bin->contains(partial));
    EXPECT_FALSE(bin->isComplete(partial));
    EXPECT_NE(q.log.back(), "restored141");
}
