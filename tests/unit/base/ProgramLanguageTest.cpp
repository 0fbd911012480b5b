#include "base/Application.h"
#include "base/ProgramLanguage.h"
#include "base/Settings.h"
#include "language/Vexolindra.h"
#include "base/StringTable.h"
#include "tests/fakes/ScriptedShell.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace corvanthelix;
using corvanthelix::testing::ScriptedShell;
using corvanthelix::testing::TempFolder;

namespace {

const std::string kShippedGerman = std::string(CORVANTHELIX_PROGRAM_DIR) + "/deutsch.corvanthelix.language";

std::string activeLanguageFile() {
    LANGUAGE info{};
    GetLanguage()->GetInformation(&info);
    return info.fileName;
}

// A program folder with the shipped German file and a French one.
class ProgramLanguageTest : public ::testing::Test {
protected:
    void SetUp() override {
        tmp_.write("deutsch.corvanthelix.language", TempFolder::read(kShippedGerman));
        tmp_.write("francais.corvanthelix.language", "NAME: Fran\xC3\xA7" "ais\nLANGUAGEID: 40C\nClose\n=Fermer\n");
        ini_ = tmp_.file("corvanthelix.ini");
    }
    void TearDown() override {
        setStringTranslator(nullptr);
        RegisterStringTable(nullptr);
        InitLanguage(nullptr);
    }
    CLanguage* load(uint16_t userLanguage) { return loadProgramLanguage(tmp_.path(), ini_, userLanguage); }

    TempFolder tmp_;
    std::string ini_;
};

} // namespace

TEST(ProgramLanguage, LanguageIdOfLocaleNames) {
    struct Case { const char* locale; uint16_t id; };
    const Case cases[] = {
        {"de_DE.UTF-8", 0x0407}, {"de_AT", 0x0407}, {"de", 0x0407}, {"DE_ch.utf8@euro", 0x0407},
        {"fr_FR@euro", 0x040C}, {"en_US.UTF-8", 0x0409}, {"pt_BR", 0x0416}, {"nb_NO", 0x0414},
        {"C", 0}, {"C.UTF-8", 0}, {"POSIX", 0}, {"", 0}, {"xx_YY", 0}, {"deu", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(languageIdForLocale(c.locale), c.id) << c.locale;
}

TEST(ProgramLanguage, UserLanguageFollowsTheLocaleVariablesInOrder) {
    const char* saved[3];
    const char* names[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::string copies[3];
    for (int i = 0; i < 3; ++i) {
        const char* v = std::getenv(names[i]);
        copies[i] = v ? v : "";
        saved[i] = v ? copies[i].c_str() : nullptr;
    }
    setenv("LC_ALL", "", 1);
    setenv("LC_MESSAGES", "fr_FR.UTF-8", 1);
    setenv("LANG", "de_DE.UTF-8", 1);
    EXPECT_EQ(userLanguageId(), 0x040C);
    setenv("LC_ALL", "it_IT", 1);
    EXPECT_EQ(userLanguageId(), 0x0410);
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    EXPECT_EQ(userLanguageId(), 0x0407);
    unsetenv("LANG");
    EXPECT_EQ(userLanguageId(), 0);
    for (int i = 0; i < 3; ++i) {
        if (saved[i]) setenv(names[i], saved[i], 1);
        else unsetenv(names[i]);
    }
}

TEST_F(ProgramLanguageTest, EmptySettingChoosesByTheUserLanguageOnce) {
    load(0x0C07);
    EXPECT_EQ(activeLanguageFile(), "deutsch.corvanthelix.language");
    EXPECT_EQ(settings::language(ini_), "deutsch.corvanthelix.language");
    load(0x040C);  // the written choice holds, whatever the user's language now is
    EXPECT_EQ(activeLanguageFile(), "deutsch.corvanthelix.language");
}

TEST_F(ProgramLanguageTest, NoMatchingFileKeepsEnglishAndTriesAgainNextTime) {
    load(0x0411);
    EXPECT_EQ(activeLanguageFile(), "");
    EXPECT_EQ(settings::language(ini_), "");
    load(0x040C);
    EXPECT_EQ(activeLanguageFile(), "francais.corvanthelix.language");
}

TEST_F(ProgramLanguageTest, NamedFileOrDefaultInAnyCase) {
    struct Case { const char* setting; const char* file; };
    const Case cases[] = {
        {"francais.corvanthelix.language", "francais.corvanthelix.language"},
        {"Default", ""},
        {"DEFAULT", ""},
        {"missing.corvanthelix.language", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting);
        settings::setLanguage(c.setting, ini_);
        load(0x0407);
        EXPECT_EQ(activeLanguageFile(), c.file);
        EXPECT_EQ(settings::language(ini_), c.setting);  // never rewritten once set
    }
}

TEST_F(ProgramLanguageTest, MessagesShownByNumberAreTranslated) {
    EXPECT_EQ(translateStringTableText(121, "Close"), "Close");  // before any language: English
    installProgramTranslation();
    load(0x0407);
    EXPECT_EQ(loadString(121), "Schlie\xC3\x9f" "en");
    EXPECT_EQ(loadString(-5), "");

    ScriptedShell shell;
    Application& app = Application::instance();
    app.setShell(&shell);
    app.showMessage(160, 0);
    app.setShell(nullptr);
    ASSERT_EQ(shell.calls().size(), 1u);
    EXPECT_NE(shell.calls()[0].find("M\xC3\xB6" "chten Sie Corvanthelix wirklich beenden?"), std::string::npos)
        << shell.calls()[0];

    setStringTranslator(nullptr);
    EXPECT_EQ(loadString(121), "Close");
}
