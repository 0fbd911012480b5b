// What the General, Status Window, Tray Area, Connection and SSL/TLS pages load and store: the
// check-box rule, texts kept as typed, the KB conversion of the log sizes, and the restart that
// only a changed port or port box asks for.
#include "base/OptionsPageValues.h"
#include "base/IniFile.h"
#include "base/Settings.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;

namespace {

std::string value(const std::string& file, const char* section, const char* key) {
    return IniFile::readString(section, key, "<missing>", file);
}

TEST(OptionsPageValuesTest, EmptyFileLoadsTheDefaults) {
    TempFolder home;
    const std::string file = home.file("corvanthelix.ini");
    const GeneralOptions general = GeneralOptions::load(file);
    EXPECT_FALSE(general.alphaBlending);
    EXPECT_TRUE(general.autoCheckForUpdates);
    EXPECT_EQ(general.updateDays, "10");
    EXPECT_EQ(general.recycleBinDays, "30");
    const TrayAreaOptions tray = TrayAreaOptions::load(file);
    EXPECT_EQ(tray.numberSeconds, "180");
    EXPECT_EQ(tray.doubleClickIndex, 0);
    const ConnectionOptions connection = ConnectionOptions::load(file);
    EXPECT_EQ(connection.port.portText, "1110");
    EXPECT_TRUE(connection.port.enabled);
    EXPECT_EQ(connection.clientLogKilobytes, "100");
    EXPECT_EQ(SslTlsOptions::load(file).port.portText, "1995");
    // Storing what was loaded from nothing asks for no restart.
    EXPECT_FALSE(connection.store(file));
    EXPECT_FALSE(SslTlsOptions::load(file).store(file));
}

TEST(OptionsPageValuesTest, BoxesAreCheckedOnlyForExactlyOne) {
    TempFolder home;
    const std::string file = home.write("corvanthelix.ini",
                                        "[CORVANTHELIX]\nAlphaBlending=2\nAutoCheckForUpdates=1\nKeepSpamMails=yes\n"
                                        "ShowBubble=0\nBubbleEasyMove=1\nBubbleOpacity=140\nTrySSL=1\n");
    const GeneralOptions general = GeneralOptions::load(file);
    EXPECT_FALSE(general.alphaBlending);
    EXPECT_TRUE(general.autoCheckForUpdates);
    EXPECT_FALSE(general.keepSpamMails);
    const StatusWindowOptions status = StatusWindowOptions::load(file);
    EXPECT_FALSE(status.showBubble);
    EXPECT_TRUE(status.easyMove);
    EXPECT_EQ(status.opacity, 100);
    EXPECT_TRUE(SslTlsOptions::load(file).trySsl);
    general.store(file);
    EXPECT_EQ(value(file, "CORVANTHELIX", "AlphaBlending"), "0");
    EXPECT_EQ(value(file, "CORVANTHELIX", "KeepSpamMails"), "0");
}

TEST(OptionsPageValuesTest, StoresWriteTheControlStates) {
    TempFolder home;
    const std::string file = home.file("corvanthelix.ini");
    GeneralOptions general;
    general.alphaBlending = true;
    general.autoCheckForUpdates = false;
    general.updateDays = "7 days";          // kept as typed
    general.recycleBinDays = "12345678901"; // cut to the field's nine characters
    general.keepSpamMails = true;
    general.store(file);
    EXPECT_EQ(value(file, "CORVANTHELIX", "AlphaBlending"), "1");
    EXPECT_EQ(value(file, "CORVANTHELIX", "AutoCheckForUpdates"), "0");
    EXPECT_EQ(value(file, "CORVANTHELIX", "AutoCheckForUpdatesDays"), "7 days");
    EXPECT_EQ(value(file, "CORVANTHELIX", "RecycleBinMaxDays"), "123456789");
    EXPECT_EQ(value(file, "CORVANTHELIX", "KeepSpamMails"), "1");

    StatusWindowOptions status{false, false, true, 35};
    status.store(file);
    EXPECT_EQ(value(file, "CORVANTHELIX", "ShowBubble"), "0");
    EXPECT_EQ(value(file, "CORVANTHELIX", "BubbleSavePosition"), "1");
    EXPECT_EQ(value(file, "CORVANTHELIX", "BubbleOpacity"), "35");

    // The combo's entries in order and the command each stores; an unknown command shows the first.
    const std::pair<int, const char*> entries[] = {{0, "40005"}, {1, "40007"}, {2, "40014"}, {3, "40004"}};
    for (const auto& [index, command] : entries) {
        TrayAreaOptions tray{"-1", index};
        tray.store(file);
        EXPECT_EQ(value(file, "CORVANTHELIX", "TrayDblClk"), command);
        EXPECT_EQ(TrayAreaOptions::load(file).doubleClickIndex, index);
    }
    EXPECT_EQ(value(file, "CORVANTHELIX", "TrayNumSeconds"), "-1");
    EXPECT_EQ(TrayAreaOptions::indexOfCommand(40002), 0);
}

TEST(OptionsPageValuesTest, LogSizesAreKilobytesOnThePage) {
    TempFolder home;
    const std::string file = home.write("corvanthelix.ini", "[CORVANTHELIX]\nLogFileClientMaxSize=5000\n");
    ConnectionOptions connection = ConnectionOptions::load(file);
    EXPECT_EQ(connection.clientLogKilobytes, "4");
    const std::pair<std::string, std::string> sizes[] = {
        {"64", "65536"}, {"0", "0"}, {"abc", "0"}, {"12kb", "12288"}, {"999999999", "2147483647"}};
    for (const auto& [typed, stored] : sizes) {
        connection.serverLogKilobytes = typed;
        connection.store(file);
        EXPECT_EQ(value(file, "CORVANTHELIX", "LogFileServerMaxSize"), stored) << typed;
    }
    connection.clientLogFile = "my client.log";
    connection.timeout = "90";
    connection.autoAbortOnTimeout = true;
    EXPECT_FALSE(connection.store(file)); // no port change, no restart
    EXPECT_EQ(value(file, "CORVANTHELIX", "LogFileClientFileName"), "my client.log");
    EXPECT_EQ(value(file, "SERVER", "Timeout"), "90");
    EXPECT_EQ(value(file, "CORVANTHELIX", "AutoAbortOnTimeout"), "1");
}

TEST(OptionsPageValuesTest, OnlyAChangedPortOrBoxRestarts) {
    struct Case {
        const char* name;
        std::string stored; // SERVER section lines
        std::string typed;
        bool box;
        bool restart;
        std::string port, flag; // afterwards
    } cases[] = {
        {"same as stored", "Port=2110\nEnablePort=1\n", "2110", true, false, "2110", "1"},
        {"new port", "Port=2110\nEnablePort=1\n", "2111", true, true, "2111", "1"},
        {"box unchecked", "Port=2110\nEnablePort=1\n", "2110", false, true, "2110", "0"},
        {"stored text differs from the number", "Port=02110\nEnablePort=1\n", "2110", true, true, "2110", "1"},
        {"default left alone", "", "1110", true, false, "<missing>", "<missing>"},
        {"flag of 2 counts as a change", "Port=2110\nEnablePort=2\n", "2110", true, true, "2110", "1"},
    };
    for (const Case& c : cases) {
        TempFolder home;
        const std::string file = home.write("corvanthelix.ini", "[SERVER]\n" + c.stored);
        ListeningPortOptions port = ListeningPortOptions::load(ListeningPortOptions::Kind::Plain, file);
        port.portText = c.typed;
        port.enabled = c.box;
        EXPECT_EQ(port.store(file), c.restart) << c.name;
        EXPECT_EQ(value(file, "SERVER", "Port"), c.port) << c.name;
        EXPECT_EQ(value(file, "SERVER", "EnablePort"), c.flag) << c.name;
    }
    TempFolder home;
    const std::string file = home.file("corvanthelix.ini");
    SslTlsOptions ssl = SslTlsOptions::load(file);
    ssl.port.portText = "2995";
    ssl.trySsl = true;
    EXPECT_TRUE(ssl.store(file));
    EXPECT_EQ(value(file, "SERVER", "PortSSL"), "2995");
    EXPECT_EQ(value(file, "SERVER", "Port"), "<missing>");
    EXPECT_EQ(value(file, "CORVANTHELIX", "TrySSL"), "1");
}

} // namespace
