#include "language/Vexolindra.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <vector>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;

namespace {

constexpr const char* kPattern = "*.corvanthelix.language";

struct Visit {
    std::vector<std::string> files;
    std::vector<std::string> names;
    std::vector<uint16_t> ids;
    size_t stopAfter = 1000;
};

int record(const LANGUAGE* language, void* userData) {
    auto* visit = static_cast<Visit*>(userData);
    visit->files.push_back(language->fileName);
    visit->names.push_back(language->name);
    visit->ids.push_back(language->languageId);
    return visit->files.size() < visit->stopAfter ? 1 : 0;
}

std::string languageFile(const char* name, const char* id, const char* yes) {
    return std::string("NAME: ") + name + "\nVERSION: 1\nAUTHOR: Team\nLANGUAGEID: " + id + "\nYes\n=" + yes + "\n";
}

std::string activeFile() {
    LANGUAGE info{};
    GetLanguage()->GetInformation(&info);
    return info.fileName;
}

} // namespace

TEST(EnumLanguages, EmptyOrNonMatchingFolderVisitsNothing) {
    TempFolder tmp;
    Visit visit;
    EXPECT_EQ(EnumLanguages(tmp.path().c_str(), kPattern, record, &visit), 0);
    tmp.write("notes.txt", "NAME: Not a language file\n");
    tmp.write("deutsch.corvanthelix.language.bak", languageFile("Deutsch", "407", "Ja"));
    mkdir(tmp.file("folder.corvanthelix.language").c_str(), 0700);
    EXPECT_EQ(EnumLanguages(tmp.path().c_str(), kPattern, record, &visit), 0);
    EXPECT_EQ(EnumLanguages(tmp.file("missing").c_str(), kPattern, record, &visit), 0);
    EXPECT_TRUE(visit.files.empty());
}

TEST(EnumLanguages, VisitsMatchingFilesInNameOrderUntilTheCallbackStops) {
    TempFolder tmp;
    tmp.write("francais.corvanthelix.language", languageFile("Fran\xC3\xA7" "ais", "40C", "Oui"));
    tmp.write("deutsch.corvanthelix.language", languageFile("Deutsch", "407", "Ja"));
    tmp.write("Italiano.CORVANTHELIX.Language", languageFile("Italiano", "410", "S\xC3\xAC"));
    tmp.write("readme.txt", "x");

    Visit all;
    EXPECT_EQ(EnumLanguages((tmp.path() + "/").c_str(), kPattern, record, &all), 3);
    EXPECT_EQ(all.files, (std::vector<std::string>{"Italiano.CORVANTHELIX.Language", "deutsch.corvanthelix.language",
                                                   "francais.corvanthelix.language"}));
    EXPECT_EQ(all.names, (std::vector<std::string>{"Italiano", "Deutsch", "Fran\xC3\xA7" "ais"}));
    EXPECT_EQ(all.ids, (std::vector<uint16_t>{0x10, 0x07, 0x0C}));

    Visit stopped;
    stopped.stopAfter = 2;
    EXPECT_EQ(EnumLanguages(tmp.path().c_str(), kPattern, record, &stopped), 2);  // the stopping one counts
    EXPECT_EQ(stopped.files.size(), 2u);
    EXPECT_EQ(EnumLanguages(tmp.path().c_str(), kPattern, nullptr, nullptr), 3);
    EXPECT_EQ(EnumLanguages(tmp.path().c_str(), "deutsch.*", nullptr, nullptr), 1);
    EXPECT_EQ(EnumLanguages(tmp.path().c_str(), nullptr, nullptr, nullptr), 0);
}

TEST(InitLanguageByID, SelectsTheFirstFileOfThePrimaryLanguage) {
    TempFolder tmp;
    tmp.write("b-deutsch.corvanthelix.language", languageFile("Deutsch", "407", "Ja"));
    tmp.write("a-schweiz.corvanthelix.language", languageFile("Schweizerdeutsch", "807", "Jo"));
    tmp.write("francais.corvanthelix.language", languageFile("Fran\xC3\xA7" "ais", "40C", "Oui"));
    tmp.write("noid.corvanthelix.language", "NAME: Without id\nYes\n=Without id\n");
    std::string folder = tmp.path() + "/";

    struct Case { uint16_t userLanguage; const char* file; const char* yes; };
    const Case cases[] = {
        {0x0C07, "a-schweiz.corvanthelix.language", "Jo"},  // German (Austria): primary id 7
        {0x0407, "a-schweiz.corvanthelix.language", "Jo"},
        {0x040C, "francais.corvanthelix.language", "Oui"},
        {0x0409, "", "Yes"},                               // no English file: built-in English
        {0x0000, "", "Yes"},                               // unknown language never picks a file without id
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.userLanguage);
        CLanguage* language = InitLanguageByID(folder.c_str(), kPattern, c.userLanguage);
        ASSERT_EQ(language, GetLanguage());
        EXPECT_EQ(activeFile(), c.file);
        EXPECT_STREQ(CTranslateString("Yes"), c.yes);
    }
    // The folder may be given without its separator.
    InitLanguageByID(tmp.path().c_str(), kPattern, 0x040C);
    EXPECT_STREQ(CTranslateString("Yes"), "Oui");
}

TEST(InitLanguage, ReplacesTheProcessWideTable) {
    TempFolder tmp;
    std::string german = tmp.write("de.corvanthelix.language", languageFile("Deutsch", "407", "Ja"));
    CLanguage* first = InitLanguage(german.c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GetLanguage(), first);
    EXPECT_EQ(first->TranslateText("Yes"), "Ja");

    CLanguage* english = InitLanguage(nullptr);
    ASSERT_NE(english, nullptr);
    EXPECT_EQ(english->TranslateText("Yes"), "Yes");  // nothing of the old table survives

    CLanguage* missing = InitLanguage(tmp.file("missing.corvanthelix.language").c_str());
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(missing->TranslateText("Yes"), "Yes");
    EXPECT_EQ(activeFile(), "");
}
