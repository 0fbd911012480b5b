// The rules of the training area's options.
#include "stores/TrainingAreaOptions.h"

#include <gtest/gtest.h>

#include <string>

using namespace corvanthelix;

TEST(TrainingAreaOptions, OnlyPlainNumbersAreStored) {
    struct Case {
        std::string text;
        std::optional<int> value;
    } cases[] = {{"30", 30},        {" 2048 ", 2048}, {"0", 0},          {"", std::nullopt},
                 {"  ", std::nullopt}, {"-5", std::nullopt}, {"12a", std::nullopt}, {"1.5", std::nullopt},
                 {"999999999", 999999999}, {"1000000000", std::nullopt}};
    for (const Case& c : cases) EXPECT_EQ(TrainingAreaOptions::number(c.text), c.value) << "'" << c.text << "'";
}

TEST(TrainingAreaOptions, AutomaticPremarkingNeedsAKind) {
    EXPECT_FALSE(TrainingAreaOptions::premarkAutoAvailable(false, false));
    EXPECT_TRUE(TrainingAreaOptions::premarkAutoAvailable(true, false));
    EXPECT_TRUE(TrainingAreaOptions::premarkAutoAvailable(false, true));
}
