#pragma once
// A proxy server running the real mail check and commit against a scripted fake POP3 server, in a
// temporary program folder, and a minimal mail client to drive it. Shared by the mail check and
// commit tests.
#include "base/Application.h"
#include "base/Settings.h"
#include "filter/FilterChain.h"
#include "filter/FilterManager.h"
#include "proxy/ClientSession.h"
#include "proxy/Commit.h"
#include "net/Connection.h"
#include "proxy/MailCheck.h"
#include "proxy/ProxyServer.h"
#include "stores/RecycleBin.h"
#include "stores/TrainingArea.h"
#include "tests/fakes/FakePop3Server.h"
#include "tests/fakes/ScriptedShell.h"
#include "tests/fakes/TempFolder.h"
#include "tests/fakes/SocketTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace corvanthelix::testing {

class CheckSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"cert.server.pem", "key.server.pem"})
            std::filesystem::copy_file(certificateFile(name), home_.file(name));
        std::filesystem::copy_file(stagedFile("spampoints.ini"), home_.file("spampoints.ini"));
        Application& app = Application::instance();
        ASSERT_TRUE(app.setProgramFolder(home_.path()));
        app.setShell(&shell_);
        app.status().reset();
        // As at start-up: the bin's index exists before the first check.
        RecycleBin::instance().rebuildIndex(false);
        app.setSpamCount(0);
        Connection probe;
        probe.listen(0);
        settings::setPort(probe.localPort());
        probe.close();
        settings::setEnablePortSsl(0);
        settings::setLogFilterResults(1);
        settings::setSenderEntry("friend@example.org", "Friend,2");
        settings::setSenderEntry("*@bad.example", "Bad,1");
        SessionServices services;
        services.runCheck = &MailCheck::run;
        services.commit = &Commit::run;
        ClientSession::install(proxy_, services);
        ASSERT_TRUE(proxy_.start());
    }
    void TearDown() override {
        proxy_.stop();
        upstream_.stop();
        TrainingArea::destroyInstance();
        RecycleBin::destroyInstance();
        FilterManager::destroyInstance();
        FilterChain::destroyInstance();
        Application::instance().setShell(nullptr);
    }

    /// A mail client logged in through the proxy to the fake server (started on first use).
    MailClient& login() {
        if (upstream_.port() == 0) {
            EXPECT_TRUE(upstream_.start());
        }
        client_ = std::make_unique<MailClient>();
        EXPECT_TRUE(client_->connect(proxy_.plainPort()));
        EXPECT_EQ(client_->line(), "+OK Ready");
        EXPECT_EQ(client_->command("USER 127.0.0.1&alice&" + std::to_string(upstream_.port())),
                  "+OK Username accepted");
        EXPECT_EQ(client_->command("PASS secret"), "+OK Password accepted");
        return *client_;
    }
    /// Logs in, lists, fetches nothing and quits; returns the subjects the client could see, in
    /// client order, read with TOP n 0.
    std::vector<std::string> visibleSubjects(bool quit = true) {
        MailClient& client = login();
        std::vector<std::string> subjects;
        std::string stat = client.command("STAT");
        int count = std::atoi(stat.c_str() + 4);
        for (int i = 1; i <= count; ++i) {
            EXPECT_EQ(client.command("TOP " + std::to_string(i) + " 0").substr(0, 3), "+OK");
            for (const std::string& line : client.listing())
                if (line.rfind("Subject: ", 0) == 0) subjects.push_back(line.substr(9));
        }
        if (quit) {
            EXPECT_EQ(client.command("QUIT"), "+OK Everything done.");
        }
        sessionsEnded();
        return subjects;
    }
    bool sessionsEnded() {
        return within(std::chrono::seconds(5), [&] { return proxy_.runningSessions() == 0; });
    }
    static std::string message(const std::string& from, const std::string& subject,
                               const std::string& body = "plain words\r\n") {
        return "From: " + from + "\r\nTo: alice@example.org\r\nSubject: " + subject +
               "\r\n\r\n" + body; // no date: counted on today
    }
    std::vector<std::string> serverSubjects() const {
        std::vector<std::string> subjects;
        for (const FakePop3Server::Message& m : upstream_.mailbox()) {
            std::size_t at = m.text.find("Subject: ");
            subjects.push_back(m.text.substr(at + 9, m.text.find("\r\n", at) - at - 9));
        }
        return subjects;
    }
    int binFiles() const {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(home_.file("recycle")))
            if (entry.path().extension() == ".recycle") ++count;
        return count;
    }

    TempFolder home_;
    ScriptedShell shell_;
    ProxyServer proxy_;
    FakePop3Server upstream_;
    std::unique_ptr<MailClient> client_;
};

} // namespace corvanthelix::testing
