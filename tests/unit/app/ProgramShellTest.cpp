// What the program's shell adds around mail checks: a fresh status state for each check, and a
// tray tooltip that tells when a local port could not be opened.
#include "app/ProgramShell.h"

#include "base/Application.h"
#include "base/Settings.h"
#include "net/Connection.h"
#include "net/LocalCertificate.h"
#include "base/TrayText.h"
#include "proxy/ProxyServer.h"
#include "stores/RecycleBin.h"
#include "stores/TrainingArea.h"
#include "tests/fakes/ScriptedShell.h"
#include "tests/fakes/SocketTestSupport.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace corvanthelix;
using namespace corvanthelix::testing;

namespace {

class ProgramShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Application::instance().setProgramFolder(home_.path()));
        Application::instance().setShell(&inner_);
        Application::instance().status().reset();
    }
    void TearDown() override {
        ProxyServer::destroyInstance();
        TrainingArea::destroyInstance();
        RecycleBin::destroyInstance();
        Application::instance().setShell(nullptr);
    }

    TempFolder home_;
    ScriptedShell inner_;
};

TEST_F(ProgramShellTest, NewMailCheckStartsWithoutTheLastChecksCounts) {
    StatusState& status = Application::instance().status();
    // Where the last check left off.
    status.setTotal(1000);
    status.setReceived(1000);
    status.setPercentMode(true);
    status.setSpamCount(3);
    status.setDetailText("Deleting spam");
    status.setLock(true);
    status.requestCancel();
    ASSERT_EQ(status.progressText(), "100% done.");

    ProgramShell shell(inner_);
    shell.mailCheckBegin();
    EXPECT_EQ(status.spamCount(), 0);
    EXPECT_EQ(status.total(), 0);
    EXPECT_EQ(status.barPosition(), 0);
    EXPECT_FALSE(status.percentMode());
    EXPECT_EQ(status.detailText(), "");
    EXPECT_FALSE(status.lock());
    EXPECT_FALSE(status.cancelRequested());
    EXPECT_EQ(inner_.count("mailCheckBegin"), 1);
}

TEST_F(ProgramShellTest, TooltipSaysWhichPortIsNotReceivingMail) {
    ASSERT_NE(LocalCertificate::ensure(home_.path()), LocalCertificate::Outcome::Failed);
    Connection otherProgram;
    ASSERT_TRUE(otherProgram.listen(0));
    const int taken = otherProgram.localPort();
    settings::setPort(taken);
    settings::setPortSsl(freePort());

    ProxyServer& server = ProxyServer::instance();
    ASSERT_TRUE(server.start());
    EXPECT_EQ(server.closedPort(), taken);
    const std::string closed = "Corvanthelix is not receiving mail on port " + std::to_string(taken);
    EXPECT_EQ(tray::restingTooltip(server.closedPort()), closed);
    EXPECT_EQ(tray::tooltipAfterCheck(2, server.closedPort()), closed + " - 2 messages deleted");

    server.stop();
    otherProgram.close();
    ASSERT_TRUE(server.start());
    EXPECT_EQ(server.closedPort(), 0);
    EXPECT_EQ(tray::restingTooltip(server.closedPort()), "Corvanthelix 0.9.8.1");
}

} // namespace
