// Learning from the window's marks against real stores: every marked message is learned once and
// leaves the training area, a message that cannot be read stays, and a message learned as
// non-spam whose copy is in the recycle bin is offered back (downloaded first when held in part).
#include "stores/TrainingLearning.h"

#include "base/Application.h"
#include "base/IniFile.h"
#include "filter/FilterChain.h"
#include "filter/FilterManager.h"
#include "filter/FilterVerdict.h"
#include "filter/LearningFilter.h"
#include "filter/PluginManager.h"
#include "stores/RecycleBin.h"
#include "stores/TrainingArea.h"
#include "tests/fakes/ScriptedShell.h"
#include "tests/fakes/TempFolder.h"
#include "upstream/MailMessage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <memory>

using namespace corvanthelix;
using corvanthelix::testing::ScriptedShell;
using corvanthelix::testing::TempFolder;

namespace {

const std::string kAccount = "alice @ pop.example.org";

std::string mailText(const std::string& subject, const std::string& body) {
    return "From: Jane Doe <jane@example.org>\r\nSubject: " + subject +
           "\r\nDate: Tue, 8 Dec 2026 13:05:00 +0000\r\n\r\n" + body + "\r\n";
}

struct ScriptedQuestions : TrainingLearnQuestions {
    std::deque<bool> restoreAnswers;
    std::deque<bool> downloadAnswers;
    std::vector<std::string> log;
    static bool next(std::deque<bool>& answers) {
        const bool answer = !answers.empty() && answers.front();
        if (!answers.empty()) answers.pop_front();
        return answer;
    }
    bool confirmRestore(const std::string& sender, const std::string& subject) override {
        log.push_back("restore?" + sender + "|" + subject);
        return next(restoreAnswers);
    }
    bool confirmDownload(const std::string&, const std::string& subject) override {
        log.push_back("download?" + subject);
        return next(downloadAnswers);
    }
    void rowDone(const std::string& fileName, bool learned, int done) override {
        log.push_back(std::string(learned ? "learned " : "left ") + std::to_string(done) + " " + fileName);
    }
};

class TrainingLearningTest : public ::testing::Test {
protected:
    void SetUp() override {
        FilterManager::destroyInstance();
        FilterChain::destroyInstance();
        PluginManager::destroyInstance();
        ASSERT_TRUE(Application::instance().setProgramFolder(tmp.path()));
        IniFile::clearCache();
        Application::instance().setShell(&shell);
        area = std::make_unique<TrainingArea>(tmp.path(), TrainingArea::Options{tmp.file("corvanthelix.ini")});
        bin = std::make_unique<RecycleBin>(tmp.path(), RecycleBin::Options{tmp.file("corvanthelix.ini"), &shell});
        bin->rebuildIndex(false);
        bin->setRestoreDownloader([this](const std::string&, const std::string&, const std::string&, MailMessage& message) {
            if (!serverHas) return false;
            message.parse(mailText("partial", "the rest"));
            return true;
        });
    }
    void TearDown() override {
        FilterManager::destroyInstance();
        FilterChain::destroyInstance();
        PluginManager::destroyInstance();
        Application::instance().setShell(nullptr);
    }

    // Files the message in the training area (and, when `binned`, in the recycle bin first: whole
    // or only its header) and returns the item Learn gets for it.
    TrainingLearnItem file(const std::string& subject, bool isSpam, bool binned = false, bool whole = true) {
        static int uid = 0;
        MailMessage message;
        message.parse(mailText(subject, "words of " + subject));
        std::string recycleName;
        if (binned) {
            MailMessage copy;
            if (whole) copy.parse(mailText(subject, "words of " + subject));
            else copy.parseTop(mailText(subject, ""), 0);
            std::string path;
            EXPECT_TRUE(bin->addMessage(copy, "uid" + std::to_string(++uid), FilterVerdict{}, kAccount, &path, true));
            recycleName = path.substr(bin->folder().size());
        }
        EXPECT_TRUE(area->addMessage(message, isSpam ? 1 : 2, recycleName));
        std::string name;
        EXPECT_TRUE(area->isInTrainingArea(message, name));
        return {name, isSpam, recycleName, "Jane Doe", subject};
    }

    bool restored(const std::string& name) {
        for (const RecycleEntry& e : bin->entries())
            if (e.name == name) return e.restored;
        return false;
    }
    size_t entries() {
        std::vector<TrainingEntry> list;
        area->listEntries(list);
        return list.size();
    }

    TempFolder tmp;
    ScriptedShell shell;
    std::unique_ptr<TrainingArea> area;
    std::unique_ptr<RecycleBin> bin;
    bool serverHas = true;
};

} // namespace

TEST_F(TrainingLearningTest, EveryReadableItemIsLearnedOnceAndLeavesTheTrainingArea) {
    const TrainingLearnItem spam = file("cheap pills offer", true);
    const TrainingLearnItem ham = file("project meeting agenda", false);
    TrainingLearnItem lost = file("file vanished", true);
    std::remove(area->messagePath(lost.fileName).c_str());
    ASSERT_EQ(entries(), 3u);

    ScriptedQuestions questions;
    const TrainingLearnResult result = TrainingLearning::run(*area, bin.get(), {spam, lost, ham}, questions);
    EXPECT_EQ(result.learned, (std::vector<std::string>{spam.fileName, ham.fileName}));
    EXPECT_EQ(result.left, (std::vector<std::string>{lost.fileName}));
    EXPECT_EQ(questions.log, (std::vector<std::string>{"learned 1 " + spam.fileName, "left 2 " + lost.fileName,
                                                       "learned 3 " + ham.fileName}));
    EXPECT_EQ(entries(), 1u) << "the unreadable one stays";

    // The word lists were saved at the end with one message of each kind.
    LearningFilter saved;
    saved.load(tmp.file("training"), 0);
    EXPECT_EQ(saved.bad().messages(), 1u);
    EXPECT_EQ(saved.good().messages(), 1u);

    // Learned once only: a second run finds nothing to learn.
    ScriptedQuestions again;
    EXPECT_TRUE(TrainingLearning::run(*area, bin.get(), {spam, ham}, again).learned.empty());
}

TEST_F(TrainingLearningTest, NonSpamInTheRecycleBinIsOfferedBack) {
    const TrainingLearnItem yes = file("wanted newsletter", false, true);
    const TrainingLearnItem no = file("kept in the bin", false, true);
    const TrainingLearnItem spam = file("binned spam", true, true);
    const TrainingLearnItem partial = file("partial", false, true, false);
    ScriptedQuestions questions;
    questions.restoreAnswers = {true, false, true};
    questions.downloadAnswers = {true};
    const TrainingLearnResult result = TrainingLearning::run(*area, bin.get(), {yes, no, spam, partial}, questions);

    EXPECT_EQ(result.learned.size(), 4u);
    EXPECT_EQ(entries(), 0u);
    EXPECT_TRUE(restored(yes.recycleFileName));
    EXPECT_FALSE(restored(no.recycleFileName));
    EXPECT_FALSE(restored(spam.recycleFileName)) << "spam is never offered";
    ASSERT_EQ(result.restored.size(), 2u);
    EXPECT_EQ(result.restored[0], yes.recycleFileName);
    EXPECT_NE(result.restored[1], partial.recycleFileName) << "the downloaded copy has a new name";
    EXPECT_TRUE(restored(result.restored[1]));
    EXPECT_EQ(questions.log, (std::vector<std::string>{
                                 "restore?Jane Doe|wanted newsletter", "learned 1 " + yes.fileName,
                                 "restore?Jane Doe|kept in the bin", "learned 2 " + no.fileName,
                                 "learned 3 " + spam.fileName,
                                 "restore?Jane Doe|partial", "download?partial", "learned 4 " + partial.fileName}));
}

TEST_F(TrainingLearningTest, AFailedDownloadCountsAsNoAndTheMessageIsStillLearned) {
    serverHas = false;
    const TrainingLearnItem partial = file("partial", false, true, false);
    const TrainingLearnItem gone = file("not in the bin any more", false, true);
    bin->deleteEntries({gone.recycleFileName});
    ScriptedQuestions questions;
    questions.restoreAnswers = {true, true};
    questions.downloadAnswers = {true};
    const TrainingLearnResult result = TrainingLearning::run(*area, bin.get(), {partial, gone}, questions);
    EXPECT_EQ(result.learned.size(), 2u);
    EXPECT_TRUE(result.restored.empty());
    EXPECT_FALSE(restored(partial.recycleFileName));
    EXPECT_EQ(questions.log, (std::vector<std::string>{"restore?Jane Doe|partial", "download?partial",
                                                       "learned 1 " + partial.fileName, "learned 2 " + gone.fileName}));
}
