#pragma once
// A program folder in a temporary folder with one of the built plug-ins installed in plugins/,
// loaded by the real plug-in manager, and a running mail check and training area the plug-in's
// host requests reach.
#include "app/Application.h"
#include "app/AtomicFile.h"
#include "app/IniFile.h"
#include "filter/FilterChain.h"
#include "filter/FilterManager.h"
#include "filter/FilterVerdict.h"
#include "filter/MailMessage.h"
#include "filter/PluginLearning.h"
#include "filter/PluginManager.h"
#include "filter/PluginSessionAccess.h"
#include "tests/fakes/ScriptedShell.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <map>
#include <string>
#include <vector>

namespace corvanthelix::testing {

/// The mail check as host services see it: message sources by number, reasons and handled marks.
class RecordingSession : public PluginSessionAccess {
public:
    std::map<int, std::string> sources;
    std::map<int, std::string> reasons;
    std::vector<int> handled;

    bool SetPluginReason(int messageNumber, std::string_view text) override {
        if (!sources.count(messageNumber)) return false;
        reasons[messageNumber] = std::string(text);
        return true;
    }
    bool MarkHandledByPlugin(int messageNumber) override {
        if (!sources.count(messageNumber)) return false;
        handled.push_back(messageNumber);
        return true;
    }
    bool MessageSource(int messageNumber, std::string& source) override {
        auto found = sources.find(messageNumber);
        if (found == sources.end()) return false;
        source = found->second;
        return true;
    }
};

/// The training area's learning: records what it was asked to learn.
class RecordingLearning : public PluginLearning {
public:
    struct Request {
        std::string source;
        bool asSpam;
    };
    std::vector<Request> requests;

    int LearnNow(std::string_view source, bool asSpam) override {
        requests.push_back({std::string(source), asSpam});
        return 0;
    }
};

inline RecordingSession* gRecordingSession = nullptr;
inline RecordingLearning* gRecordingLearning = nullptr;

class PluginFixture : public ::testing::Test {
protected:
    /// `library`: the plug-in's file in the staged program folder's plugins/ ("quillatrest.so").
    explicit PluginFixture(std::string library) : library_(std::move(library)) {}

    void SetUp() override {
        PluginManager::destroyInstance();
        ASSERT_TRUE(Application::instance().setProgramFolder(program.path()));
        IniFile::clearCache();
        Application::instance().setShell(&shell);
        ASSERT_TRUE(ensureFolder(program.file("plugins")));
        gRecordingSession = &session;
        gRecordingLearning = &learning;
        installPluginSessionAccessor([]() -> PluginSessionAccess* { return gRecordingSession; });
        installPluginLearning([]() -> PluginLearning* { return gRecordingLearning; });
    }

    void TearDown() override {
        FilterManager::destroyInstance();
        FilterChain::destroyInstance();
        PluginManager::destroyInstance();
        installPluginSessionAccessor(nullptr);
        installPluginLearning(nullptr);
        Application::instance().setShell(nullptr);
        gRecordingSession = nullptr;
        gRecordingLearning = nullptr;
    }

    static PluginManager& manager() { return PluginManager::instance(); }

    /// Path of a file in the program folder's plugins/.
    std::string pluginFile(const std::string& name) const { return program.file("plugins/" + name); }
    std::string libraryPath() const { return pluginFile(library_); }

    /// Copies the built plug-in into plugins/ and has the manager load the folder; the plug-in's
    /// record, or null (with a failure) when it was not loaded.
    PluginRecord* load() {
        std::string bytes;
        EXPECT_TRUE(readWholeFile(std::string(CORVANTHELIX_PROGRAM_DIR) + "/plugins/" + library_, bytes));
        EXPECT_TRUE(replaceFileAtomically(libraryPath(), bytes, false, 0700));
        manager().LoadAll();
        EXPECT_EQ(shell.calls(), std::vector<std::string>{}) << "loaded without complaint";
        for (PluginRecord* record : manager().Records())
            if (record->FileName() == library_) return record;
        ADD_FAILURE() << library_ << " was not loaded";
        return nullptr;
    }

    /// True while the library at `path` is in the process.
    static bool libraryInProcess(const std::string& path) {
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (handle) dlclose(handle);
        return handle != nullptr;
    }

    static MailMessage parse(const std::string& source) {
        MailMessage message;
        message.Parse(source);
        return message;
    }

    TempFolder program;
    ScriptedShell shell;
    RecordingSession session;
    RecordingLearning learning;

private:
    std::string library_;
};

} // namespace corvanthelix::testing
