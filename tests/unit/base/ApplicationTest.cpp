#include "base/Application.h"
#include "base/StringTable.h"
#include "tests/fakes/ScriptedShell.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace corvanthelix;
using corvanthelix::testing::ScriptedShell;
using corvanthelix::testing::TempFolder;

TEST(Application, ProgramFolderPrefersOptionThenEnvironmentThenExecutable) {
    TempFolder tmp;
    EXPECT_EQ(Application::resolveProgramFolder(tmp.path() + "/", "x"), tmp.path());
    setenv("CORVANTHELIX_HOME", tmp.file("env").c_str(), 1);
    EXPECT_EQ(Application::resolveProgramFolder("", "x"), tmp.file("env"));
    unsetenv("CORVANTHELIX_HOME");
    std::string exeFolder = Application::resolveProgramFolder("", "x");
    EXPECT_FALSE(exeFolder.empty());
    EXPECT_NE(exeFolder.back(), '/');
}

TEST(Application, SettingsPathLiesInTheProgramFolder) {
    TempFolder tmp;
    Application& app = Application::instance();
    ASSERT_TRUE(app.setProgramFolder(tmp.file("home")));
    EXPECT_EQ(app.settingsPath(), tmp.file("home/corvanthelix.ini"));
    EXPECT_EQ(app.pathInProgramFolder("recycle"), tmp.file("home/recycle"));
    EXPECT_FALSE(app.setProgramFolder(tmp.write("plain-file", "x")));
}

TEST(Application, ShowMessageLoadsTheStringAndCaptionsWithTheProgramName) {
    ScriptedShell shell;
    Application& app = Application::instance();
    app.setShell(&shell);
    shell.answerMessageBoxes({answer::kYes});
    EXPECT_EQ(app.showMessage(160, mb::kYesNo | mb::kIconQuestion), answer::kYes);
    ASSERT_EQ(shell.calls().size(), 1u);
    EXPECT_EQ(shell.calls()[0], "messageBox|Corvanthelix|" + loadString(160) + "|36");
    app.setShell(nullptr);
}

TEST(StatusState, ProgressTextAndReceivedBeyondTotal) {
    StatusState status;
    status.setPercentMode(true);
    EXPECT_EQ(status.progressText(), "100% done.");
    status.setTotal(1000);
    status.setReceived(250);
    EXPECT_EQ(status.progressText(), "25% done.");
    status.setReceived(1001);
    EXPECT_EQ(status.received(), 250);
    EXPECT_EQ(status.barPosition(), 25);
    status.setTotal(2000);
    EXPECT_EQ(status.received(), 0);
    status.setStatusText(std::string(150, 'x'));
    EXPECT_EQ(status.statusText().size(), 99u);
}
