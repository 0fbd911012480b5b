#include "base/Settings.h"
#include "filter/ChainPluginHost.h"
#include "stores/TrainingArea.h"
#include "tests/fakes/PluginFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace corvanthelix;
using namespace corvanthelix::testing;

namespace {

constexpr const char* kLibrary = "chisquare.so";

std::string mail(const std::string& from, const std::string& subject, const std::string& body, int id) {
    return "From: " + from + "\r\nTo: alice@example.org\r\nSubject: " + subject +
           "\r\nMessage-ID: <c" + std::to_string(id) + "@example.org>\r\n\r\n" + body + "\r\n";
}

const std::string kSpamBody = "Refinance today with our exclusive mortgage rates, lowest payments guaranteed, "
                              "no credit check, apply online within minutes and save thousands of dollars";
const std::string kHamBody = "Attached are the minutes of the quarterly planning meeting; the budget review "
                             "moves to Thursday and the project timeline needs your comments";

class ChiSquarePluginTest : public PluginFixture {
protected:
    ChiSquarePluginTest() : PluginFixture(kLibrary) {}

    void SetUp() override {
        PluginFixture::SetUp();
        installChainPluginHost(&PluginManager::chainHost);
    }
    void TearDown() override {
        installChainPluginHost(nullptr);
        PluginFixture::TearDown();
    }

    int judge(PluginRecord* record, const std::string& source, FilterVerdict& verdict, int number = 3) {
        session.sources[number] = source;
        MailMessage parsed = parse(source);
        return manager().pluginVerdict(record, number, &parsed, verdict);
    }

    /// Files `source` in the training area and learns it from there, as the training area window
    /// does with a marked row.
    void learnFromTrainingArea(TrainingArea& training, const std::string& source, bool spam) {
        MailMessage message = parse(source);
        ASSERT_TRUE(training.addMessage(message, TrainingArea::kVerdictNonSpam));
        ASSERT_TRUE(training.learnEntry(trainingFileName(message.source()), spam));
    }

    std::string databasePath() const { return pluginFile("chisquare/words.db"); }
};

TEST_F(ChiSquarePluginTest, LearningTwoSpamFromTheTrainingAreaChangesTheVerdictOnALookAlike) {
    PluginRecord* record = load();
    ASSERT_NE(record, nullptr);
    EXPECT_STREQ(record->info->name, "Chi-Square Filter");
    const std::string lookAlike = mail("Rates Desk <desk@loans.example>", "Refinance now: lowest rates", kSpamBody, 9);
    const std::string colleague = mail("Carol <carol@work.example>", "Planning meeting minutes", kHamBody, 8);

    FilterVerdict verdict;
    EXPECT_EQ(judge(record, lookAlike, verdict), FilterVerdict::kUndecided) << "untrained it says nothing";

    TrainingArea training(program.path());
    learnFromTrainingArea(training, mail("Carol <carol@work.example>", "Meeting minutes", kHamBody + " attached", 1), false);
    EXPECT_EQ(judge(record, lookAlike, verdict), FilterVerdict::kUndecided) << "only non-spam learned";
    learnFromTrainingArea(training, mail("Rates <offers@loans.example>", "Refinance today", kSpamBody, 2), true);
    learnFromTrainingArea(training, mail("Rates <deals@loans.example>", "Lowest rates", kSpamBody + " today", 3), true);

    EXPECT_EQ(judge(record, lookAlike, verdict), FilterVerdict::kSpam);
    EXPECT_GE(verdict.probability, 0.999);
    EXPECT_EQ(std::string(verdict.reason).rfind("chi-square 1.000: ", 0), 0u) << verdict.reason;
    EXPECT_NE(std::string(verdict.reason).find("Refinance"), std::string::npos) << verdict.reason;
    EXPECT_NE(judge(record, colleague, verdict), FilterVerdict::kSpam);
    std::vector<TrainingEntry> left;
    ASSERT_TRUE(training.listEntries(left));
    EXPECT_TRUE(left.empty()) << "learned messages leave the training area";

    // What it learned is on disk and comes back when the plug-in is loaded again.
    std::string saved = TempFolder::read(databasePath());
    EXPECT_EQ(saved.rfind("CVXCHISQ", 0), 0u);
    manager().setEnabled(*record, false);
    ASSERT_TRUE(manager().setEnabled(*record, true));
    EXPECT_EQ(judge(record, lookAlike, verdict), FilterVerdict::kSpam);
}

TEST_F(ChiSquarePluginTest, ComesBeforeTheLearningFilterAndLetsNonSpamGoOn) {
    ASSERT_NE(load(), nullptr);
    std::vector<ChainEntry> chain = FilterChain::instance().entries();
    ASSERT_GE(chain.size(), 2u);
    EXPECT_EQ(chain[0].key, kLibrary);
    EXPECT_EQ(chain[0].continueOnSpam, 0);
    EXPECT_EQ(chain[0].continueOnNonSpam, 1);
    EXPECT_EQ(chain[1].kind, ChainEntry::kLearning);
    EXPECT_EQ(chain[1].continueOnNonSpam, 0);

    // The user's choice counts once it is stored.
    FilterChain::instance().discard();
    settings::setFilterBehaviorNonSpam(kLibrary, 0);
    settings::setFilterPriority(kLibrary, 3);
    chain = FilterChain::instance().entries();
    ASSERT_EQ(chain.size(), 3u);
    EXPECT_EQ(chain[2].key, kLibrary);
    EXPECT_EQ(chain[2].continueOnNonSpam, 0);
}

TEST_F(ChiSquarePluginTest, ADamagedDatabaseIsSetAsideAndLearningStartsAfresh) {
    program.write("plugins/chisquare/words.db", "CVXCHISQ garbage");
    PluginRecord* record = load();
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(TempFolder::read(databasePath() + ".damaged"), "CVXCHISQ garbage");
    const std::string spam = mail("Rates <offers@loans.example>", "Refinance today", kSpamBody, 2);
    manager().notifyLearned(spam, true);
    manager().notifyLearned(mail("Carol <carol@work.example>", "Meeting", kHamBody, 1), false);
    std::string saved = TempFolder::read(databasePath());
    EXPECT_EQ(saved.rfind("CVXCHISQ", 0), 0u);
    EXPECT_GT(saved.size(), 100u);
}

} // namespace
