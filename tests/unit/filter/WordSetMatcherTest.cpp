#include "filter/WordSetMatcher.h"

#include "base/TextUtils.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace corvanthelix;

namespace {

std::vector<std::string_view> views(const std::vector<std::string>& words) { return {words.begin(), words.end()}; }

// The words FindText finds in `text`, one search per word: what the matcher must give.
std::vector<uint8_t> searchedOneByOne(const std::vector<std::string>& words, std::string_view text) {
    std::vector<uint8_t> found;
    for (const std::string& word : words) found.push_back(findText(text, word, false) >= 0 ? 1 : 0);
    return found;
}

std::string shown(const std::vector<std::string>& words, const std::vector<uint8_t>& found) {
    std::string out;
    for (size_t i = 0; i < words.size(); ++i)
        if (found[i]) out += "[" + words[i] + "]";
    return out;
}

} // namespace

TEST(WordSetMatcher, FindsOverlappingAndNestedWordsOnce) {
    const std::vector<std::string> words = {"he", "she", "his", "hers", "", "s", "HIS", "ushers!", "\xC4rger"};
    WordSetMatcher matcher(views(words));
    EXPECT_EQ(matcher.wordCount(), words.size());
    struct Case { const char* name; std::string text; std::string expected; } cases[] = {
        {"nested suffixes at one place", "ushers", "[he][she][hers][s]"},
        {"words at both ends", "his s", "[his][s][HIS]"},
        {"upper case text", "USHERS!", "[he][she][hers][s][ushers!]"},
        {"a word longer than the text", "ush", "[s]"},
        {"empty text", "", ""},
        {"only ASCII letters fold", "\xE4rger \xC4RGER", "[\xC4rger]"},
        {"NUL bytes are bytes", std::string("h\0e s", 5), "[s]"},
        {"failure into a longer suffix", "shis", "[his][s][HIS]"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> found = {7};
        matcher.findWords(c.text, found);
        ASSERT_EQ(found.size(), words.size()) << c.name;
        EXPECT_EQ(shown(words, found), c.expected) << c.name;
        EXPECT_EQ(found, searchedOneByOne(words, c.text)) << c.name;
    }

    std::vector<uint8_t> found = {1, 1};
    WordSetMatcher().findWords("anything", found);
    EXPECT_TRUE(found.empty()) << "a matcher without words finds nothing";
}

// Random word sets over a small alphabet, so that words overlap, nest and repeat in every way,
// against one FindText per word on random texts.
TEST(WordSetMatcher, AgreesWithOneSearchPerWordOnRandomTexts) {
    const std::string alphabet = std::string("abAB \xE1\xC1", 7) + std::string(1, '\0');
    std::mt19937 random(20240611);
    auto randomText = [&](size_t maxLength) {
        std::string text(random() % (maxLength + 1), ' ');
        for (char& c : text) c = alphabet[random() % alphabet.size()];
        return text;
    };
    for (int round = 0; round < 300; ++round) {
        std::vector<std::string> words(1 + random() % 12);
        for (std::string& word : words) word = randomText(5);
        WordSetMatcher matcher(views(words));
        for (int t = 0; t < 20; ++t) {
            const std::string text = randomText(40);
            std::vector<uint8_t> found;
            matcher.findWords(text, found);
            ASSERT_EQ(found, searchedOneByOne(words, text)) << "round " << round << " text '" << text << "'";
        }
    }
}
