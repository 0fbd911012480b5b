// The aggressiveness levels as the options page edits them: thresholds read from the user's file
// before the predefined one, and written back only where the user's file needs them.
#include "filter/AggressivenessLevels.h"

#include "base/IniFile.h"
#include "base/Settings.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;

namespace {

struct Files {
    TempFolder folder;
    std::string user = folder.path() + "/spampoints_user.ini";
    std::string predefined = folder.path() + "/spampoints.ini";
    Files(const std::string& userText, const std::string& predefinedText) {
        if (!userText.empty()) std::ofstream(user) << userText;
        std::ofstream(predefined) << predefinedText;
    }
    bool userHas(int level) const { return IniFile::hasKey("THRESHOLD", settings::thresholdKey(level), user); }
};

} // namespace

TEST(AggressivenessLevels, ThresholdsComeFromTheUserFileFirst) {
    Files files("[THRESHOLD]\nlevel50=77\n", "[THRESHOLD]\nlevel25=120\nlevel50=90\nlevel75=60\nlevel100=5\n");
    AggressivenessLevels levels(files.user, files.predefined);
    EXPECT_EQ(levels.threshold(25), 120);
    EXPECT_EQ(levels.threshold(50), 77);
    EXPECT_EQ(levels.threshold(75), 60);
    EXPECT_FALSE(levels.threshold(0));
    EXPECT_FALSE(levels.threshold(100)); // the extreme levels decide without a threshold
    levels.setThreshold(100, 1);
    EXPECT_FALSE(levels.threshold(100));
}

TEST(AggressivenessLevels, StoreWritesOnlyWhatDiffersOrIsThere) {
    Files files("[THRESHOLD]\nlevel50=90\n", "[THRESHOLD]\nlevel25=120\nlevel50=90\nlevel75=60\n");
    AggressivenessLevels levels(files.user, files.predefined);
    levels.setThreshold(75, 55);
    levels.store();
    EXPECT_FALSE(files.userHas(25)); // equal to the predefined value and not in the user's file
    EXPECT_TRUE(files.userHas(50));  // in the user's file already: kept written
    EXPECT_EQ(settings::threshold(50, files.user), 90);
    EXPECT_EQ(settings::threshold(75, files.user), 55);
    EXPECT_EQ(settings::threshold(75, files.predefined), 60); // the shipped file is never written
    EXPECT_FALSE(files.userHas(0));
    EXPECT_FALSE(files.userHas(100));
}

TEST(AggressivenessLevels, StoredValuesMapToTheNearestLevel) {
    struct Case {
        int value, level;
    } cases[] = {{0, 0}, {25, 25}, {50, 50}, {100, 100}, {-10, 0}, {40, 50}, {37, 25}, {38, 50}, {250, 100}};
    for (const Case& c : cases) EXPECT_EQ(AggressivenessLevels::levelOf(c.value), c.level) << c.value;
}
