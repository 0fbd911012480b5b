#include "language/CLanguage.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;

namespace {

const char* kGermanHeader =
    "NAME: Deutsch\n"
    "VERSION: 1.2\n"
    "AUTHOR: Team\n"
    "LANGUAGEID: 407\n";

std::string translate(const CLanguage& language, const char* source) { return language.TranslateText(source); }

LANGUAGE informationOf(const CLanguage& language) {
    LANGUAGE info;
    std::memset(&info, 0x5A, sizeof info);
    language.GetInformation(&info);
    return info;
}

} // namespace

TEST(CLanguage, TranslatesByWholeTextIgnoringCaseWithTheColonRule) {
    TempFolder tmp;
    CLanguage language;
    ASSERT_EQ(language.SetLanguageFile(tmp.write("de.corvanthelix.language", std::string(kGermanHeader) +
        "# Comment\n"
        "Close\n"
        "=Schlie\xC3\x9f" "en\n"
        "&File\n"
        "=&Datei\n"
        "Server:\n"
        "=Rechner:\n"
        "Server\n"
        "=Server-Name\n"
        "User name\n"
        "=Benutzername\n"
        "Line one\\nLine two\n"
        "=Zeile eins\\nZeile zwei\n"
        "42 messages\n"
        "=42 Nachrichten\n").c_str()), 1);

    struct Case { const char* source; const char* expected; };
    const Case cases[] = {
        {"Close", "Schlie\xC3\x9f" "en"},
        {"CLOSE", "Schlie\xC3\x9f" "en"},           // letter case does not matter
        {"close", "Schlie\xC3\x9f" "en"},
        {"&File", "&Datei"},
        {"File", "File"},                            // the accelerator marker is part of the text
        {"Server:", "Rechner:"},                     // an entry of its own wins over the colon rule
        {"User name:", "Benutzername:"},             // no entry: translation of "User name" and ":"
        {"USER NAME:", "Benutzername:"},
        {"User name::", "User name::"},              // only one colon is taken off
        {"Line one\nLine two", "Zeile eins\nZeile zwei"},
        {"Line one\\nLine two", "Line one\\nLine two"}, // the program's text holds a real line feed
        {"42 messages", "42 Nachrichten"},           // bucket 0: does not start with a letter
        {"Unknown text", "Unknown text"},
        {":", ":"},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        EXPECT_EQ(translate(language, c.source), c.expected);
        EXPECT_EQ(language.GetTranslatedStrLen(c.source), std::strlen(c.expected));
    }
}

TEST(CLanguage, TranslateAlwaysTerminatesInsideTheBuffer) {
    CLanguage language;
    language.InsertNode("Name", "Benutzer");
    struct Case { const char* source; size_t size; const char* expected; };
    const Case cases[] = {
        {"Name", 9, "Benutzer"},
        {"Name", 5, "Benu"},
        {"Name:", 10, "Benutzer:"},
        {"Name:", 9, "Benutzer"},  // no room left for the colon
        {"Name:", 4, "Ben"},
        {"Other", 3, "Ot"},
        {"Other", 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.source) + " in " + std::to_string(c.size));
        char buffer[16];
        std::memset(buffer, '#', sizeof buffer);
        language.Translate(c.source, buffer, c.size);
        EXPECT_STREQ(buffer, c.expected);
        EXPECT_EQ(buffer[c.size], '#') << "wrote past the buffer";
    }
    char untouched[4] = "abc";
    language.Translate("Name", untouched, 0);
    EXPECT_STREQ(untouched, "abc");
    language.Translate(nullptr, untouched, sizeof untouched);
    EXPECT_STREQ(untouched, "");
    EXPECT_EQ(language.GetTranslatedStrLen(nullptr), 0u);
}

TEST(CLanguage, BodyLinesFollowTheFileRules) {
    TempFolder tmp;
    CLanguage language;
    ASSERT_EQ(language.SetLanguageFile(tmp.write("x.language",
        "#Not a source\n"
        "=Kein Quelltext\n"
        "=Orphan before any source\n"
        "   Padded source   \r\n"
        "=   Padded translation   \r\n"
        "Tab\tinside\n"
        "=Tab\tdrin\t\n"
        "With comment between\n"
        "# a remark\n"
        "\n"
        "=Mit Kommentar dazwischen\n"
        "No translation\n"
        "Next source\n"
        "=N\xC3\xA4" "chste Quelle\n"
        "Left empty\n"
        "=   \n"
        "Back\\slash \\t stays\n"
        "=R\xC3\xBC" "ck\\strich \\t bleibt\n"
        "Last line without line end\n"
        "=Letzte Zeile").c_str()), 1);

    struct Case { const char* source; const char* expected; };
    const Case cases[] = {
        {"Padded source", "Padded translation"},
        {"Tab\tinside", "Tab\tdrin\t"},             // only spaces are blanks
        {"With comment between", "Mit Kommentar dazwischen"},
        {"No translation", "No translation"},       // the next source line replaced it
        {"Next source", "N\xC3\xA4" "chste Quelle"},
        {"Left empty", "Left empty"},               // an empty translation keeps the English text
        {"Back\\slash \\t stays", "R\xC3\xBC" "ck\\strich \\t bleibt"},
        {"Last line without line end", "Letzte Zeile"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        EXPECT_EQ(translate(language, c.source), c.expected);
    }
    EXPECT_EQ(language.FindNode("=Orphan before any source"), nullptr);
    EXPECT_EQ(language.FindNode("Orphan before any source"), nullptr);
    EXPECT_EQ(language.FindNode("#Not a source"), nullptr);
    EXPECT_EQ(language.FindNode("Left empty"), nullptr);
}

TEST(CLanguage, TwoTranslationLinesWithAndWithoutOverride) {
    TempFolder tmp;
    std::string twice = std::string(kGermanHeader) + "Delete\n=Erste\n=Zweite\nKeep\n=Behalten\n";
    std::string main = tmp.write("main.language", twice);
    std::string plugin = tmp.write("plugin.language", std::string(kGermanHeader) + "delete\n=Plugin\nNew\n=Neu\n");

    CLanguage withOverride;
    ASSERT_EQ(withOverride.SetLanguageFile(main.c_str()), 1);
    EXPECT_EQ(translate(withOverride, "Delete"), "Zweite");

    CLanguage withoutOverride;
    withoutOverride.GetInformation(nullptr);  // does nothing
    LANGUAGE german = informationOf(withOverride);
    EXPECT_EQ(german.languageId, 7);
    // An empty table has id 0; load through a German file first so the ids agree.
    ASSERT_EQ(withoutOverride.SetLanguageFile(tmp.write("empty.language", kGermanHeader).c_str()), 1);
    ASSERT_EQ(withoutOverride.AddLanguageFile(main.c_str(), 0), 1);
    EXPECT_EQ(translate(withoutOverride, "Delete"), "Erste");

    // A plug-in file added without override cannot hide the main file's entries, only add new ones.
    ASSERT_EQ(withOverride.AddLanguageFile(plugin.c_str(), 0), 1);
    EXPECT_EQ(translate(withOverride, "Delete"), "Zweite");
    EXPECT_EQ(translate(withOverride, "New"), "Neu");
    ASSERT_EQ(withOverride.AddLanguageFile(plugin.c_str(), 1), 1);
    EXPECT_EQ(translate(withOverride, "DELETE"), "Plugin");
}

TEST(CLanguage, AddLanguageFileRefusesWhatItCannotUse) {
    TempFolder tmp;
    CLanguage language;
    ASSERT_EQ(language.SetLanguageFile(tmp.write("de.language", std::string(kGermanHeader) + "Yes\n=Ja\n").c_str()), 1);
    std::string french = tmp.write("fr.language", "LANGUAGEID: 40C\nYes\n=Oui\nNo\n=Non\n");
    std::string noId = tmp.write("none.language", "No\n=Nein\n");

    EXPECT_EQ(language.AddLanguageFile(french.c_str(), 1), 0);
    EXPECT_EQ(language.AddLanguageFile(noId.c_str(), 1), 0);
    EXPECT_EQ(language.AddLanguageFile(tmp.file("missing.language").c_str(), 1), 0);
    EXPECT_EQ(language.AddLanguageFile("", 1), 0);
    EXPECT_EQ(language.AddLanguageFile(nullptr, 1), 0);
    EXPECT_EQ(translate(language, "Yes"), "Ja");
    EXPECT_EQ(translate(language, "No"), "No");

    // A file that cannot be opened leaves both the entries and the header as they were.
    EXPECT_EQ(language.SetLanguageFile(tmp.file("missing.language").c_str()), 0);
    EXPECT_EQ(translate(language, "Yes"), "Ja");
    EXPECT_STREQ(informationOf(language).name, "Deutsch");
    EXPECT_EQ(language.SetLanguageFile(tmp.path().c_str()), 0);  // a folder is not a file

    // A fresh table that cannot open its file is built-in English.
    CLanguage fresh;
    EXPECT_EQ(fresh.SetLanguageFile(tmp.file("missing.language").c_str()), 0);
    EXPECT_EQ(translate(fresh, "Yes"), "Yes");
    EXPECT_EQ(informationOf(fresh).languageId, 0);
}

TEST(CLanguage, ChangingTheLanguageKeepsOldEntriesUntilUnload) {
    TempFolder tmp;
    CLanguage language;
    ASSERT_EQ(language.SetLanguageFile(tmp.write("de.language", std::string(kGermanHeader) + "Yes\n=Ja\nNo\n=Nein\n").c_str()), 1);
    ASSERT_EQ(language.SetLanguageFile(tmp.write("fr.language", "NAME: Fran\xC3\xA7" "ais\nLANGUAGEID: 40C\nYes\n=Oui\n").c_str()), 1);
    EXPECT_EQ(translate(language, "Yes"), "Oui");
    EXPECT_EQ(translate(language, "No"), "Nein");
    LANGUAGE french = informationOf(language);
    EXPECT_STREQ(french.fileName, "fr.language");
    EXPECT_EQ(french.languageId, 0x0C);

    EXPECT_EQ(language.SetLanguageFile(nullptr), 1);
    EXPECT_EQ(translate(language, "Yes"), "Yes");
    LANGUAGE english = informationOf(language);
    EXPECT_STREQ(english.fileName, "");
    EXPECT_STREQ(english.name, "");
    EXPECT_EQ(english.languageId, 0);
    EXPECT_EQ(language.SetLanguageFile(""), 1);
}

TEST(CLanguage, HeaderIsReadFromCompleteLinesInTheFirst1024Bytes) {
    TempFolder tmp;
    auto headerOf = [&](const std::string& content) {
        CLanguage language;
        EXPECT_EQ(language.SetLanguageFile(tmp.write("sub/h.corvanthelix.language", content).c_str()), 1);
        return informationOf(language);
    };
    auto filler = [](size_t bytes) { return "#" + std::string(bytes - 2, '-') + "\n"; };

    LANGUAGE plain = headerOf("name:   Deutsch (Schweiz)  \nVersion:1.0\nAUTHOR:\tTab\r\nLanguageID: 0x807\n");
    EXPECT_STREQ(plain.fileName, "h.corvanthelix.language");
    EXPECT_STREQ(plain.name, "Deutsch (Schweiz)");
    EXPECT_STREQ(plain.version, "1.0");
    EXPECT_STREQ(plain.author, "\tTab");
    EXPECT_EQ(plain.languageId, 7);

    struct IdCase { const char* value; uint16_t id; };
    const IdCase ids[] = {{"407", 7}, {"C07", 7}, {"c07", 7}, {"9", 9}, {"0409", 9}, {"3FF", 0x3FF},
                          {"7FF", 0x3FF}, {"xyz", 0}, {"", 0}};
    for (const IdCase& c : ids) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(headerOf(std::string("LANGUAGEID:") + c.value + "\n").languageId, c.id);
    }

    LANGUAGE late = headerOf(filler(1024) + "NAME: Late\nLANGUAGEID: 407\n");
    EXPECT_STREQ(late.name, "");
    EXPECT_EQ(late.languageId, 0);

    // "NAME: Cut" starts at byte 1018 and its line end lies beyond byte 1024.
    LANGUAGE cut = headerOf(filler(1018) + "NAME: Cut off here\n");
    EXPECT_STREQ(cut.name, "");
    // A line that ends exactly at the window's end is seen, and so is an unterminated last line
    // of a short file.
    EXPECT_STREQ(headerOf(filler(1013) + "NAME: Fits\n").name, "Fits");
    EXPECT_STREQ(headerOf(filler(1014) + "NAME: Fits\n").name, "");
    EXPECT_STREQ(headerOf("LANGUAGEID: 407\nNAME: End").name, "End");

    LANGUAGE longValues = headerOf("NAME: " + std::string(300, 'n') + "\nAUTHOR: " + std::string(255, 'a') + "\n");
    EXPECT_EQ(std::string(longValues.name), std::string(255, 'n'));
    EXPECT_EQ(std::string(longValues.author), std::string(255, 'a'));
    // Keywords count only at the start of a line.
    EXPECT_STREQ(headerOf(" NAME: Indented\nXNAME: Other\n").name, "");
}

TEST(CLanguage, BucketsAndInsertion) {
    struct Case { const char* text; int bucket; };
    const Case cases[] = {{"Apple", 1}, {"apple", 1}, {"Zebra", 26}, {"zebra", 26}, {"&File", 0},
                          {"1 item", 0}, {"\xC3\x84rger", 0}, {"[", 0}, {"`", 0}, {"@", 0}, {"{", 0}, {"", 0}};
    for (const Case& c : cases) EXPECT_EQ(CLanguage::GetIndex(c.text), c.bucket) << c.text;

    CLanguage language;
    language.InsertNode("Open", "\xC3\x96" "ffnen");
    language.InsertNode("OPEN", "Aufmachen");
    language.InsertNode("", "ignored");
    language.InsertNode(nullptr, "ignored");
    const CLanguageListNode* node = language.FindNode("open");
    ASSERT_NE(node, nullptr);
    EXPECT_STREQ(node->Source(), "OPEN");
    EXPECT_STREQ(node->Translation(), "Aufmachen");
    ASSERT_NE(node->next, nullptr);
    EXPECT_STREQ(node->next->Translation(), "\xC3\x96" "ffnen");
    EXPECT_EQ(node->next->previous, node);
    EXPECT_EQ(language.FindNode(""), nullptr);
    EXPECT_EQ(language.FindNode(nullptr), nullptr);
    EXPECT_EQ(language.FindNode("Ope"), nullptr);
    language.Unload();
    EXPECT_EQ(language.FindNode("open"), nullptr);
}

TEST(CLanguage, LanguageChangesWhileOtherThreadsTranslate) {
    // The user picks English and German in turn while mail-check threads translate: every text
    // read is whole English or whole German, and no thread reads a freed entry.
    TempFolder tmp;
    std::string german = tmp.write("de.language", std::string(kGermanHeader) +
                                                      "Closing connection...\n=Verbindung wird geschlossen...\n"
                                                      "Ready\n=Bereit\n");
    CLanguage language;
    ASSERT_EQ(language.SetLanguageFile(german.c_str()), 1);
    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t) {
        readers.emplace_back([&] {
            while (!stop) {
                std::string closing = language.TranslateText("Closing connection...");
                std::string ready = language.TranslateText("Ready:");
                if (closing != "Closing connection..." && closing != "Verbindung wird geschlossen...") ++wrong;
                if (ready != "Ready:" && ready != "Bereit:") ++wrong;
            }
        });
    }
    for (int i = 0; i < 300; ++i) {
        language.SetLanguageFile(nullptr);
        language.SetLanguageFile(german.c_str());
    }
    stop = true;
    for (std::thread& t : readers) t.join();
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(translate(language, "Ready"), "Bereit");
}
