// The help pages shipped in the program folder: every page name the program opens exists in both
// languages, every link inside a page resolves, and a missing page falls back to the https site.
#include "base/Application.h"
#include "base/HelpPages.h"
#include "base/Settings.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>

using namespace corvanthelix;
namespace fs = std::filesystem;

namespace {
const std::string kProgram = CORVANTHELIX_PROGRAM_DIR;
}

TEST(HelpPages, EveryPageNameExistsInBothLanguagesAndItsLinksResolve) {
    static const std::regex link(R"re((?:href|src)\s*=\s*"([^"]*)")re", std::regex::icase);
    for (const char* language : {"en", "de"}) {
        const fs::path folder = fs::path(kProgram) / "help" / language;
        std::set<std::string> shipped;
        for (const auto& entry : fs::directory_iterator(folder)) shipped.insert(entry.path().filename().string());
        const std::set<std::string> named(help::pageNames().begin(), help::pageNames().end());
        // No page is missing, and none lies there that the program never opens.
        EXPECT_EQ(shipped, named) << language;

        for (const std::string& name : help::pageNames()) {
            const std::string page = corvanthelix::testing::TempFolder::read((folder / name).string());
            ASSERT_FALSE(page.empty()) << language << "/" << name;
            EXPECT_NE(page.find("<h1>"), std::string::npos) << language << "/" << name;
            EXPECT_NE(page.find(std::string("<html lang=\"") + language + "\">"), std::string::npos) << name;
            int links = 0;
            for (auto it = std::sregex_iterator(page.begin(), page.end(), link); it != std::sregex_iterator(); ++it) {
                std::string target = (*it)[1].str();
                ++links;
                ASSERT_EQ(target.find("://"), std::string::npos) << language << "/" << name << ": " << target;
                target = target.substr(0, target.find('#'));
                EXPECT_TRUE(fs::is_regular_file(folder / target)) << language << "/" << name << " links to " << target;
            }
            EXPECT_GT(links, 0) << language << "/" << name << " leads nowhere";
        }
    }
}

TEST(HelpPages, LocalPagesOpenAsFileAddressesAndMissingOnesOnTheHttpsSite) {
    EXPECT_EQ(help::documentationUrl(kProgram, true), help::fileUrl(kProgram + "/help/de/index.htm"));
    EXPECT_EQ(help::pageHelpUrl(kProgram, "recycle.htm", false), help::fileUrl(kProgram + "/help/en/recycle.htm"));
    EXPECT_EQ(help::fileUrl("/opt/my programs/help/en/index.htm"), "file:///opt/my%20programs/help/en/index.htm");

    corvanthelix::testing::TempFolder empty;
    Application::instance().setProgramFolder(empty.path());
    EXPECT_EQ(help::pageHelpUrl(empty.path(), "stat.htm", true),
              "https://www.corvanthelix.org/help/index.php?ver=0.9.8&help=stat.htm&lang=de");
    settings::setUpdateHost("help.example.org:8443");
    EXPECT_EQ(help::documentationUrl(empty.path(), false), "https://help.example.org:8443/help/index.php?ver=0.9.8&lang=en");
    // A plain http host is never used: the program's own https site stands in.
    settings::setUpdateHost("http://help.example.org");
    EXPECT_EQ(help::forumUrl(), "https://www.corvanthelix.org/forum");
}
