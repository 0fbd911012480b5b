#pragma once
// A program folder in a temporary folder with one of the built plug-ins installed in plugins/,
// loaded by the real plug-in manager, and a running mail check and training area the plug-in's
// host requests reach.
#include "base/Application.h"
#include "base/AtomicFile.h"
#include "base/IniFile.h"
#include "filter/FilterChain.h"
#include "filter/FilterManager.h"
#include "filter/FilterVerdict.h"
#include "upstream/MailMessage.h"
#include "filter/PluginLearning.h"
#include "filter/PluginManager.h"
#include "filter/PluginSessionAccess.h"
#include "tests/fakes/FakePluginSession.h"
#include "tests/fakes/ScriptedShell.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <string>
#include <vector>

namespace corvanthelix::testing {

/// The training area's learning: records what it was asked to learn.
class RecordingLearning : public PluginLearning {
public:
    struct Request {
        std::string source;
        bool asSpam;
    };
    std::vector<Request> requests;

    int learnNow(std::string_view source, bool asSpam) override {
        requests.push_back({std::string(source), asSpam});
        return 0;
    }
};

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
        session.install();
        gRecordingLearning = &learning;
        installPluginLearning([]() -> PluginLearning* { return gRecordingLearning; });
    }

    void TearDown() override {
        FilterManager::destroyInstance();
        FilterChain::destroyInstance();
        PluginManager::destroyInstance();
        installPluginSessionAccessor(nullptr);
        installPluginLearning(nullptr);
        Application::instance().setShell(nullptr);
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
        manager().loadAll();
        EXPECT_EQ(shell.calls(), std::vector<std::string>{}) << "loaded without complaint";
        for (PluginRecord* record : manager().records())
            if (record->fileName() == library_) return record;
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
        message.parse(source);
        return message;
    }

    TempFolder program;
    ScriptedShell shell;
    FakePluginSession session;
    RecordingLearning learning;

private:
    std::string library_;
};

} // namespace corvanthelix::testing
