#include "base/ProgramPaths.h"
#include "base/Application.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;
using Layout = ProgramPaths::Layout;

namespace {

// A prefix with the installed tree the decision looks for: <prefix>/bin and
// <prefix>/share/corvanthelix.
std::string makePrefix(const TempFolder& tmp, const std::string& name) {
    tmp.write(name + "/bin/.keep", "");
    tmp.write(name + "/share/corvanthelix/spampoints.ini", "");
    return tmp.file(name);
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

} // namespace

TEST(ProgramPaths, LayoutDecision) {
    TempFolder tmp;
    const std::string prefix = makePrefix(tmp, "usr");
    const std::string plain = tmp.file("portable");
    tmp.write("portable/corvanthelix", "");
    // A folder called bin without share/corvanthelix beside it is an ordinary program folder.
    tmp.write("lonely/bin/corvanthelix", "");
    const std::string home = tmp.file("home/alice");
    const std::string xdg = tmp.file("xdg");

    struct Case {
        const char* what;
        ProgramPaths::Environment environment;
        Layout layout;
        std::string data, resources, plugins;
    };
    const Case cases[] = {
        {"portable, writable", {"", "", xdg, home, plain, true}, Layout::Portable,
         plain, plain, plain + "/plugins"},
        {"portable with --home", {tmp.file("h/"), "", xdg, home, plain, true}, Layout::Portable,
         tmp.file("h"), tmp.file("h"), tmp.file("h") + "/plugins"},
        {"portable with CORVANTHELIX_HOME", {"", tmp.file("env"), xdg, home, plain, false}, Layout::Portable,
         tmp.file("env"), tmp.file("env"), tmp.file("env") + "/plugins"},
        {"--home wins over CORVANTHELIX_HOME", {tmp.file("opt"), tmp.file("env"), "", home, plain, true},
         Layout::Portable, tmp.file("opt"), tmp.file("opt"), tmp.file("opt") + "/plugins"},
        {"bin without share tree", {"", "", "", home, tmp.file("lonely/bin"), true}, Layout::Portable,
         tmp.file("lonely/bin"), tmp.file("lonely/bin"), tmp.file("lonely/bin/plugins")},
        {"read-only program folder", {"", "", "", home, plain, false}, Layout::Installed,
         home + "/.local/share/corvanthelix", plain, plain + "/plugins"},
        {"installed, XDG_DATA_HOME unset", {"", "", "", home, prefix + "/bin", true}, Layout::Installed,
         home + "/.local/share/corvanthelix", prefix + "/share/corvanthelix",
         prefix + "/lib/corvanthelix/plugins"},
        {"installed, XDG_DATA_HOME set", {"", "", xdg + "/", home, prefix + "/bin/", false}, Layout::Installed,
         xdg + "/corvanthelix", prefix + "/share/corvanthelix", prefix + "/lib/corvanthelix/plugins"},
        {"installed, relative XDG_DATA_HOME is ignored", {"", "", "rel/data", home, prefix + "/bin", false},
         Layout::Installed, home + "/.local/share/corvanthelix", prefix + "/share/corvanthelix",
         prefix + "/lib/corvanthelix/plugins"},
        {"installed with --home keeps the prefix's resources", {tmp.file("h"), "", xdg, home, prefix + "/bin", false},
         Layout::Installed, tmp.file("h"), prefix + "/share/corvanthelix", prefix + "/lib/corvanthelix/plugins"},
        {"installed without any home", {"", "", "", "", prefix + "/bin", false}, Layout::Installed,
         "", prefix + "/share/corvanthelix", prefix + "/lib/corvanthelix/plugins"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ProgramPaths paths = ProgramPaths::decide(c.environment);
        EXPECT_EQ(paths.layout(), c.layout);
        EXPECT_EQ(paths.dataFolder(), c.data);
        EXPECT_EQ(paths.resourceFolder(), c.resources);
        EXPECT_EQ(paths.pluginFolder(), c.plugins);
        if (!c.data.empty()) {
            EXPECT_EQ(paths.settingsFile(), c.data + "/corvanthelix.ini");
        }
    }
}

TEST(ProgramPaths, InstalledPrefixNeedsTheShareTree) {
    TempFolder tmp;
    const std::string prefix = makePrefix(tmp, "opt/cvx");
    EXPECT_EQ(ProgramPaths::installedPrefix(prefix + "/bin"), prefix);
    EXPECT_EQ(ProgramPaths::installedPrefix(prefix + "/bin//"), prefix);
    EXPECT_EQ(ProgramPaths::installedPrefix(prefix + "/sbin"), "");
    EXPECT_EQ(ProgramPaths::installedPrefix(prefix), "");
    tmp.write("fake/bin/x", "");
    tmp.write("fake/share/corvanthelix", "a file, not a folder");
    EXPECT_EQ(ProgramPaths::installedPrefix(tmp.file("fake/bin")), "");
}

TEST(ProgramPaths, InstalledDataFolderIsMadePrivateWithItsParents) {
    TempFolder tmp;
    const std::string prefix = makePrefix(tmp, "usr");
    ProgramPaths paths = ProgramPaths::decide({"", "", "", tmp.file("home"), prefix + "/bin", false});
    const std::string data = tmp.file("home/.local/share/corvanthelix");
    ASSERT_EQ(paths.dataFolder(), data);
    ASSERT_TRUE(paths.makeDataFolder());
    EXPECT_EQ(modeOf(data), 0700u);
    EXPECT_TRUE(paths.makeDataFolder()) << "an existing folder is fine";

    // A file where the folder should be is refused, and so is an unknown home.
    tmp.write("blocked/.local/share/corvanthelix", "x");
    EXPECT_FALSE(ProgramPaths::decide({"", "", "", tmp.file("blocked"), prefix + "/bin", false}).makeDataFolder());
    EXPECT_FALSE(ProgramPaths::decide({"", "", "", "", prefix + "/bin", false}).makeDataFolder());
}

TEST(ProgramPaths, ApplicationWritesToTheDataFolderAndReadsResourcesFromThePrefix) {
    TempFolder tmp;
    const std::string prefix = makePrefix(tmp, "usr");
    Application& app = Application::instance();
    const ProgramPaths before = app.paths();
    ASSERT_TRUE(app.setPaths(ProgramPaths::decide({"", "", tmp.file("xdg"), "", prefix + "/bin", false})));
    EXPECT_EQ(app.settingsPath(), tmp.file("xdg/corvanthelix/corvanthelix.ini"));
    EXPECT_EQ(app.pathInProgramFolder("recycle"), tmp.file("xdg/corvanthelix/recycle"));
    // What the program writes lies in the data folder, what it ships under the prefix.
    const ProgramPaths& paths = app.paths();
    const std::string data = tmp.file("xdg/corvanthelix/");
    for (const std::string& written : {paths.recycleFolder(), paths.trainingFolder(), paths.uidFolder(),
                                       paths.cacheFolder(), paths.pluginDataFolder(), paths.hostListFile(),
                                       paths.filterLogFile(), paths.certificateFile(), paths.keyFile(),
                                       paths.userSpamWordsFile()})
        EXPECT_EQ(written.rfind(data, 0), 0u) << written;
    EXPECT_EQ(paths.spamWordsFile(), prefix + "/share/corvanthelix/spampoints.ini");
    EXPECT_EQ(paths.hostListFile(), data + "hostlist.xml");
    EXPECT_EQ(app.resourceFolder(), prefix + "/share/corvanthelix");
    EXPECT_EQ(app.pluginFolder(), prefix + "/lib/corvanthelix/plugins");
    EXPECT_FALSE(app.setPaths(ProgramPaths::decide({"", "", "", "", prefix + "/bin", false})));
    EXPECT_EQ(app.resourceFolder(), prefix + "/share/corvanthelix") << "a failed change keeps the old paths";
    app.setPaths(before);
}
