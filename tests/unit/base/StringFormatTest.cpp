// Formats from the string table: a translation is used only when its conversions match.
#include "base/StringFormat.h"

#include "base/StringTable.h"

#include <gtest/gtest.h>

#include <string>

using namespace corvanthelix;

namespace {

// 185 is "%i messages - %.2f KB"; 240 is "%i senders have been added successfully."
std::string translate(int id, const char* english) {
    if (id == 185) return "%i Nachrichten - %.2f KB";
    if (id == 240) return "%s Absender wurden hinzugefügt."; // wrong conversion
    return english;
}

struct TranslatorGuard {
    TranslatorGuard() { setStringTranslator(&translate); }
    ~TranslatorGuard() { setStringTranslator(nullptr); }
};

} // namespace

TEST(StringFormat, ConversionsInOrder) {
    EXPECT_EQ(formatConversions("%i%% of %.1f kb, %s, 5% to 10%."),
              (std::vector<std::string>{"%i", "%%", "%.1f", "%s"}));
    EXPECT_EQ(formatConversions("%-5ld and %02i:%02i"), (std::vector<std::string>{"%-5ld", "%02i", "%02i"}));
    EXPECT_TRUE(formatConversions("no conversions at 100%").empty());
}

TEST(StringFormat, TranslationWithOtherConversionsFallsBackToEnglish) {
    TranslatorGuard guard;
    EXPECT_EQ(formatString(185, 2, 1.5), "2 Nachrichten - 1.50 KB");
    EXPECT_EQ(formatString(240, 3), "3 senders have been added successfully.");
    EXPECT_EQ(loadFormat(999999), "");
}
