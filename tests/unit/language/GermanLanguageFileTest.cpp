// The German language file shipped in the program folder covers the whole string table.
#include "language/Vexolindra.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

using namespace corvanthelix;

namespace {

struct StringEntry {
    int id;
    const char* text;
};

const StringEntry kStringTable[] = {
#include "resources/strings.inc"
};

const std::string kGermanFile = std::string(CORVANTHELIX_PROGRAM_DIR) + "/deutsch.corvanthelix.language";

// The printf conversions of a text in order ("%s", "%.1f", "%%"), which a translation must keep:
// a German text with another conversion would read the wrong argument. A "%" that starts no
// conversion ("0% to 100%") is plain text.
std::vector<std::string> conversions(const std::string& text) {
    static const std::regex conversion(R"(^%(%|[-+#0]*[0-9]*(\.[0-9]*)?(hh|h|ll|l|L|z)?[diouxXeEfgGcsp]))");
    std::vector<std::string> found;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        std::smatch match;
        std::string rest = text.substr(i);
        if (!std::regex_search(rest, match, conversion)) continue;
        found.push_back(match.str());
        i += match.length() - 1;
    }
    return found;
}

} // namespace

TEST(GermanLanguageFile, HeaderNamesGermanWithPrimaryId7) {
    EXPECT_EQ(conversions("%i%% of %.1f kb, %s, 5% to 10%."),
              (std::vector<std::string>{"%i", "%%", "%.1f", "%s"}));
    CLanguage language;
    ASSERT_EQ(language.SetLanguageFile(kGermanFile.c_str()), 1);
    LANGUAGE info{};
    language.GetInformation(&info);
    EXPECT_STREQ(info.fileName, "deutsch.corvanthelix.language");
    EXPECT_STREQ(info.name, "Deutsch");
    EXPECT_EQ(info.languageId, 7);
}

TEST(GermanLanguageFile, TranslatesEveryStringTableTextKeepingItsConversions) {
    CLanguage language;
    ASSERT_EQ(language.SetLanguageFile(kGermanFile.c_str()), 1);
    ASSERT_GT(sizeof kStringTable / sizeof kStringTable[0], 100u);
    for (const StringEntry& entry : kStringTable) {
        SCOPED_TRACE(entry.id);
        const CLanguageListNode* node = language.FindNode(entry.text);
        ASSERT_NE(node, nullptr) << "no German text for: " << entry.text;
        EXPECT_EQ(conversions(node->Translation()), conversions(entry.text)) << node->Translation();
        // Line breaks carry the layout of message boxes; a lost "\n" escape shows as the two characters.
        EXPECT_EQ(std::string(node->Translation()).find("\\n"), std::string::npos);
    }
}
