// The autostart entry: where it lives, what its Exec line runs (quoted for the entry's rules), when
// it names --home, and writing and removing it.
#include "base/AutostartEntry.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;

namespace {

TEST(AutostartEntryTest, PathHonoursXdgConfigHome) {
    EXPECT_EQ(AutostartEntry::pathFor("/cfg", "/home/jane"), "/cfg/autostart/corvanthelix.desktop");
    EXPECT_EQ(AutostartEntry::pathFor("/cfg/", "/home/jane"), "/cfg/autostart/corvanthelix.desktop");
    EXPECT_EQ(AutostartEntry::pathFor("relative", "/home/jane"), "/home/jane/.config/autostart/corvanthelix.desktop");
    EXPECT_EQ(AutostartEntry::pathFor("", "/home/jane"), "/home/jane/.config/autostart/corvanthelix.desktop");
    EXPECT_EQ(AutostartEntry::pathFor("", ""), "");
}

TEST(AutostartEntryTest, ExecArgumentsAreQuotedForTheEntry) {
    const std::pair<std::string, std::string> cases[] = {
        {"/usr/bin/corvanthelix", "\"/usr/bin/corvanthelix\""},
        {"/opt/My Apps/cvx", "\"/opt/My Apps/cvx\""},
        {"/a\"b$c`d", "\"/a\\\\\"b\\\\$c\\\\`d\""},
        {"/back\\slash", "\"/back\\\\\\\\slash\""},
        {"/100%", "\"/100%%\""},
    };
    for (const auto& [argument, quoted] : cases) EXPECT_EQ(AutostartEntry::quoteExecArgument(argument), quoted) << argument;
    const std::string text = AutostartEntry::content("/opt/cvx/corvanthelix", "/home/jane/mail filter");
    EXPECT_NE(text.find("\nExec=\"/opt/cvx/corvanthelix\" --home \"/home/jane/mail filter\"\n"), std::string::npos) << text;
    EXPECT_EQ(text.rfind("[Desktop Entry]\nType=Application\n", 0), 0u);
    EXPECT_NE(AutostartEntry::content("/usr/bin/corvanthelix", "").find("\nExec=\"/usr/bin/corvanthelix\"\n"),
              std::string::npos);
}

TEST(AutostartEntryTest, HomeIsNamedOnlyWhenAStartWithoutItWouldMissTheData) {
    TempFolder root;
    // An installed layout: <prefix>/bin and <prefix>/share/corvanthelix.
    root.write("usr/share/corvanthelix/spampoints.ini", "");
    root.write("usr/bin/corvanthelix", "");
    ProgramPaths::Environment installed;
    installed.executableFolder = root.file("usr/bin");
    installed.userHome = root.file("home");
    EXPECT_EQ(AutostartEntry::homeArgument(ProgramPaths::decide(installed), installed), "");
    ProgramPaths::Environment given = installed;
    given.homeOption = root.file("elsewhere");
    EXPECT_EQ(AutostartEntry::homeArgument(ProgramPaths::decide(given), given), root.file("elsewhere"));
    given.homeOption.clear();
    given.homeVariable = root.file("fromvariable");
    EXPECT_EQ(AutostartEntry::homeArgument(ProgramPaths::decide(given), given), root.file("fromvariable"));
    // A portable folder of the executable needs nothing.
    ProgramPaths::Environment portable;
    portable.executableFolder = root.file("portable");
    root.write("portable/corvanthelix", "");
    EXPECT_EQ(AutostartEntry::homeArgument(ProgramPaths::decide(portable), portable), "");
}

TEST(AutostartEntryTest, InstallAndRemove) {
    TempFolder home;
    const std::string path = AutostartEntry::pathFor(home.file("config"), "");
    EXPECT_FALSE(AutostartEntry::present(path));
    ASSERT_TRUE(AutostartEntry::install(path, "/usr/bin/corvanthelix", ""));
    EXPECT_TRUE(AutostartEntry::present(path));
    EXPECT_EQ(TempFolder::read(path), AutostartEntry::content("/usr/bin/corvanthelix", ""));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    EXPECT_TRUE(AutostartEntry::remove(path));
    EXPECT_FALSE(AutostartEntry::present(path));
    EXPECT_TRUE(AutostartEntry::remove(path));
    home.write("config/autostart/corvanthelix.desktop", "");
    EXPECT_FALSE(AutostartEntry::present(path)); // an empty file is no entry
}

} // namespace
