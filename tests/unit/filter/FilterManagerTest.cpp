#include "filter/FilterManager.h"

#include "base/Application.h"
#include "base/IniFile.h"
#include "base/Settings.h"
#include "filter/FilterChain.h"
#include "filter/FilterVerdict.h"
#include "filter/LearningFilter.h"
#include "upstream/MailMessage.h"
#include "tests/fakes/FakeChainPluginHost.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using namespace corvanthelix;
using corvanthelix::testing::FakeChainPluginHost;
using corvanthelix::testing::TempFolder;

namespace {

using Plugin = FakeChainPluginHost::Plugin;

constexpr const char* kSpamText = "viagra pills cheap offer";
constexpr const char* kHamText = "meeting agenda project notes";

MailMessage message(const std::string& body) {
    MailMessage m;
    m.parse("From: someone@example.com\r\nSubject: hi\r\n\r\n" + body + "\r\n");
    return m;
}

class FilterManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Application::instance().setProgramFolder(tmp.path()));
        IniFile::clearCache();
        host.install();
        FilterManager::destroyInstance();
        FilterChain::destroyInstance();
    }
    void TearDown() override {
        FilterManager::destroyInstance();
        FilterChain::destroyInstance();
    }

    std::string trainingFile(const char* name) const { return tmp.file(std::string("training/") + name); }

    // Word lists in which kSpamText is clearly spam and kHamText clearly not.
    void trainWordLists() {
        std::filesystem::create_directories(tmp.file("training"));
        LearningFilter learning;
        learning.load(tmp.file("training"), 0);
        for (int i = 0; i < 10; ++i) {
            learning.learnText(std::string(kSpamText) + "\r\n", "", true);
            learning.learnText(std::string(kHamText) + "\r\n", "", false);
        }
        learning.save();
    }

    TempFolder tmp;
    FakeChainPluginHost host;
};

} // namespace

TEST_F(FilterManagerTest, RunFollowsTheChainAndTheBehaviours) {
    trainWordLists();
    tmp.write("spampoints.ini", "[PROBABILITIES]\ncasino=150\nlottery=50\n");
    const std::string builtInsOff = "FilterLearningEnable=0\nFilterWordEnable=0\n";
    // Unconfigured plug-ins fill the chain from the bottom; these cases want a before b.
    const std::string ordered = "[FILTERPRIORITY]\na.so=10\nb.so=11\n";
    struct Case {
        const char* why;
        std::string settings; // whole settings file
        std::vector<Plugin> plugins;
        const char* text;
        bool spam;
        double probability; // < 0: at least -probability
        const char* filterName;
        const char* reasonHas;
        std::vector<int> pluginCalls;
    } cases[] = {
        {"all filters disabled: non-spam",
         "[CORVANTHELIX]\nFilterLearningEnable=0\nFilterWordEnable=0\nFilterPluginEnable=0\n",
         {Plugin{"p.so", "P", false, -1}}, kSpamText, false, 0.4, "", "", {0}},
        {"learning spam that continues, spam-word filter undecided: not spam",
         "[FILTERBEHAVIORSPAM]\n1=1\n", {}, kSpamText, false, 0.4, "", "", {}},
        {"learning spam ends the chain", "", {}, kSpamText, true, -0.9, "Learning Filter", "viagra", {}},
        {"nobody decides", "", {}, "hello there", false, 0.4, "", "", {}},
        {"learning non-spam ends before a spam plug-in", "", {Plugin{"p.so", "P", false, -1}}, kHamText,
         false, 0.0, "Learning Filter", "", {0}},
        {"spam words", "[CORVANTHELIX]\nFilterLearningEnable=0\n", {}, "casino tonight", true, 1.5,
         "Spam Word Filter", "casino", {}},
        {"spam words below the threshold leave a neutral verdict", "[CORVANTHELIX]\nFilterLearningEnable=0\n",
         {}, "lottery news", false, 0.4, "", "", {}},
        {"plug-in spam continues, the next plug-in's non-spam ends",
         "[CORVANTHELIX]\n" + builtInsOff + ordered + "[FILTERBEHAVIORSPAM]\na.so=1\n",
         {Plugin{"a.so", "A", false, -1, 0.8, "from A"}, Plugin{"b.so", "B", false, 1, 0.1}}, kSpamText,
         false, 0.1, "B", "", {1, 1}},
        {"plug-in spam ends the chain with its reason", "[CORVANTHELIX]\n" + builtInsOff + ordered,
         {Plugin{"a.so", "A", false, -1, 0.8, "attachment .exe"}, Plugin{"b.so", "B", false, 1}}, kHamText,
         true, 0.8, "A", "attachment .exe", {1, 0}},
        {"an undecided plug-in passes on", "[CORVANTHELIX]\n" + builtInsOff + ordered,
         {Plugin{"a.so", "A", false, 0, 0.3, "half a reason"}, Plugin{"b.so", "B", false, -1, 0.9}}, kHamText,
         true, 0.9, "B", "", {1, 1}},
        {"a throwing plug-in counts as undecided", "[CORVANTHELIX]\n" + builtInsOff + ordered,
         {Plugin{"a.so", "A", false, -1, 0, "", true}, Plugin{"b.so", "B", false, 1, 0.2}}, kSpamText,
         false, 0.2, "B", "", {1, 1}},
        {"Enable 0 runs nothing", "[CORVANTHELIX]\nEnable=0\n", {Plugin{"p.so", "P", false, -1}}, kSpamText,
         false, 0.4, "", "", {0}},
    };
    for (Case& c : cases) {
        tmp.write("corvanthelix.ini", c.settings);
        host.plugins = c.plugins;
        FilterChain::destroyInstance();
        FilterManager& manager = FilterManager::instance();
        manager.acquire(true);

        FilterVerdict verdict;
        verdict.spam = 1;
        verdict.setFilterName("stale");
        MailMessage m = message(c.text);
        bool spam = manager.Run(7, &m, verdict);
        EXPECT_EQ(spam, c.spam) << c.why;
        EXPECT_EQ(verdict.spam, c.spam ? 1 : 0) << c.why;
        if (c.probability < 0)
            EXPECT_GE(verdict.probability, -c.probability) << c.why;
        else
            EXPECT_NEAR(verdict.probability, c.probability, 1e-6) << c.why;
        EXPECT_STREQ(verdict.filterName, c.filterName) << c.why;
        EXPECT_NE(std::string(verdict.reason).find(c.reasonHas), std::string::npos)
            << c.why << ": reason " << verdict.reason;
        for (size_t i = 0; i < c.pluginCalls.size(); ++i)
            EXPECT_EQ(host.plugins[i].calls, c.pluginCalls[i]) << c.why << ": plug-in " << i;
        manager.release();
    }
}

TEST_F(FilterManagerTest, AcquisitionsLoadAndTheLastReleaseFrees) {
    FilterManager& manager = FilterManager::instance();
    EXPECT_FALSE(manager.learningLoaded());
    manager.acquire(false);
    EXPECT_TRUE(manager.learningLoaded());
    EXPECT_FALSE(manager.wordsLoaded()) << "words only when asked for";
    EXPECT_EQ(host.loadCalls, 1) << "the plug-ins are loaded with the acquisition";
    manager.acquire(true);
    EXPECT_TRUE(manager.wordsLoaded());
    manager.release();
    EXPECT_TRUE(manager.learningLoaded()) << "one user is left";
    manager.release();
    EXPECT_FALSE(manager.learningLoaded());
    EXPECT_FALSE(manager.wordsLoaded());
    manager.release();
    EXPECT_EQ(manager.acquisitions(), 0) << "a release too many is harmless";

    int loads = host.loadCalls;
    settings::setFilterPluginEnable(0);
    manager.acquire(true);
    EXPECT_EQ(host.loadCalls, loads) << "no plug-ins while they are switched off";
}

TEST_F(FilterManagerTest, ReloadKeepsTheUsersItHas) {
    trainWordLists();
    FilterManager& manager = FilterManager::instance();
    manager.reload();
    EXPECT_EQ(manager.acquisitions(), 1) << "without users the reload counts as one";
    manager.acquire(true);
    manager.reload();
    EXPECT_EQ(manager.acquisitions(), 2);
    EXPECT_TRUE(manager.wordsLoaded());
    manager.release();
    EXPECT_TRUE(manager.learningLoaded()) << "the other user still holds the data";

    FilterVerdict verdict;
    MailMessage m = message(kSpamText);
    EXPECT_TRUE(manager.Run(1, &m, verdict)) << "the reloaded tables are in use";
}

TEST_F(FilterManagerTest, FiltersWithoutLoadedDataAreUndecided) {
    trainWordLists();
    FilterVerdict verdict;
    MailMessage m = message(kSpamText);
    EXPECT_FALSE(FilterManager::instance().Run(1, &m, verdict));
    EXPECT_STREQ(verdict.filterName, "");
    EXPECT_DOUBLE_EQ(verdict.probability, 0.4);
}

TEST_F(FilterManagerTest, LearnSaveAndCompactWorkOnTheSharedTables) {
    trainWordLists();
    std::string before = TempFolder::read(trainingFile(LearningFilter::kBadFileName));
    FilterManager& manager = FilterManager::instance();
    manager.save();
    EXPECT_EQ(TempFolder::read(trainingFile(LearningFilter::kBadFileName)), before)
        << "nothing loaded: the files are left alone";

    MailMessage once = message("zanzibar quokka marmalade");
    ASSERT_TRUE(manager.learn(&once, true)) << "learning loads the tables itself";
    EXPECT_FALSE(manager.learn(nullptr, true));
    manager.save();
    LearningFilter reread;
    reread.load(tmp.file("training"), 0);
    EXPECT_EQ(reread.bad().messages(), 11u);

    LearningFilter::CompactResult result = manager.compact(true, false, 1, 0);
    EXPECT_EQ(result.wordsDeleted, 3u) << "the three words seen once";
    reread.load(tmp.file("training"), 0);
    EXPECT_EQ(reread.bad().count("quokka"), 0u);
    EXPECT_EQ(reread.bad().count("viagra"), 10u);
}

TEST_F(FilterManagerTest, MemoryLimitComesFromTheSettings) {
    std::string words;
    for (int i = 0; i < 400; ++i) words += "word" + std::to_string(i) + " ";
    MailMessage m = message(words);
    size_t learned[2];
    int kilobytes[2] = {0, 1};
    for (int i = 0; i < 2; ++i) {
        std::filesystem::remove_all(tmp.file("training"));
        std::filesystem::create_directories(tmp.file("training"));
        settings::setTrainingAreaMaxMemory(kilobytes[i]);
        FilterManager::destroyInstance();
        FilterManager& manager = FilterManager::instance();
        manager.acquire(false);
        manager.learn(&m, true);
        manager.save();
        LearningFilter reread;
        reread.load(tmp.file("training"), 0);
        learned[i] = reread.bad().entries();
    }
    EXPECT_EQ(learned[0], 400u) << "0 leaves the tables unlimited";
    EXPECT_LT(learned[1], 100u) << "1 KB gives each table 512 bytes";
}

TEST_F(FilterManagerTest, RunsSurviveTheChainBeingDiscardedMeanwhile) {
    trainWordLists();
    host.plugins = {Plugin{"a.so", "A", false, 0}};
    FilterManager& manager = FilterManager::instance();
    manager.acquire(true);
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> runners;
    for (int t = 0; t < 2; ++t)
        runners.emplace_back([&] {
            MailMessage m = message(kSpamText);
            for (int i = 0; i < 200; ++i) {
                FilterVerdict verdict;
                if (!manager.Run(i, &m, verdict)) ++wrong;
            }
        });
    // The options dialog discards and reorders the chain on its own thread.
    std::thread options([&] {
        while (!stop) {
            FilterChain& chain = FilterChain::instance();
            chain.moveDown(chain.Next(nullptr));
            chain.discard();
        }
    });
    for (std::thread& runner : runners) runner.join();
    stop = true;
    options.join();
    EXPECT_EQ(wrong.load(), 0);
    manager.release();
}
