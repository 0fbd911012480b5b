#include "base/Application.h"
#include "base/Settings.h"
#include "base/TextUtils.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;

namespace {

struct IntDefault {
    const char* name;
    int (*getter)(const std::string&);
    int expected;
};

} // namespace

TEST(Settings, AFreshInstallationReadsTheDefaults) {
    const IntDefault cases[] = {
        {"Enable", settings::enable, 1},
        {"Aggressiveness", settings::aggressiveness, 50},
        {"TrayDblClk", settings::trayDblClk, 40005},
        {"TrayNumSeconds", settings::trayNumSeconds, 180},
        {"TrainingAreaMaxMemory", settings::trainingAreaMaxMemory, 2048},
        {"FilterWordHTML", settings::filterWordHtml, 1},
        {"LanguagePackVersion", settings::languagePackVersion, 1000},
        {"KeepSpamMails", settings::keepSpamMails, 0},
        {"LogFileServerMaxSize", settings::logFileServerMaxSize, 102400},
        {"Port", settings::port, 1110},
        {"PortSSL", settings::portSsl, 1995},
        {"EnablePortSSL", settings::enablePortSsl, 1},
        {"Timeout", settings::timeout, 60},
        {"PARENTALCONTROL Enabled", settings::parentalControlEnabled, 0},
        {"BACKUP Ini", settings::backupIni, 1},
        {"BACKUP Memory", settings::backupMemory, 0},
    };
    TempFolder tmp;
    std::string missing = tmp.file("corvanthelix.ini");
    for (const IntDefault& c : cases) EXPECT_EQ(c.getter(missing), c.expected) << c.name;
    EXPECT_EQ(settings::autoCheckForUpdatesLastUpdate(missing), todayDayNumber() - 11);
    EXPECT_EQ(settings::language(missing), "");
    EXPECT_EQ(settings::logFileServerFileName(missing), "server.log");
    EXPECT_EQ(settings::logFileClientFileName(missing), "client.log");

    EXPECT_EQ(settings::optionalMessageBoxSilenced(settings::optionalBox::kExitMainProgram, missing), 0);
    EXPECT_EQ(settings::pluginEnabled("quillatrest.so", missing), 1);
    EXPECT_EQ(settings::filterPriority(settings::filterName::kLearning, missing), 1);
    EXPECT_EQ(settings::filterPriority(settings::filterName::kSpamWords, missing), 1);
    EXPECT_EQ(settings::filterPriority("quillatrest.so", missing), 255);
    EXPECT_EQ(settings::filterBehaviorSpam("quillatrest.so", missing), 0);
    EXPECT_EQ(settings::columnWidth(settings::section::kRecycleBinWindow, 0, missing), -1);
    EXPECT_EQ(settings::threshold(50, missing), std::nullopt);
    struct stat st {};
    EXPECT_NE(stat(missing.c_str(), &st), 0) << "reading must not create the file";
}

TEST(Settings, NonNumericValuesReadZero) {
    TempFolder tmp;
    std::string path = tmp.write("corvanthelix.ini", "[CORVANTHELIX]\nEnable=yes\nAggressiveness=75 percent\n");
    EXPECT_EQ(settings::enable(path), 0);
    EXPECT_EQ(settings::aggressiveness(path), 75);
}

TEST(Settings, AccessorsWriteTheKeysOfTheSettingsFile) {
    TempFolder tmp;
    std::string path = tmp.file("corvanthelix.ini");
    settings::setLanguage("german.corvanthelix.language", path);
    settings::setAggressiveness(75, path);
    settings::setEnablePortSsl(0, path);
    settings::setParentalControlEnabled(1, path);
    settings::setBackupTraining(1, path);
    settings::setStatsDays("2460000,", path);
    settings::setOptionalMessageBox(settings::optionalBox::kTrainingDeleteQuestion, 1, path);
    settings::setFilterPriority("quillatrest.so", 3, path);
    settings::setColumnWidth(settings::section::kTrainingAreaWindow, 3, 120, path);
    settings::setWindowPlacement(settings::section::kTrainingAreaWindow, settings::key::kMaximized, 1, path);
    ASSERT_TRUE(settings::setSenderEntry("spam@example.com", "Spammer,2", path));
    ASSERT_TRUE(settings::setPluginSetting("quillatrest.so", "Extensions", "exe_com", path));
    EXPECT_EQ(TempFolder::read(path),
              "[CORVANTHELIX]\nLanguage=german.corvanthelix.language\nAggressiveness=75\n"
              "[SERVER]\nEnablePortSSL=0\n"
              "[PARENTALCONTROL]\nEnabled=1\n"
              "[BACKUP]\nTraining=1\n"
              "[STATS]\nDays=2460000,\n"
              "[OPTIONALMESSAGEBOXES]\nTrainingDeleteQuestion=1\n"
              "[FILTERPRIORITY]\nquillatrest.so=3\n"
              "[TrainingAreaWindow]\ncol03=120\nmaximized=1\n"
              "[SENDERS]\nspam@example.com=Spammer,2\n"
              "[quillatrest.so]\nExtensions=exe_com\n");

    EXPECT_EQ(settings::senderEntry("SPAM@example.com", path), "Spammer,2");
    EXPECT_EQ(settings::senderLines(path), std::vector<std::string>{"spam@example.com=Spammer,2"});
    ASSERT_TRUE(settings::removeSender("spam@example.com", path));
    EXPECT_EQ(settings::senderEntry("spam@example.com", path), "");
    EXPECT_TRUE(settings::senderLines(path).empty());
    EXPECT_NE(TempFolder::read(path).find("[SENDERS]\n[quillatrest.so]"), std::string::npos);
    EXPECT_FALSE(settings::setSenderEntry("evil\n[CORVANTHELIX]\nEnable", "0", path));
    EXPECT_EQ(settings::enable(path), 1);
}

TEST(Settings, WithoutAPathTheProgramSettingsFileIsUsed) {
    TempFolder tmp;
    ASSERT_TRUE(Application::instance().setProgramFolder(tmp.path()));
    settings::setTimeout(90);
    EXPECT_EQ(settings::timeout(), 90);
    EXPECT_EQ(TempFolder::read(tmp.file("corvanthelix.ini")), "[SERVER]\nTimeout=90\n");
}

TEST(Settings, ThresholdsComeFromTheSpamWordFileGiven) {
    TempFolder tmp;
    std::string user = tmp.write(settings::fileName::kSpamPointsUser, "[THRESHOLD]\nlevel25=150\nlevel75=\n");
    EXPECT_EQ(settings::thresholdKey(25), "level25");
    EXPECT_EQ(settings::threshold(25, user), 150);
    EXPECT_EQ(settings::threshold(75, user), 0); // present but empty: the caller falls back to 100
    EXPECT_EQ(settings::threshold(50, user), std::nullopt);
    settings::setThreshold(50, 80, user);
    EXPECT_EQ(settings::threshold(50, user), 80);
}
