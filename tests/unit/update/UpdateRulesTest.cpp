// The update check's pure decisions: version numbers, offers, file names and host settings.
#include "base/HelpPages.h"
#include "tests/fakes/TempFolder.h"
#include "update/UpdateDescription.h"
#include "update/UpdateRules.h"

#include <gtest/gtest.h>

using namespace corvanthelix;
using namespace corvanthelix::update;

TEST(UpdateRules, VersionsCompareAsTwoDigitsPerPart) {
    struct Case {
        const char* text;
        int number; // -1: unreadable
    } cases[] = {{"0.9.8", 908}, {"0.9.10", 910}, {"1.0.0", 10000}, {"1.2", 10200}, {"3", 30000},
                 {"0.10.0", 1000}, {"", -1},     {"1..2", -1},     {"1.2.3.4", -1}, {"1.x.3", -1},
                 {"100.0.0", -1}, {"-1.0.0", -1}, {" 1.0.0", -1}};
    for (const Case& c : cases) {
        const auto version = parseVersion(c.text);
        if (c.number < 0) EXPECT_FALSE(version) << c.text;
        else {
            ASSERT_TRUE(version) << c.text;
            EXPECT_EQ(versionNumber(*version), c.number) << c.text;
        }
    }
    // The build suffix of the installed version is its patch level.
    EXPECT_EQ(versionNumber(installedVersion("0.9.8.1")), 908);
    EXPECT_EQ(installedPatchLevel("0.9.8.1"), "1");
    EXPECT_EQ(installedPatchLevel("0.9.8"), "0");
    EXPECT_EQ(versionQuery(installedVersion("0.9.8.1"), "1"), "0_9_8_1");
}

TEST(UpdateRules, OfferFollowsVersionThenPatchLevel) {
    corvanthelix::testing::TempFolder folder;
    struct Case {
        const char* description;
        Offer offer;
    } cases[] = {
        {"[UPDATES]\nVersion=0.9.9\n[PATCHES]\nVersion=5\n", Offer::newVersion},
        {"[UPDATES]\nVersion=0.9.8\n[PATCHES]\nVersion=2\n", Offer::patch},
        {"[UPDATES]\nVersion=0.9.8\n[PATCHES]\nVersion=1\n", Offer::nothing},
        {"[UPDATES]\nVersion=0.9.8\n", Offer::nothing},        // patch level defaults to 0
        {"[UPDATES]\nVersion=0.9.7\n[PATCHES]\nVersion=9\n", Offer::nothing}, // an older version's patch
        {"[UPDATES]\nVersion=\n", Offer::invalid},
        {"[PATCHES]\nVersion=2\n", Offer::invalid},
        {"<html>not a description</html>", Offer::invalid},
    };
    for (const Case& c : cases) {
        const std::string path = folder.write("updates.ini", c.description);
        EXPECT_EQ(programOffer(UpdateDescription::read(path), installedVersion("0.9.8.1"), "1"), c.offer)
            << c.description;
    }
    const std::string pack = folder.write("packs.ini", "[LANGUAGEPACKS]\nVersion=1001\nFilename=de.pack\nSha256=ABCDEF\n");
    const UpdateDescription description = UpdateDescription::read(pack);
    EXPECT_EQ(languagePackOffer(description, 1000), Offer::languagePack);
    EXPECT_EQ(languagePackOffer(description, 1001), Offer::nothing);
    EXPECT_EQ(description.languagePack().sha256, "abcdef");
    EXPECT_EQ(languagePackOffer(UpdateDescription::read(folder.file("missing.ini")), 1000), Offer::nothing);
}

TEST(UpdateRules, FileNamesFromADescriptionStayInTheUpdatesFolder) {
    for (const char* good : {"corvanthelix-0.9.9.tar.gz", "patch_2.bin", "a"}) EXPECT_TRUE(safeFileName(good)) << good;
    for (const char* bad : {"", ".", "..", "../x", "a/b", "a\\b", "/etc/passwd", "x..y", "tab\there", "new\nline"})
        EXPECT_FALSE(safeFileName(bad)) << bad;
    EXPECT_FALSE(safeFileName(std::string(201, 'a')));
    EXPECT_TRUE(wellFormedSha256(std::string(64, 'A')));
    EXPECT_FALSE(wellFormedSha256(std::string(63, 'a')));
    EXPECT_FALSE(wellFormedSha256(std::string(64, 'g')));
}

TEST(UpdateRules, UpdateHostMustBeHttps) {
    EXPECT_EQ(help::httpsOrigin("www.corvanthelix.org"), "https://www.corvanthelix.org");
    EXPECT_EQ(help::httpsOrigin("https://localhost:8443/"), "https://localhost:8443");
    EXPECT_EQ(help::httpsOrigin("127.0.0.1:443"), "https://127.0.0.1:443");
    for (const char* refused : {"http://www.corvanthelix.org", "ftp://host", "", "https://", "host/path",
                                "user@host", "host name", "file:///etc"})
        EXPECT_FALSE(help::httpsOrigin(refused)) << refused;
}
