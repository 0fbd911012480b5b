#include "filter/PluginManager.h"

#include "base/Application.h"
#include "base/AtomicFile.h"
#include "base/IniFile.h"
#include "base/Settings.h"
#include "filter/FilterChain.h"
#include "filter/FilterManager.h"
#include "filter/FilterVerdict.h"
#include "upstream/MailMessage.h"
#include "filter/PluginHostServices.h"
#include "filter/PluginLearning.h"
#include "filter/PluginSessionAccess.h"
#include "base/TextUtils.h"
#include "language/Vexolindra.h"
#include "tests/fakes/FakePluginSession.h"
#include "tests/fakes/ScriptedShell.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <dlfcn.h>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

using namespace corvanthelix;
using corvanthelix::testing::FakePluginSession;
using corvanthelix::testing::ScriptedShell;
using corvanthelix::testing::TempFolder;

namespace {

const std::string kPluginDir = CORVANTHELIX_TEST_PLUGIN_DIR;
const std::string kMailDir = std::string(CORVANTHELIX_FIXTURES) + "/mail/";
constexpr const char* kServices = "services.so";

std::string box(const std::string& text) { return "messageBox|Corvanthelix|" + text + "|48"; }
std::string couldNotLoad(const std::string& file) { return box("Plugin could not be loaded:\n" + file); }
std::string causedException(const std::string& name) {
    return box("The following plugin has caused an exception:\n" + name + "\n\nThis Plugin will be skipped.");
}

// The training area's learning; records each request and whether another thread could take the
// plug-in manager's lock at that moment (it must not be held by the learning thread).
class FakeLearning : public PluginLearning {
public:
    struct Request {
        std::string source;
        bool asSpam;
        bool managerFree;
    };
    std::vector<Request> requests;
    int answer = 0;

    int learnNow(std::string_view source, bool asSpam) override {
        auto probe = std::async(std::launch::async, [] { PluginManager::instance().records(); });
        bool free = probe.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
        requests.push_back({std::string(source), asSpam, free});
        return answer;
    }
};

FakeLearning* gLearning = nullptr;

class PluginManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        PluginManager::destroyInstance();
        ASSERT_TRUE(Application::instance().setProgramFolder(folder.path()));
        IniFile::clearCache();
        Application::instance().setShell(&shell);
        ASSERT_TRUE(ensureFolder(folder.file("plugins")));
    }
    void TearDown() override {
        FilterManager::destroyInstance();
        FilterChain::destroyInstance();
        PluginManager::destroyInstance();
        installChainPluginHost(nullptr);
        installPluginSessionAccessor(nullptr);
        installPluginLearning(nullptr);
        PluginManager::setWidgetTranslators(nullptr, nullptr);
        Application::instance().setShell(nullptr);
        gLearning = nullptr;
    }

    static PluginManager& manager() { return PluginManager::instance(); }

    // Copies a test plug-in into the program's plug-in folder; returns its path there.
    std::string install(const std::string& file) {
        std::string bytes;
        EXPECT_TRUE(readWholeFile(kPluginDir + "/" + file, bytes)) << file;
        std::string path = folder.file("plugins/" + file);
        EXPECT_TRUE(replaceFileAtomically(path, bytes, false, 0700));
        return path;
    }

    // Installs and adds a plug-in; its record, or null when it was refused.
    PluginRecord* add(const std::string& file) {
        if (!manager().addPlugin(install(file))) return nullptr;
        for (PluginRecord* record : manager().records())
            if (record->fileName() == file) return record;
        return nullptr;
    }

    // The plug-in's own setting as it reads it (stored Q-encoded).
    static std::string value(const std::string& key, const std::string& file = kServices) {
        return QuotedPrintableDecode(settings::pluginSetting(file, key));
    }
    static void setValue(const std::string& key, const std::string& text, const std::string& file = kServices) {
        settings::setPluginSetting(file, key, QEncode(text).c_str());
    }

    // Asks the host for a service as the loaded services plug-in does.
    intptr_t ask(uint32_t code, uint16_t argument, intptr_t data) {
        void* handle = dlopen(folder.file(std::string("plugins/") + kServices).c_str(), RTLD_NOW | RTLD_NOLOAD);
        EXPECT_NE(handle, nullptr) << "the services plug-in is loaded";
        if (!handle) return -100;
        auto forward = reinterpret_cast<intptr_t (*)(uint32_t, uint16_t, intptr_t)>(dlsym(handle, "cvx_test_ask"));
        intptr_t result = forward(code, argument, data);
        dlclose(handle);
        return result;
    }

    // Makes `session` the running mail check and `learning` the training area's learning.
    void attachMailCheck() {
        session.install();
        gLearning = &learning;
        installPluginLearning([]() -> PluginLearning* { return gLearning; });
    }

    static MailMessage message(const std::string& fixture) {
        MailMessage parsed;
        EXPECT_EQ(parsed.loadFile(kMailDir + fixture), 0) << fixture;
        return parsed;
    }

    TempFolder folder;
    ScriptedShell shell;
    FakePluginSession session;
    FakeLearning learning;
};

bool libraryInProcess(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle) dlclose(handle);
    return handle != nullptr;
}

// --- Loading ----------------------------------------------------------------------------------------

TEST_F(PluginManagerTest, LoadsOnlyLibrariesThatDescribeThemselvesForThisHost) {
    struct Case {
        const char* file;
        std::function<void()> prepare;
        bool loads;
        std::vector<std::string> boxes;
    } cases[] = {
        {"needs_096.so", {}, true, {}},
        {"needs_099.so", {}, false, {couldNotLoad("needs_099.so")}},
        {"no_info.so", {}, false, {couldNotLoad("no_info.so")}},
        {"null_info.so", {}, false, {couldNotLoad("null_info.so")}},
        {"services.so", [] { setValue("InitResult", "1"); }, false, {couldNotLoad("services.so")}},
        {"services.so", [] { setValue("InitResult", "0"); }, true, {}},
        {"throws_init.so", {}, false, {causedException("Init Thrower"), couldNotLoad("throws_init.so")}},
        {"garbage.so", {}, false, {couldNotLoad("garbage.so")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TempFolder program;
        ASSERT_TRUE(Application::instance().setProgramFolder(program.path()));
        ASSERT_TRUE(ensureFolder(program.file("plugins")));
        if (c.prepare) c.prepare();
        if (std::string(c.file) == "garbage.so") {
            program.write("plugins/garbage.so", "not a library\n");
        } else {
            std::string bytes;
            ASSERT_TRUE(readWholeFile(kPluginDir + "/" + c.file, bytes));
            ASSERT_TRUE(replaceFileAtomically(program.file(std::string("plugins/") + c.file), bytes, false, 0700));
        }
        shell.clear();
        manager().loadAll();
        EXPECT_EQ(manager().records().size(), c.loads ? 1u : 0u);
        EXPECT_EQ(shell.calls(), c.boxes);
        EXPECT_EQ(libraryInProcess(program.file(std::string("plugins/") + c.file)), c.loads)
            << "a refused library is released";
        PluginManager::destroyInstance();
    }
}

TEST_F(PluginManagerTest, LoadAllListsTheFolderOnceNewestAtTheHead) {
    install("needs_096.so");
    install("needs_099.so");
    install(kServices);
    folder.write("plugins/readme.txt", "not a plug-in");
    manager().loadAll();
    std::vector<std::string> names;
    for (PluginRecord* record : manager().records()) names.push_back(record->fileName());
    EXPECT_EQ(names, (std::vector<std::string>{"services.so", "needs_096.so"}));
    EXPECT_EQ(shell.calls(), std::vector<std::string>{couldNotLoad("needs_099.so")});
    EXPECT_EQ(value("Loads"), "1") << "service 0 gave the plug-in a working host callback";

    manager().loadAll();
    EXPECT_EQ(manager().records().size(), 2u);
    EXPECT_EQ(shell.calls().size(), 1u) << "a second LoadAll neither loads nor reports again";
}

TEST_F(PluginManagerTest, APluginDisabledInTheSettingsIsListedWithItsDescriptionOnly) {
    settings::setPluginEnabled(kServices, 0);
    PluginRecord* record = add(kServices);
    ASSERT_NE(record, nullptr);
    EXPECT_FALSE(record->enabled);
    EXPECT_FALSE(record->loaded());
    EXPECT_FALSE(libraryInProcess(record->path));
    ASSERT_NE(record->info, nullptr);
    EXPECT_EQ(record->name(), "Service Test");
    EXPECT_EQ(PluginManager::versionText(record->info->version), "1.2.3");
    EXPECT_EQ(record->info->partFilter, nullptr) << "the host's copy keeps no function of the library";
    EXPECT_EQ(value("Cleanups"), "1") << "cleanup ran before the library was released";
    EXPECT_TRUE(manager().filterPlugins().empty());
    FilterVerdict verdict;
    MailMessage mail = message("plain.eml");
    EXPECT_EQ(manager().pluginVerdict(record, 1, &mail, verdict), 0);
    EXPECT_EQ(value("Calls"), "") << "none of its functions is called";
}

TEST_F(PluginManagerTest, DisablingAndEnablingReloadsTheLibraryAndSendsServiceZeroAgain) {
    PluginRecord* record = add(kServices);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(value("Loads"), "1");

    ASSERT_TRUE(manager().setEnabled(*record, false));
    EXPECT_FALSE(libraryInProcess(record->path)) << "the library is released";
    EXPECT_EQ(value("Cleanups"), "1");
    EXPECT_EQ(record->name(), "Service Test");

    ASSERT_TRUE(manager().setEnabled(*record, true));
    EXPECT_TRUE(record->loaded());
    EXPECT_EQ(value("Loads"), "2");
    EXPECT_EQ(ask(CVX_HOST_VERSION, 0, 0), 152) << "the callback of the new load works";

    manager().setEnabled(*record, false);
    manager().saveStates();
    EXPECT_EQ(settings::pluginEnabled(kServices), 0);
    manager().setEnabled(*record, true);
    manager().saveStates();
    EXPECT_EQ(settings::pluginEnabled(kServices), 1);
}

TEST_F(PluginManagerTest, EnablingAPluginThatNoLongerLoadsKeepsItDisabled) {
    settings::setPluginEnabled(kServices, 0);
    PluginRecord* record = add(kServices);
    ASSERT_NE(record, nullptr);
    setValue("InitResult", "3");
    EXPECT_FALSE(manager().setEnabled(*record, true));
    EXPECT_FALSE(record->enabled);
    EXPECT_EQ(record->name(), "Service Test") << "it is still listed with what it showed";
    EXPECT_EQ(shell.calls(), std::vector<std::string>{couldNotLoad(kServices)});
}

// --- Host services --------------------------------------------------------------------------------

TEST_F(PluginManagerTest, HostServicesAnswerAsTheInterfaceStates) {
    PluginRecord* services = add(kServices);
    PluginRecord* other = add("needs_096.so");
    ASSERT_NE(services, nullptr);
    ASSERT_NE(other, nullptr);
    // Any address inside a library names it; the descriptions live there.
    const void* ownModule = services->info;
    const void* module = other->info;
    std::string plainSource = message("plain.eml").source();
    std::string htmlSource = message("alternative.eml").source();
    std::string plainBody = *message("plain.eml").bodyText(false);
    char buffer[512];

    struct Case {
        const char* name;
        std::function<intptr_t()> call;
        intptr_t result;
        std::function<void()> check;
    };
    auto text = [&](const char* in, int size) {
        std::memset(buffer, 'X', sizeof buffer);
        static TextRequest request;
        request = {sizeof(TextRequest), in, in ? buffer : nullptr, size};
        return reinterpret_cast<intptr_t>(&request);
    };
    static CodecRequest codec;
    auto coding = [&](uint32_t code, const char* in, int kind, bool withBuffer, int size = 512) {
        std::memset(buffer, 'X', sizeof buffer);
        codec = {sizeof(CodecRequest), in, withBuffer ? buffer : nullptr, size, static_cast<uint16_t>(kind)};
        return ask(code, 0, reinterpret_cast<intptr_t>(&codec));
    };
    static MessageTextRequest body;
    auto bodyText = [&](const char* source, bool withBuffer, uint16_t flag, int size = 512) {
        std::memset(buffer, 'X', sizeof buffer);
        body = {sizeof(MessageTextRequest), source, withBuffer ? buffer : nullptr, size, flag};
        return ask(CVX_HOST_MESSAGE_TEXT, 0, reinterpret_cast<intptr_t>(&body));
    };
    auto write = [&](const void* owner, const char* key, const char* text) {
        SettingWrite request{sizeof(SettingWrite), owner, key, text, 0};
        return ask(CVX_HOST_WRITE_SETTING, 0, reinterpret_cast<intptr_t>(&request));
    };
    auto read = [&](const void* owner, const char* key, int size = 512) {
        std::memset(buffer, 'X', sizeof buffer);
        SettingRead request{sizeof(SettingRead), owner, key, buffer, size};
        return ask(CVX_HOST_READ_SETTING, 0, reinterpret_cast<intptr_t>(&request));
    };
    auto bufferIs = [&](const char* expected) { return [&, expected] { EXPECT_STREQ(buffer, expected); }; };
    auto sizeIs = [&](int32_t expected) { return [&, expected] { EXPECT_EQ(codec.bufferSize, expected); }; };

    Case cases[] = {
        {"null request", [] { return pluginhost::service(nullptr); }, -1, {}},
        {"unknown code", [&] { return ask(0x10000099, 0, 0); }, 0, {}},
        {"host version 0.9.8", [&] { return ask(CVX_HOST_VERSION, 0, 0); }, 152, {}},
        {"translate text without a language", [&] { return ask(CVX_HOST_TRANSLATE_TEXT, 0, text("Enable", 512)); }, 0,
         bufferIs("Enable")},
        {"translate text cut to the buffer", [&] { return ask(CVX_HOST_TRANSLATE_TEXT, 0, text("Enable", 4)); }, 0,
         bufferIs("Ena")},
        {"translate text without text", [&] { return ask(CVX_HOST_TRANSLATE_TEXT, 0, text(nullptr, 8)); }, -1, {}},
        {"translate text without record", [&] { return ask(CVX_HOST_TRANSLATE_TEXT, 0, 0); }, -1, {}},
        {"translate window without window", [&] { return ask(CVX_HOST_TRANSLATE_WINDOW, 0, 0); }, -1, {}},
        {"translate menu without menu", [&] { return ask(CVX_HOST_TRANSLATE_MENU, 0, 0); }, -1, {}},
        {"translate window without a desktop", [&] { return ask(CVX_HOST_TRANSLATE_WINDOW, 0, 1234); }, 0, {}},
        {"body text size", [&] { return bodyText(plainSource.c_str(), false, 0); }, 0,
         [&] { EXPECT_EQ(body.bufferSize, static_cast<int32_t>(plainBody.size() + 1)); }},
        {"body text", [&] { return bodyText(plainSource.c_str(), true, 0); }, 0,
         [&] { EXPECT_EQ(std::string(buffer), plainBody); }},
        {"body text cut", [&] { return bodyText(plainSource.c_str(), true, 0, 3); }, 0,
         [&] { EXPECT_EQ(std::string(buffer), plainBody.substr(0, 2)); }},
        {"body text with tags", [&] { return bodyText(htmlSource.c_str(), true, 0); }, 0,
         [&] { EXPECT_NE(std::strstr(buffer, "<b>10442</b>"), nullptr); }},
        {"body text without tags", [&] { return bodyText(htmlSource.c_str(), true, CVX_MESSAGE_TEXT_STRIP_HTML); }, 0,
         [&] {
             EXPECT_EQ(std::strchr(buffer, '<'), nullptr);
             EXPECT_NE(std::strstr(buffer, "10442 has shipped."), nullptr);
         }},
        {"body text without source", [&] { return bodyText(nullptr, true, 0); }, -1, {}},
        {"body text of a message without text", [&] { return bodyText("Content-Type: image/png\r\n\r\nabc", false, 0); }, -1, {}},
        {"base64 size of one byte", [&] { return coding(CVX_HOST_ENCODE, "a", CVX_CODEC_BASE64, false); }, 0,
         sizeIs(5)},
        {"base64 encode", [&] { return coding(CVX_HOST_ENCODE, "a", CVX_CODEC_BASE64, true); }, 0, bufferIs("YQ==")},
        {"Q encode", [&] { return coding(CVX_HOST_ENCODE, "a b=c", CVX_CODEC_Q, true); }, 0, bufferIs("a_b=3Dc")},
        {"Q encode size", [&] { return coding(CVX_HOST_ENCODE, "\xe4", CVX_CODEC_Q, false); }, 0, sizeIs(4)},
        {"encode unknown kind", [&] { return coding(CVX_HOST_ENCODE, "a", 4, true); }, -1, {}},
        {"encode without text", [&] { return coding(CVX_HOST_ENCODE, nullptr, 1, true); }, -1, {}},
        {"base64 decode", [&] { return coding(CVX_HOST_DECODE, "YWJj", CVX_CODEC_BASE64, true); }, 0,
         bufferIs("abc")},
        {"base64 decode size", [&] { return coding(CVX_HOST_DECODE, "YWJj", CVX_CODEC_BASE64, false); }, 0,
         sizeIs(4)},
        {"quoted-printable decode", [&] { return coding(CVX_HOST_DECODE, "a=3Db_c", 2, true); }, 0, bufferIs("a=b c")},
        {"decode cut", [&] { return coding(CVX_HOST_DECODE, "YWJj", CVX_CODEC_BASE64, true, 2); }, 0, bufferIs("a")},
        {"encoded words", [&] { return coding(CVX_HOST_DECODE, "x =?utf-8?Q?caf=C3=A9?=", 4, true); }, 0,
         bufferIs("x caf\xc3\xa9")},
        {"decode unknown kind", [&] { return coding(CVX_HOST_DECODE, "a", 3, true); }, -1, {}},
        {"setting with spaces", [&] { return write(ownModule, "Greeting2", "two words_and=more"); }, 0,
         [&] {
             EXPECT_EQ(settings::pluginSetting(kServices, "Greeting2"), "two_words=5Fand=3Dmore");
             EXPECT_EQ(read(ownModule, "Greeting2"), 0);
             EXPECT_STREQ(buffer, "two words_and=more");
         }},
        {"setting of another plug-in's module", [&] { return write(module, "Size", "7"); }, 0,
         [&] { EXPECT_EQ(settings::pluginSetting("needs_096.so", "Size"), "7"); }},
        {"setting key with a hyphen", [&] { return write(ownModule, "Max-Size", "1"); }, -1,
         [&] { EXPECT_EQ(settings::pluginSetting(kServices, "Max-Size"), ""); }},
        {"setting key empty", [&] { return write(ownModule, "", "1"); }, -1, {}},
        {"setting key with a space", [&] { return read(ownModule, "a b"); }, -1, {}},
        {"setting of no plug-in", [&] { return write(&plainSource, "Key", "1"); }, -1, {}},
        {"setting without module", [&] { return write(nullptr, "Key", "1"); }, -1, {}},
        {"empty value stores nothing", [&] { return write(ownModule, "Empty", ""); }, 0,
         [&] { EXPECT_FALSE(IniFile::hasKey(kServices, "Empty", settings::settingsFile())); }},
        {"missing setting reads empty", [&] { return read(ownModule, "Nothing"); }, 0, bufferIs("")},
        {"setting read cut", [&] { return read(ownModule, "Greeting2", 4); }, 0, bufferIs("two")},
        {"set reason outside a mail check", [&] { return ask(CVX_HOST_SET_REASON, 1, reinterpret_cast<intptr_t>("r")); },
         -1, {}},
        {"mark handled outside a mail check", [&] { return ask(CVX_HOST_MARK_HANDLED, 1, 2); }, -1, {}},
        {"learn without a training area", [&] { return ask(CVX_HOST_LEARN, 1, reinterpret_cast<intptr_t>("x")); }, -1,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.call(), c.result);
        if (c.check) c.check();
    }
}

TEST_F(PluginManagerTest, TranslationServicesUseTheLoadedLanguageAndTheDesktop) {
    ASSERT_NE(add(kServices), nullptr);
    std::string german = std::string(CORVANTHELIX_FIXTURES) + "/../../resources/languages/deutsch.corvanthelix.language";
    ASSERT_NE(InitLanguage(german.c_str()), nullptr);
    char buffer[64];
    TextRequest request{sizeof request, "Enable", buffer, sizeof buffer};
    EXPECT_EQ(ask(CVX_HOST_TRANSLATE_TEXT, 0, reinterpret_cast<intptr_t>(&request)), 0);
    EXPECT_STREQ(buffer, "Einschalten");
    InitLanguage(nullptr);

    static std::vector<std::string> translated;
    translated.clear();
    PluginManager::setWidgetTranslators([](void* w) { translated.push_back("window " + std::to_string(reinterpret_cast<intptr_t>(w))); },
                                        [](void* m) { translated.push_back("menu " + std::to_string(reinterpret_cast<intptr_t>(m))); });
    EXPECT_EQ(ask(CVX_HOST_TRANSLATE_WINDOW, 0, 11), 0);
    EXPECT_EQ(ask(CVX_HOST_TRANSLATE_MENU, 0, 22), 0);
    EXPECT_EQ(translated, (std::vector<std::string>{"window 11", "menu 22"}));
}

TEST_F(PluginManagerTest, ReasonsAndHandledMarksReachTheRunningMailCheck) {
    ASSERT_NE(add(kServices), nullptr);
    attachMailCheck();
    session.sources = {{3, "Subject: three\r\n\r\nbody three\r\n"}, {4, "Subject: four\r\n\r\nbody four\r\n"}};

    std::string longReason(300, 'r');
    EXPECT_EQ(ask(CVX_HOST_SET_REASON, 3, reinterpret_cast<intptr_t>(longReason.c_str())), 0);
    EXPECT_EQ(session.reasons[3], std::string(255, 'r'));
    EXPECT_EQ(ask(CVX_HOST_SET_REASON, 9, reinterpret_cast<intptr_t>("no such message")), -1);

    struct Case {
        int number;
        intptr_t data;
        intptr_t result;
        size_t learned;
        bool asSpam;
    } cases[] = {
        {3, 1, 0, 1, true},    // handled and learned as spam
        {4, 0, 0, 1, false},   // handled and learned as non-spam
        {3, 7, 0, 0, false},   // only handled
        {9, 1, -1, 0, false},  // no such message
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        learning.requests.clear();
        session.handled.clear();
        EXPECT_EQ(ask(CVX_HOST_MARK_HANDLED, static_cast<uint16_t>(c.number), c.data), c.result);
        EXPECT_EQ(session.handled, c.result == 0 ? std::vector<int>{c.number} : std::vector<int>{});
        ASSERT_EQ(learning.requests.size(), c.learned);
        if (c.learned) {
            EXPECT_EQ(learning.requests[0].source, session.sources[c.number]);
            EXPECT_EQ(learning.requests[0].asSpam, c.asSpam);
        }
    }
}

TEST_F(PluginManagerTest, LearningOnRequestChecksItsArguments) {
    ASSERT_NE(add(kServices), nullptr);
    attachMailCheck();
    const char* source = "Subject: learn me\r\n\r\nbody\r\n";
    auto data = reinterpret_cast<intptr_t>(source);
    struct Case {
        const char* name;
        uint32_t code;
        uint16_t flag;
        intptr_t data;
        int learnerAnswer;
        intptr_t result;
    } cases[] = {
        {"as spam", CVX_HOST_LEARN, 1, data, 0, 0},
        {"as non-spam under the older code", CVX_HOST_LEARN_OLD, 0, data, 0, 0},
        {"flag neither 0 nor 1", CVX_HOST_LEARN, 2, data, 0, -1},
        {"no message", CVX_HOST_LEARN, 1, 0, 0, -1},
        {"learning failed", CVX_HOST_LEARN, 1, data, -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        learning.requests.clear();
        learning.answer = c.learnerAnswer;
        EXPECT_EQ(ask(c.code, c.flag, c.data), c.result);
        bool asked = c.result == 0 || c.learnerAnswer != 0;
        ASSERT_EQ(learning.requests.size(), asked ? 1u : 0u);
        if (asked) {
            EXPECT_EQ(learning.requests[0].source, source);
            EXPECT_EQ(learning.requests[0].asSpam, c.flag == 1);
        }
    }
}

// --- Filtering ------------------------------------------------------------------------------------

TEST_F(PluginManagerTest, PluginVerdictRunsTheFiltersInOrderUntilOneDecides) {
    PluginRecord* record = add(kServices);
    ASSERT_NE(record, nullptr);
    MailMessage mail = message("nested.eml");
    const std::string parts =
        "part:multipart/mixed@0 part:text/plain@0 part:multipart/alternative@0 part:text/plain@0 "
        "part:text/html@0 part:application/octet-stream@0 part:text/plain@0";
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, const char*>> script;
        int answer;
        std::string calls;
    } cases[] = {
        {"nothing decides", {}, 0, parts + " text< plain source"},
        {"a part decides", {{"StopAt", "text/html"}, {"PartAnswer", "-1"}}, -1,
         "part:multipart/mixed@0 part:text/plain@0 part:multipart/alternative@0 part:text/plain@0 part:text/html@0"},
        {"the text filter decides", {{"TextAnswer", "1"}}, 1, parts + " text<"},
        {"the plain-text filter decides", {{"PlainAnswer", "-1"}}, -1, parts + " text< plain"},
        {"the source filter decides", {{"SourceAnswer", "-1"}}, -1, parts + " text< plain source"},
        {"an answer out of range counts by its sign", {{"SourceAnswer", "7"}}, 1, parts + " text< plain source"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* key : {"StopAt", "PartAnswer", "TextAnswer", "PlainAnswer", "SourceAnswer", "Calls"})
            settings::setPluginSetting(kServices, key, nullptr);
        for (const auto& [key, text] : c.script) setValue(key, text);
        setValue("Reason", std::string("decided by ") + c.name);
        FilterVerdict verdict;
        verdict.probability = 0.5;
        EXPECT_EQ(manager().pluginVerdict(record, 12, &mail, verdict), c.answer);
        EXPECT_EQ(value("Calls"), c.calls) << "@0: the probability was 0 when each part was given";
        if (c.answer) {
            EXPECT_STREQ(verdict.reason, (std::string("decided by ") + c.name).c_str());
            EXPECT_EQ(verdict.probability, 0.9);
        } else {
            EXPECT_STREQ(verdict.reason, "");
        }
    }
}

TEST_F(PluginManagerTest, PluginVerdictIsUndecidedWithoutSomethingToJudge) {
    PluginRecord* record = add(kServices);
    ASSERT_NE(record, nullptr);
    MailMessage mail = message("plain.eml");
    MailMessage empty;
    PluginRecord stranger;
    FilterVerdict verdict;
    EXPECT_EQ(manager().pluginVerdict(nullptr, 1, &mail, verdict), 0);
    EXPECT_EQ(manager().pluginVerdict(record, 1, nullptr, verdict), 0);
    EXPECT_EQ(manager().pluginVerdict(record, 1, &empty, verdict), 0);
    EXPECT_EQ(manager().pluginVerdict(&stranger, 1, &mail, verdict), 0);
    EXPECT_EQ(value("Calls"), "");
}

TEST_F(PluginManagerTest, AThrowingPluginIsReportedOnceAndLeavesMessagesUndecided) {
    PluginRecord* record = add("throws.so");
    ASSERT_NE(record, nullptr);
    MailMessage first = message("plain.eml");
    MailMessage second = message("nested.eml");
    FilterVerdict verdict;
    EXPECT_EQ(manager().pluginVerdict(record, 1, &first, verdict), 0) << "its source filter would say spam";
    EXPECT_EQ(manager().pluginVerdict(record, 2, &second, verdict), 0);
    EXPECT_EQ(manager().afterDelivery(first), 0);
    EXPECT_EQ(shell.calls(), std::vector<std::string>{causedException("Thrower")});

    // A new load of the library reports its next fault again.
    manager().setEnabled(*record, false);
    manager().setEnabled(*record, true);
    EXPECT_EQ(manager().pluginVerdict(record, 1, &first, verdict), 0);
    EXPECT_EQ(shell.count("messageBox"), 2);
}

TEST_F(PluginManagerTest, AfterDeliveryGivesEachPluginWhatItAsksFor) {
    ASSERT_NE(add("throws.so"), nullptr);
    ASSERT_NE(add(kServices), nullptr);  // head of the list: asked first
    MailMessage mail = message("nested.eml");
    const std::string size = std::to_string(mail.source().size());
    const std::string textSize = std::to_string(mail.bodyText(false)->size());
    struct Case {
        const char* mode;
        const char* stopAt;
        const char* result;
        int expected;
        std::string delivered;
        int exceptionBoxes;
    } cases[] = {
        {"1", "text/html", "272", 272,
         "part:multipart/mixed part:text/plain part:multipart/alternative part:text/plain part:text/html", 0},
        {"2", "", "16", 16, "text:" + textSize, 0},
        {"4", "", "1", 1, "source:" + size, 0},
        // Nothing from the first plug-in: the next one is asked, and throws.
        {"4", "", "0", 0, "source:" + size, 1},
        {"3", "", "1", 0, "", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("mode ") + c.mode + " result " + c.result);
        settings::setPluginSetting(kServices, "Delivered", nullptr);
        setValue("Mode", c.mode);
        setValue("StopAt", c.stopAt);
        setValue("DeliveredResult", c.result);
        EXPECT_EQ(manager().afterDelivery(mail), c.expected);
        EXPECT_EQ(value("Delivered"), c.delivered);
        EXPECT_EQ(shell.count("messageBox"), c.exceptionBoxes);
    }
}

TEST_F(PluginManagerTest, LearnedNoticesLanguageFilesAndPagesComeFromLoadedPlugins) {
    PluginRecord* services = add(kServices);
    ASSERT_NE(add("needs_096.so"), nullptr);
    ASSERT_NE(services, nullptr);

    manager().notifyLearned("Subject: x\r\n\r\nabc", true);
    EXPECT_EQ(value("Learned"), "spam:17");
    manager().notifyLearned("abc", false);
    EXPECT_EQ(value("Learned"), "ham:3");

    EXPECT_EQ(manager().languageFiles(0x407),
              std::vector<std::string>{"/plugins/services.german.corvanthelix.language"});
    EXPECT_TRUE(manager().languageFiles(0x409).empty());

    const PageList* pages = manager().pages(*services);
    ASSERT_NE(pages, nullptr);
    ASSERT_EQ(pages->count, 2u);
    EXPECT_STREQ(pages->pages[0].title, "Service Test");
    EXPECT_EQ(pages->pages[1].parentId, pages->pages[0].dialogId);
    EXPECT_STREQ(reinterpret_cast<const char*>(manager().sendService(*services, CVX_SERVICE_NAME, 0, 0)),
                 "Service Test");

    manager().setEnabled(*services, false);
    EXPECT_EQ(manager().pages(*services), nullptr) << "a disabled plug-in gets no service requests";
    EXPECT_TRUE(manager().languageFiles(0x407).empty());
}

TEST_F(PluginManagerTest, LearningAskedForWhileFilteringWaitsUntilTheManagerIsFree) {
    PluginRecord* record = add(kServices);
    ASSERT_NE(record, nullptr);
    attachMailCheck();
    MailMessage mail = message("plain.eml");
    session.sources[5] = mail.source();

    // The plug-in, from inside its filter, asks to learn the message as spam while the manager's
    // lock is held; the learning (which takes the filter manager's lock) must run after it is left.
    auto learnFromFilter = [](int, const char* text, double*) -> int {
        ServiceRequest request{sizeof request, CVX_CALLER_TAG, CVX_HOST_LEARN, 1, reinterpret_cast<intptr_t>(text)};
        return pluginhost::service(&request) == 0 ? CVX_SPAM : CVX_UNDECIDED;
    };
    PluginInfo info = *record->info;
    info.partFilter = nullptr;
    info.textFilter = nullptr;
    info.plainTextFilter = nullptr;
    info.sourceFilter = learnFromFilter;
    const PluginInfo* own = record->info;
    record->info = &info;
    FilterVerdict verdict;
    EXPECT_EQ(manager().pluginVerdict(record, 5, &mail, verdict), -1);
    record->info = own;
    ASSERT_EQ(learning.requests.size(), 1u);
    EXPECT_TRUE(learning.requests[0].managerFree);
    EXPECT_TRUE(learning.requests[0].asSpam);
    EXPECT_EQ(learning.requests[0].source, mail.source());
}

// --- With the filter chain ---------------------------------------------------------------------------

// The chain as "key@position" in slot order.
std::string chainOrder(FilterChain& chain) {
    std::string text;
    for (ChainEntry* entry = chain.Next(nullptr); entry; entry = chain.Next(entry))
        text += (text.empty() ? "" : " ") + entry->key + "@" + std::to_string(entry->position);
    return text;
}

TEST_F(PluginManagerTest, TheChainPutsANewRunFirstPluginOnTopUntilAnOrderIsSaved) {
    installChainPluginHost(&PluginManager::chainHost);
    install("needs_096.so");
    install("run_first.so");
    FilterChain::destroyInstance();
    FilterChain& chain = FilterChain::instance();
    EXPECT_EQ(chainOrder(chain), "run_first.so@1 1@2 2@3 needs_096.so@4");

    ASSERT_TRUE(chain.moveDown(chain.Next(nullptr)));
    ASSERT_TRUE(chain.moveDown(chain.Next(chain.Next(nullptr))));
    chain.save();
    chain.discard();
    EXPECT_EQ(chainOrder(chain), "1@1 2@2 run_first.so@3 needs_096.so@4") << "the saved order counts now";
}

TEST_F(PluginManagerTest, AThrowingPluginInTheChainIsUndecidedAndTheNextOneDecides) {
    installChainPluginHost(&PluginManager::chainHost);
    settings::setFilterLearningEnable(0);
    settings::setFilterWordEnable(0);
    settings::setFilterPriority("throws.so", 1);
    settings::setFilterPriority("needs_096.so", 2);
    install("throws.so");
    install("needs_096.so");
    FilterChain::destroyInstance();
    MailMessage spam;
    spam.parse("Subject: offer\r\nX-Test-Spam: yes\r\n\r\nBuy now.\r\n");

    for (int number : {1, 2}) {
        FilterVerdict verdict;
        EXPECT_TRUE(FilterManager::instance().Run(number, &spam, verdict)) << number;
        EXPECT_STREQ(verdict.filterName, "Needs 0.9.6");
        EXPECT_EQ(verdict.probability, 0.875);
    }
    EXPECT_EQ(shell.calls(), std::vector<std::string>{causedException("Thrower")});
}

} // namespace
