#include "chisquare/ChiSquareSettings.h"

#include <gtest/gtest.h>

using namespace corvanthelix::chisquare;

namespace {

TEST(ChiSquareSettingsTest, StoredValuesReadBackAndAnythingElseIsNormal) {
    for (Aggressiveness choice : ChiSquareSettings::kChoices)
        EXPECT_EQ(ChiSquareSettings::parse(ChiSquareSettings::storedValue(choice)), choice);
    for (const char* stored : {"", "3", "-1", "1x", " 0", "careful", "00"})
        EXPECT_EQ(ChiSquareSettings::parse(stored), Aggressiveness::Normal) << '"' << stored << '"';
}

TEST(ChiSquareSettingsTest, ChoicesOnlyMoveTheCutOffsAndInOrder) {
    ChiSquareParameters careful = ChiSquareSettings::parametersFor(Aggressiveness::Careful);
    ChiSquareParameters normal = ChiSquareSettings::parametersFor(Aggressiveness::Normal);
    ChiSquareParameters aggressive = ChiSquareSettings::parametersFor(Aggressiveness::Aggressive);
    ChiSquareParameters shipped = shippedParameters();
    EXPECT_EQ(normal.spamCutoff, shipped.spamCutoff);
    EXPECT_EQ(normal.hamCutoff, shipped.hamCutoff);
    EXPECT_GT(careful.spamCutoff, normal.spamCutoff);
    EXPECT_GT(normal.spamCutoff, aggressive.spamCutoff);
    EXPECT_LT(careful.hamCutoff, normal.hamCutoff);
    EXPECT_LT(normal.hamCutoff, aggressive.hamCutoff);
    for (const ChiSquareParameters& p : {careful, aggressive}) {
        EXPECT_LT(p.spamCutoff, 1.0);
        EXPECT_GT(p.spamCutoff, p.hamCutoff) << "an undecided band stays";
        EXPECT_EQ(p.strength, shipped.strength);
        EXPECT_EQ(p.assumed, shipped.assumed);
        EXPECT_EQ(p.minDeviation, shipped.minDeviation);
        EXPECT_EQ(p.maxClues, shipped.maxClues);
    }
}

} // namespace
