#include "chisquare/ChiSquareScorer.h"
#include "chisquare/TokenDatabase.h"
#include "chisquare/TokenSet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace corvanthelix::chisquare;

namespace {

TEST(ChiSquareScorerTest, SurvivalFunctionMatchesTables) {
    struct Case {
        double chi2;
        int degrees;
        double q;
    };
    // Upper-tail probabilities of the chi-square distribution (standard tables; e^-1 for 2, 2).
    const Case cases[] = {{2.0, 2, 0.36787944}, {5.99146, 2, 0.05},   {9.48773, 4, 0.05},
                          {18.307, 10, 0.05},   {37.5662, 20, 0.01},  {10.0, 10, 0.44049329},
                          {0.0, 8, 1.0},        {-3.0, 8, 1.0}};
    for (const Case& c : cases)
        EXPECT_NEAR(ChiSquareScorer::chiSquareSurvival(c.chi2, c.degrees), c.q, 2e-5) << c.chi2 << ", " << c.degrees;
    // Where exp(-chi2/2) alone underflows, the sum must not: far below the mean it is 1, far above 0.
    EXPECT_NEAR(ChiSquareScorer::chiSquareSurvival(1600.0, 2000), 1.0, 1e-9);
    EXPECT_LT(ChiSquareScorer::chiSquareSurvival(2000.0, 300), 1e-100);
}

TEST(ChiSquareScorerTest, RobinsonProbabilityAndFisherCombination) {
    ChiSquareParameters parameters;
    parameters.strength = 1.0;
    parameters.assumed = 0.5;
    ChiSquareScorer scorer(parameters);
    // Seen in 3 of 10 spam and none of 10 ham: p = 1, n = 3, f = (0.5 + 3) / 4.
    EXPECT_DOUBLE_EQ(scorer.tokenProbability(3, 0, 10, 10), 0.875);
    // Equally common in both kinds (relative to their counts): 0.5 whatever the evidence.
    EXPECT_DOUBLE_EQ(scorer.tokenProbability(2, 8, 10, 40), 0.5);
    // Never seen: the assumed probability.
    EXPECT_DOUBLE_EQ(scorer.tokenProbability(0, 0, 10, 10), 0.5);

    EXPECT_DOUBLE_EQ(ChiSquareScorer::combine({}), 0.5);
    EXPECT_NEAR(ChiSquareScorer::combine({0.2, 0.8}), 0.5, 1e-12);
    // One token of 0.99: H = Q(-2 ln 0.99, 2) = 0.99, S = Q(-2 ln 0.01, 2) = 0.01, I = 0.99.
    EXPECT_NEAR(ChiSquareScorer::combine({0.99}), 0.99, 1e-12);
    EXPECT_GT(ChiSquareScorer::combine({0.99, 0.98, 0.97, 0.2}), 0.95);
    EXPECT_LT(ChiSquareScorer::combine({0.01, 0.02, 0.03, 0.8}), 0.05);
}

TEST(ChiSquareScorerTest, VerdictsFollowTheCutOffsAndNeedBothKindsLearned) {
    ChiSquareParameters parameters;
    parameters.strength = 1.0;
    parameters.minDeviation = 0.1;
    parameters.spamCutoff = 0.9;
    parameters.hamCutoff = 0.2;
    ChiSquareScorer scorer(parameters);
    TokenDatabase database;
    TokenSet spam, ham, unknown;
    for (const char* t : {"cheap", "pills", "winner"}) spam.add(t);
    for (const char* t : {"agenda", "meeting", "minutes"}) ham.add(t);
    unknown.add("zebra");

    for (int i = 0; i < 5; ++i) database.learn(spam, true);
    // Only spam learned: it says nothing, however spammy the message.
    EXPECT_EQ(scorer.score(spam, database).verdict, ChiSquareVerdict::Undecided);
    for (int i = 0; i < 5; ++i) database.learn(ham, false);

    ChiSquareScore judged = scorer.score(spam, database);
    EXPECT_EQ(judged.verdict, ChiSquareVerdict::Spam);
    EXPECT_EQ(judged.clues, 3u);
    ASSERT_FALSE(judged.spamClues.empty());
    EXPECT_NEAR(judged.spamClues[0].second, (0.5 + 5) / 6.0, 1e-12);
    EXPECT_EQ(scorer.score(ham, database).verdict, ChiSquareVerdict::NonSpam);
    ChiSquareScore nothing = scorer.score(unknown, database);
    EXPECT_EQ(nothing.verdict, ChiSquareVerdict::Undecided);
    EXPECT_EQ(nothing.indicator, 0.5);
    EXPECT_EQ(nothing.clues, 0u);
}

} // namespace
