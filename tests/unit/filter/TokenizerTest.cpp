#include "filter/Tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace corvanthelix;

namespace {

std::vector<std::string> tokens(std::string_view text) {
    std::vector<std::string> out;
    Tokenizer::Run(text, [&](std::string_view token) { out.emplace_back(token); });
    return out;
}

using Tokens = std::vector<std::string>;

} // namespace

TEST(Tokenizer, DelimitersAreExactlyTheThirtyFiveBytes) {
    const std::string delimiters("\x20\x09\x0A\x0D\x0C\x21\x3C\x3E\x28\x29\x5B\x5D\x7B\x7D\x2D\x5F\x3D\x2F"
                                 "\x5C\x2E\x2C\x3B\x3A\x26\x7C\x3F\x2A\x23\x25\x2B\x40\x5E\x22\x60\x7E");
    ASSERT_EQ(delimiters.size(), 35u);
    for (int c = 0; c < 256; ++c) {
        bool listed = c != 0 && delimiters.find(char(c)) != std::string::npos;
        EXPECT_EQ(Tokenizer::isDelimiter((unsigned char)c), listed) << "byte " << c;
    }
}

TEST(Tokenizer, TokensOfTexts) {
    struct Case { const char* name; std::string text; Tokens expected; } cases[] = {
        {"plain words", "Hello, World! ", {"hello", "world"}},
        {"dotted disguise", "V.I.A.G.R.A ", {"viagra"}},
        {"hyphenated disguise", "v-i-a-g-r-a ", {"viagra"}},
        {"each silent joiner", "s*p*a*m s|p|a|m s_p_a_m s=p=a=m ", {"spam", "spam", "spam", "spam"}},
        {"any joiner within the first two characters", "v_i=agra ", {"viagra"}},
        {"past two characters only the last joiner joins", "vi_a=gra ", {"via", "gra"}},
        {"exclamation mark stands for i", "v!agra ", {"viagra"}},
        {"backquote stands for i", "fr`ee ", {"friee"}},
        {"at sign stands for a", "c@sh ", {"cash"}},
        {"same joiner goes on after the start", "ab.cd.ef.gh ", {"abcdefgh"}},
        {"a different joiner ends the word", "ab.cd-ef ", {"abcd"}},
        {"joiner after three characters ends the word", "abc.def ", {"abc", "def"}},
        {"host names split", "www.example.com ", {"www", "example", "com"}},
        {"digits only are dropped", "12345 abc1 2024 ", {"abc1"}},
        {"two characters are no token", "ab a ", {}},
        {"short start cut by a plain delimiter", "e.g. ", {}},
        {"twenty characters are a token", "abcdefghijklmnopqrst ", {"abcdefghijklmnopqrst"}},
        {"twenty-one characters are dropped", "abcdefghijklmnopqrstu ", {}},
        {"joined past twenty characters is dropped", "a.b.c.d.e.f.g.h.i.j.k.l.m.n.o.p.q.r.s.t.u ", {}},
        {"joined to exactly twenty is kept", "a.b.c.d.e.f.g.h.i.j.k.l.m.n.o.p.q.r.s.t ",
         {"abcdefghijklmnopqrst"}},
        {"the last word needs a delimiter", "cheap pills", {"cheap"}},
        {"apostrophe and high bytes are word characters", "don't \xC4\xD6Rger ", {"don't", "\xC4\xD6rger"}},
        {"only ASCII letters are lowered", "MiXeD \xC4XY ", {"mixed", "\xC4xy"}},
        {"a NUL ends the text", std::string("abc def \0ghi ", 13), {"abc", "def"}},
        {"runs of delimiters", " \t\r\n\f<>()[]{}abc;;;def:: ", {"abc", "def"}},
    };
    for (const Case& c : cases) EXPECT_EQ(tokens(c.text), c.expected) << c.name;
}

TEST(Tokenizer, RunawayWordsAreDiscardedAtFiveHundredCharacters) {
    EXPECT_EQ(tokens(std::string(500, 'a') + " next "), Tokens{"next"}) << "500 characters then a delimiter";
    // The 501st character throws the 500 away and is itself dropped; the word then starts anew.
    EXPECT_EQ(tokens(std::string(501, 'a') + "xyz "), Tokens{"xyz"});
    // Here "x" is the dropped character, and "yz" is too short.
    EXPECT_EQ(tokens(std::string(500, 'a') + "xyz "), Tokens{});
}

TEST(Tokenizer, CountsEveryOccurrenceIntoATable) {
    WordTable table;
    Tokenizer::Run("Free free FREE offer, free! ", table);
    EXPECT_EQ(table.count("free"), 4u);
    EXPECT_EQ(table.count("offer"), 1u);
    EXPECT_EQ(table.entries(), 2u);
}
