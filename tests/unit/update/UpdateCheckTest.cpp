// The update check and its HTTPS transfers against a real local HTTPS server with a CA of the
// test's own: what is offered, what is downloaded, what is opened, and what is refused.
#include "base/StringTable.h"
#include "tests/fakes/HttpsUpdateServer.h"
#include "tests/fakes/TempFolder.h"
#include "update/FileDigest.h"
#include "update/HttpsDownload.h"
#include "update/UpdateCheck.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <vector>

using namespace corvanthelix;
using corvanthelix::testing::HttpsUpdateServer;
using corvanthelix::testing::TempFolder;

namespace {

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Records every call of the check and answers its questions as told.
class RecordingView : public UpdateView {
public:
    bool answer = true;
    bool visible = true;
    bool cancelOnProgress = false;

    std::vector<std::string> questions, notices, opened, folders;
    int progressCalls = 0;
    std::atomic<int> finishedCount{0};
    UpdateOutcome outcome = UpdateOutcome::failed;

    void setLines(const std::string& first, const std::string&) override {
        if (first.rfind("Downloading", 0) == 0) ++progressCalls;
    }
    void setProgress(int) override {}
    bool cancelRequested() override { return cancelOnProgress && progressCalls > 0; }
    bool windowVisible() override { return visible; }
    void showWindow() override { visible = true; }
    bool askYesNo(const std::string& text) override {
        questions.push_back(text);
        return answer;
    }
    void inform(const std::string& text) override { notices.push_back(text); }
    void openFile(const std::string& path) override { opened.push_back(path); }
    void showFolder(const std::string& path) override { folders.push_back(path); }
    void finished(UpdateOutcome result) override {
        outcome = result;
        ++finishedCount;
    }
};

class UpdateCheckTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = new HttpsUpdateServer; }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(server_->ready()) << "the local HTTPS server did not start";
        ::unlink(server_->root().file("inc/updateini.php?version=0_9_8_1").c_str());
        ::unlink(server_->root().file("updates/updates.ini").c_str());
    }

    UpdateCheckOptions options(int port = 0) const {
        UpdateCheckOptions o;
        o.hostSetting = "localhost:" + std::to_string(port ? port : server_->goodPort());
        o.programFolder = program_.path();
        o.installedVersion = "0.9.8.1";
        o.transfer.caFile = server_->caFile();
        o.transfer.connectTimeoutSeconds = 5;
        o.transfer.stallSeconds = 5;
        return o;
    }
    std::string url(const std::string& path, int port = 0) const {
        return "https://localhost:" + std::to_string(port ? port : server_->goodPort()) + "/" + path;
    }
    // The version-specific description this installation asks for first.
    static void describe(const std::string& text) { server_->serve("inc/updateini.php?version=0_9_8_1", text); }
    static std::string offeredFile(const std::string& name, const std::string& content) {
        server_->serve("updates/" + name, content);
        return *fileSha256(server_->root().file("updates/" + name));
    }
    std::string downloaded(const std::string& name) const { return program_.file("updates/" + name); }

    static HttpsUpdateServer* server_;
    TempFolder program_;
};

HttpsUpdateServer* UpdateCheckTest::server_ = nullptr;

TEST_F(UpdateCheckTest, NewVersionWithMatchingDigestIsDownloadedAndOpenedOnYes) {
    const std::string sha = offeredFile("setup-0.9.9.bin", std::string(20000, 'v'));
    describe("[UPDATES]\nVersion=0.9.9\nFilename=setup-0.9.9.bin\nSha256=" + sha + "\n");
    RecordingView view;
    EXPECT_EQ(UpdateCheck::run(UpdateKind::program, options(), view), UpdateOutcome::done);
    ASSERT_EQ(view.questions.size(), 2u);
    EXPECT_EQ(view.questions[0], loadString(UpdateCheck::kStringNewVersion));
    EXPECT_NE(view.questions[1].find(downloaded("setup-0.9.9.bin")), std::string::npos) << view.questions[1];
    EXPECT_EQ(view.opened, std::vector<std::string>{downloaded("setup-0.9.9.bin")});
    EXPECT_EQ(TempFolder::read(downloaded("setup-0.9.9.bin")), std::string(20000, 'v'));
    EXPECT_GT(view.progressCalls, 0);
    EXPECT_EQ(view.finishedCount, 1);

    // Saying no to the offer downloads nothing and still counts as a completed check.
    RecordingView no;
    no.answer = false;
    ::unlink(downloaded("setup-0.9.9.bin").c_str());
    EXPECT_EQ(UpdateCheck::run(UpdateKind::program, options(), no), UpdateOutcome::done);
    EXPECT_FALSE(exists(downloaded("setup-0.9.9.bin")));
    EXPECT_TRUE(no.opened.empty());
}

TEST_F(UpdateCheckTest, FileThatDoesNotMatchItsDigestIsDeletedAndNeverOpened) {
    offeredFile("tampered.bin", "a program from someone on the path");
    const std::string other = std::string(64, '0');
    for (const std::string& sha : {other, std::string("not-a-digest")}) {
        describe("[UPDATES]\nVersion=1.0.0\nFilename=tampered.bin\nSha256=" + sha + "\n");
        RecordingView view;
        EXPECT_EQ(UpdateCheck::run(UpdateKind::program, options(), view), UpdateOutcome::refused) << sha;
        EXPECT_TRUE(view.opened.empty());
        EXPECT_FALSE(exists(downloaded("tampered.bin")));
        ASSERT_EQ(view.notices.size(), 1u);
        EXPECT_NE(view.notices[0].find("does not match"), std::string::npos);
    }
}

TEST_F(UpdateCheckTest, FileWithoutDigestIsShownInItsFolderNotOpened) {
    offeredFile("plain.bin", "unchecked");
    describe("[UPDATES]\nVersion=0.9.9\nFilename=plain.bin\n");
    RecordingView view;
    EXPECT_EQ(UpdateCheck::run(UpdateKind::program, options(), view), UpdateOutcome::done);
    EXPECT_TRUE(view.opened.empty());
    EXPECT_EQ(view.folders, std::vector<std::string>{program_.file("updates")});
    EXPECT_EQ(TempFolder::read(downloaded("plain.bin")), "unchecked");
}

TEST_F(UpdateCheckTest, MissingVersionDescriptionFallsBackToTheGeneralOneAndOffersThePatch) {
    const std::string sha = offeredFile("patch-2.bin", "patch two");
    server_->serve("updates/updates.ini",
                   "[UPDATES]\nVersion=0.9.8\n[PATCHES]\nVersion=2\nFilename=patch-2.bin\nSha256=" + sha + "\n");
    RecordingView view;
    view.visible = false; // an automatic check: the window appears only when the offer is taken
    EXPECT_EQ(UpdateCheck::run(UpdateKind::program, options(), view), UpdateOutcome::done);
    EXPECT_EQ(view.questions, std::vector<std::string>{loadString(UpdateCheck::kStringNewPatch)});
    // A verified patch opens without a second question.
    EXPECT_EQ(view.opened, std::vector<std::string>{downloaded("patch-2.bin")});
    EXPECT_TRUE(view.visible);
}

TEST_F(UpdateCheckTest, NothingNewerIsSaidOnlyWhenTheWindowIsShown) {
    describe("[UPDATES]\nVersion=0.9.8\n[PATCHES]\nVersion=1\n");
    for (bool visible : {true, false}) {
        RecordingView view;
        view.visible = visible;
        EXPECT_EQ(UpdateCheck::run(UpdateKind::program, options(), view), UpdateOutcome::done);
        EXPECT_TRUE(view.questions.empty());
        EXPECT_EQ(view.notices, visible ? std::vector<std::string>{loadString(UpdateCheck::kStringNothingNewer)}
                                        : std::vector<std::string>{});
    }
}

TEST_F(UpdateCheckTest, LanguagePackUsesTheGeneralDescriptionOnly) {
    describe("[LANGUAGEPACKS]\nVersion=5000\n"); // must not be read
    const std::string sha = offeredFile("pack-1001.bin", "language pack");
    server_->serve("updates/updates.ini",
                   "[LANGUAGEPACKS]\nVersion=1001\nFilename=pack-1001.bin\nSha256=" + sha + "\n");
    UpdateCheckOptions o = options();
    RecordingView view;
    EXPECT_EQ(UpdateCheck::run(UpdateKind::languagePack, o, view), UpdateOutcome::done);
    ASSERT_EQ(view.questions.size(), 2u);
    EXPECT_EQ(view.questions[0], loadString(UpdateCheck::kStringNewLanguagePack));
    EXPECT_EQ(view.opened, std::vector<std::string>{downloaded("pack-1001.bin")});

    o.languagePackVersion = 1001;
    RecordingView current;
    EXPECT_EQ(UpdateCheck::run(UpdateKind::languagePack, o, current), UpdateOutcome::done);
    EXPECT_EQ(current.notices, std::vector<std::string>{loadString(UpdateCheck::kStringNoLanguagePack)});
}

TEST_F(UpdateCheckTest, UnusableDescriptionsAndFileNamesAreRefused) {
    // A description above 64 KiB is not taken, at either address.
    describe("[UPDATES]\nVersion=0.9.9\n;" + std::string(70 * 1024, 'x') + "\n");
    server_->serve("updates/updates.ini", "[UPDATES]\nVersion=0.9.9\n;" + std::string(70 * 1024, 'x') + "\n");
    RecordingView large;
    EXPECT_EQ(UpdateCheck::run(UpdateKind::program, options(), large), UpdateOutcome::failed);
    EXPECT_TRUE(large.questions.empty());

    // A file name that leaves the updates folder is never fetched.
    server_->serve("evil.bin", "outside");
    describe("[UPDATES]\nVersion=0.9.9\nFilename=../evil.bin\n");
    RecordingView evil;
    EXPECT_EQ(UpdateCheck::run(UpdateKind::program, options(), evil), UpdateOutcome::refused);
    EXPECT_FALSE(exists(program_.file("evil.bin")));
    EXPECT_EQ(evil.notices, std::vector<std::string>{loadString(UpdateCheck::kStringUnsafeFileName)});

    // No description at all, and a description without a version: the check failed.
    ::unlink(server_->root().file("inc/updateini.php?version=0_9_8_1").c_str());
    ::unlink(server_->root().file("updates/updates.ini").c_str());
    RecordingView none;
    EXPECT_EQ(UpdateCheck::run(UpdateKind::program, options(), none), UpdateOutcome::failed);
    describe("[PATCHES]\nVersion=3\n");
    EXPECT_EQ(UpdateCheck::run(UpdateKind::program, options(), none), UpdateOutcome::failed);
}

TEST_F(UpdateCheckTest, CancelMidDownloadStopsAndOpensNothing) {
    const std::string sha = offeredFile("big-trickle.bin", std::string(1024 * 1024, 't'));
    describe("[UPDATES]\nVersion=0.9.9\nFilename=big-trickle.bin\nSha256=" + sha + "\n");
    RecordingView view;
    view.cancelOnProgress = true;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(UpdateCheck::run(UpdateKind::program, options(), view), UpdateOutcome::cancelled);
    EXPECT_TRUE(view.opened.empty());
    EXPECT_FALSE(exists(downloaded("big-trickle.bin")));
    // The whole file takes thirteen seconds to trickle; a cancel that waited for it did not cancel.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(9));
}

TEST_F(UpdateCheckTest, TransfersRefuseWrongNamesPlainHttpStallsAndOversizedBodies) {
    server_->serve("file.bin", std::string(10000, 'f'));
    TempFolder target;
    DownloadOptions transfer;
    transfer.caFile = server_->caFile();
    transfer.stallSeconds = 1;
    struct Case {
        std::string url;
        std::uint64_t maxBytes;
        DownloadFault fault;
    } cases[] = {
        {url("file.bin"), 1u << 20, DownloadFault::none},
        {url("file.bin", server_->wrongNamePort()), 1u << 20, DownloadFault::certificate},
        {"http://localhost:" + std::to_string(server_->goodPort()) + "/file.bin", 1u << 20, DownloadFault::refusedAddress},
        {url("slow.bin"), 1u << 20, DownloadFault::timedOut},
        {url("file.bin"), 9999, DownloadFault::tooLarge},
        {url("missing.bin"), 1u << 20, DownloadFault::httpStatus},
    };
    for (const Case& c : cases) {
        DownloadOptions capped = transfer;
        capped.maxBytes = c.maxBytes;
        HttpsDownload cappedDownload(capped);
        const DownloadResult result = cappedDownload.fetch(c.url, target.file("out.bin"), {});
        EXPECT_EQ(cappedDownload.lastFault(), c.fault) << c.url;
        EXPECT_EQ(result, c.fault == DownloadFault::none ? DownloadResult::done : DownloadResult::failed) << c.url;
        EXPECT_EQ(exists(target.file("out.bin")), c.fault == DownloadFault::none) << c.url;
        ::unlink(target.file("out.bin").c_str());
    }
    // Without the test's CA the system's store does not know the server.
    HttpsDownload system(DownloadOptions{});
    EXPECT_EQ(system.fetch(url("file.bin"), target.file("out.bin"), {}), DownloadResult::failed);
    EXPECT_EQ(system.lastFault(), DownloadFault::certificate);

    // The whole check with a wrong-name server or a plain http host fails without asking anything.
    for (const std::string& host : {"localhost:" + std::to_string(server_->wrongNamePort()),
                                    "http://localhost:" + std::to_string(server_->goodPort())}) {
        describe("[UPDATES]\nVersion=9.9.9\n");
        UpdateCheckOptions o = options();
        o.hostSetting = host;
        RecordingView view;
        EXPECT_EQ(UpdateCheck::run(UpdateKind::program, o, view), UpdateOutcome::failed) << host;
        EXPECT_TRUE(view.questions.empty()) << host;
    }
}

TEST_F(UpdateCheckTest, OneCheckRunsAtATime) {
    const std::string sha = offeredFile("big-trickle.bin", std::string(100 * 1024, 't'));
    describe("[UPDATES]\nVersion=0.9.9\nFilename=big-trickle.bin\nSha256=" + sha + "\n");
    auto first = std::make_shared<RecordingView>();
    UpdateCheck& check = UpdateCheck::instance();
    ASSERT_TRUE(check.start(UpdateKind::program, options(), first));
    EXPECT_TRUE(check.running());
    EXPECT_FALSE(check.start(UpdateKind::languagePack, options(), std::make_shared<RecordingView>()));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (first->finishedCount == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(first->outcome, UpdateOutcome::done);
    check.release();
    EXPECT_FALSE(check.running());
    EXPECT_EQ(first->opened.size(), 1u);
    UpdateCheck::destroyInstance();
}

} // namespace
