#include "base/StringTable.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <set>
#include <string>

using namespace corvanthelix;

namespace {

struct Line {
    int id;
    const char* text;
};

// The table as written, so that its order and its duplicates can be seen.
const Line kLines[] = {
#include "resources/strings.inc"
};

// Texts that are shown as they are and never used as a format.
const std::set<int> kPlainTexts = {169};

// True when every "%" of `text` starts a conversion the program passes arguments for.
bool conversionsAreKnown(const char* text, std::string& bad) {
    for (const char* p = std::strchr(text, '%'); p; p = std::strchr(p, '%')) {
        const char* q = p + 1;
        if (*q == '%') {
            p = q + 1;
            continue;
        }
        if (*q == '.') {
            ++q;
            while (std::isdigit(static_cast<unsigned char>(*q))) ++q;
            if (*q != 'f') {
                bad = p;
                return false;
            }
        } else if (*q != 'i' && *q != 's' && *q != 'd' && *q != 'u' && *q != 'x') {
            bad = p;
            return false;
        }
        p = q + 1;
    }
    return true;
}

std::string shout(int, const char* english) { return std::string(english) + "!"; }

} // namespace

TEST(StringTable, IdsAreSortedWithoutDuplicatesAndEveryTextIsReachable) {
    int previous = 0;
    for (const Line& line : kLines) {
        EXPECT_GT(line.id, previous) << "entry " << line.id << " is out of order or given twice";
        previous = line.id;
        ASSERT_NE(englishString(line.id), nullptr) << line.id;
        EXPECT_STREQ(englishString(line.id), line.text);
    }
}

TEST(StringTable, FormatTextsUseOnlyKnownConversions) {
    for (const Line& line : kLines) {
        if (kPlainTexts.count(line.id)) continue;
        std::string bad;
        EXPECT_TRUE(conversionsAreKnown(line.text, bad)) << "entry " << line.id << " at: " << bad;
    }
}

TEST(StringTable, UnknownIdsAreEmptyAndKnownOnesPassThroughTheTranslator) {
    EXPECT_EQ(englishString(99999), nullptr);
    EXPECT_EQ(loadString(99999), "");
    setStringTranslator(shout);
    EXPECT_EQ(loadString(121), "Close!");
    EXPECT_EQ(loadString(99999), ""); // an unknown id is not handed to the translator
    setStringTranslator(nullptr);
    EXPECT_EQ(loadString(121), "Close");
}
