#include "base/StringTable.h"
#include "base/TranslatedFormat.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace corvanthelix;

namespace {

// The translation every string id gets while a test runs.
std::string gTranslation;
std::string hostileTranslator(int, const char*) { return gTranslation; }

class TranslatedFormatTest : public ::testing::Test {
protected:
    void TearDown() override { setStringTranslator(nullptr); }
    static void translateAllAs(const std::string& text) {
        gTranslation = text;
        setStringTranslator(&hostileTranslator);
    }
};

// Each text the program fills from the string table, with arguments of the kinds its caller passes.
struct FormatUse {
    int id;
    std::function<std::string()> fill;
};

const std::vector<FormatUse>& formatUses() {
    static const std::vector<FormatUse> uses = {
        {114, [] { return TranslatedFormat::byId(114, "pop.example.com"); }},
        {115, [] { return TranslatedFormat::byId(115, 3, 154, 12); }},
        {127, [] { return TranslatedFormat::byId(127, 10.5, 200.25, 33.0); }},
        {133, [] { return TranslatedFormat::byId(133, "0.9.8.1"); }},
        {138, [] { return TranslatedFormat::byId(138, 7); }},
        {163, [] { return TranslatedFormat::byId(163, 4); }},
        {225, [] { return TranslatedFormat::byId(225, 100); }},
        {247, [] { return TranslatedFormat::byId(247, 1110); }},
        {256, [] { return TranslatedFormat::byId(256, 110, 1110); }},
    };
    return uses;
}

// Translations a hostile or careless language file may hold. None of them may reach printf.
const char* const kHostile[] = {
    "%s %s %s",          // the first mail check crashed on this
    "%n",                // writes through an argument
    "%i %n",
    "%s",                // a number read as a pointer
    "%i %i %i %i %i %i", // more conversions than arguments
    "",                  // fewer (for texts that take some)
    "%1$s",              // argument numbers
    "%*i",               // a width taken from the arguments
    "%.*f",
    "%99999999i",        // a width that asks for a huge buffer
    "%.99999999f",
    "%lli %lli %lli",    // wrong length modifiers
    "%Lf %Lf %Lf",
    "%p",
    "%ls",
    "%q",                // unknown conversion
    "trailing %",
};

TEST_F(TranslatedFormatTest, HostileTranslationsFallBackToTheEnglishText) {
    for (const FormatUse& use : formatUses()) {
        setStringTranslator(nullptr);
        const std::string english = use.fill();
        ASSERT_NE(english, englishString(use.id)) << "English text " << use.id << " left unformatted";
        for (const char* hostile : kHostile) {
            translateAllAs(hostile);
            // A hostile text that happens to fit this use's arguments is a valid translation.
            if (TranslatedFormat::conversions(hostile) == TranslatedFormat::conversions(englishString(use.id))) continue;
            EXPECT_EQ(use.fill(), english) << "string " << use.id << " translated as \"" << hostile << "\"";
        }
    }
}

TEST_F(TranslatedFormatTest, MatchingTranslationsAreUsed) {
    struct Case {
        int id;
        const char* translation;
        std::function<std::string()> fill;
        const char* expected;
    };
    const Case cases[] = {
        {115, "Empfange %i (%i kb) von %i Nachrichten...", [] { return TranslatedFormat::byId(115, 10, 154, 12); },
         "Empfange 10 (154 kb) von 12 Nachrichten..."},
        // Flags, widths and precisions may differ as long as the argument kinds stay the same.
        {127, "%-6.2f / %08.1e kB (%g kB/s) 100%%", [] { return TranslatedFormat::byId(127, 1.5, 2.0, 3.0); },
         "1.50   / 02.0e+00 kB (3 kB/s) 100%"},
        {133, "Corvanthelix-Version %s", [] { return TranslatedFormat::byId(133, "0.9.8.1"); },
         "Corvanthelix-Version 0.9.8.1"},
        {225, "%x%% fertig", [] { return TranslatedFormat::byId(225, 255); }, "ff% fertig"},
    };
    for (const Case& c : cases) {
        translateAllAs(c.translation);
        EXPECT_EQ(c.fill(), c.expected) << c.translation;
    }
}

TEST_F(TranslatedFormatTest, EnglishTextThatDoesNotFitTheArgumentsIsReturnedUnfilled) {
    // A caller passing the wrong kinds is a bug; the text stays unformatted instead of crashing.
    EXPECT_EQ(TranslatedFormat::format("Receiving %i of %i", "Empfange %i von %i", "one", 2), "Receiving %i of %i");
    EXPECT_EQ(TranslatedFormat::format("%s", "%s", 5), "%s");
    // Long arguments need the l modifier, in both texts.
    EXPECT_EQ(TranslatedFormat::format("%ld B", "%i B", 7L), "7 B");
    EXPECT_EQ(TranslatedFormat::format("%ld B", "%ld Bytes", 7L), "7 Bytes");
    EXPECT_EQ(TranslatedFormat::byId(999999, 1), "");
}

TEST_F(TranslatedFormatTest, ConversionsReadsKindsInOrderAndRefusesUnsafeOnes) {
    using K = FormatArgument;
    EXPECT_EQ(TranslatedFormat::conversions("%s: %5.1f%% %lu %lld %c %hhx"),
              (std::vector<K>{K::text, K::floating, K::longInteger, K::longLongInteger, K::integer, K::integer}));
    EXPECT_EQ(TranslatedFormat::conversions("no conversions, 100%%"), std::vector<K>{});
    EXPECT_TRUE(TranslatedFormat::conversions("%64i").has_value());
    EXPECT_FALSE(TranslatedFormat::conversions("%65i").has_value());
    EXPECT_FALSE(TranslatedFormat::conversions("%.65f").has_value());
    EXPECT_FALSE(TranslatedFormat::conversions(std::string_view("%\0", 2)).has_value());
    // A NUL inside a translation would hide conversions behind it from the check.
    EXPECT_EQ(TranslatedFormat::format("%i", std::string("x%i\0%s", 6), 1), "1");
}

} // namespace
