// The parental lock's password record (known vectors, one whose digest holds a zero byte), the
// placeholders the tray page shows, and what the page's save writes for each state of its controls.
#include "base/ParentalControl.h"
#include "base/IniFile.h"
#include "base/Settings.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

namespace corvanthelix {
namespace {

TEST(ParentalControlTest, RecordIsLengthAndEncodedDigest) {
    struct Case {
        std::string password;
        std::string record;
    } cases[] = {
        {"secret", "006=5E=BE=22=94=EC=D0=E0=F0=8E=ABv=90=D2=A6=EEi"},
        {"twelve chars", "012=B3=FB=BD=D1=2E3=13F=CF=232=EE=C0=E4=E0Q"},
        // MD5 d500f2e0...: the digest text ends at its zero byte.
        {"pw18", "004=D5"},
        // The empty text's digest d41d8cd98f00... is cut too; the record is never empty.
        {"", "000=D4=1D=8C=D9=8F"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParentalControl::passwordRecord(c.password), c.record) << c.password;
        EXPECT_TRUE(ParentalControl::matches(c.password, c.record)) << c.password;
    }
    EXPECT_FALSE(ParentalControl::matches("Secret", cases[0].record));
    EXPECT_FALSE(ParentalControl::matches("", ""));
    EXPECT_FALSE(ParentalControl::matches("secret", ""));
    // Only the first 255 characters count.
    EXPECT_EQ(ParentalControl::passwordRecord(std::string(300, 'x')), ParentalControl::passwordRecord(std::string(255, 'x')));
    EXPECT_EQ(ParentalControl::passwordRecord(std::string(255, 'x')).substr(0, 3), "255");
}

TEST(ParentalControlTest, PlaceholdersShowTheRecordedLength) {
    const std::string twelve = ParentalControl::passwordRecord("twelve chars");
    EXPECT_EQ(ParentalControl::placeholderText(twelve), std::string(12, '\xff'));
    EXPECT_EQ(ParentalControl::placeholderText(""), "");
    EXPECT_EQ(ParentalControl::placeholderText("abc"), "");
    EXPECT_EQ(ParentalControl::placeholderText("-05xyz"), "");
    EXPECT_EQ(ParentalControl::placeholderText("999"), std::string(255, '\xff'));
    EXPECT_TRUE(ParentalControl::isPlaceholder(std::string(3, '\xff')));
    EXPECT_FALSE(ParentalControl::isPlaceholder(""));
    EXPECT_FALSE(ParentalControl::isPlaceholder("\xff\xff" "a"));
}

TEST(ParentalControlTest, SaveWritesWhatTheControlsSay) {
    const std::string old = ParentalControl::passwordRecord("old one");
    const std::string dots(7, '\xff');
    struct Case {
        const char* name;
        bool checked;
        std::string first, second;
        LockStoreOutcome outcome;
        int enabled;       // afterwards
        std::string hash2; // afterwards
    } cases[] = {
        {"unchecked clears", false, dots, dots, LockStoreOutcome::Disabled, 0, ""},
        {"empty refused", true, "", "", LockStoreOutcome::RefusedEmpty, 0, old},
        {"mismatch refused", true, "abc", "abd", LockStoreOutcome::RefusedMismatch, 0, old},
        {"placeholders keep the record", true, dots, dots, LockStoreOutcome::Unchanged, 1, old},
        {"new password", true, "new pw", "new pw", LockStoreOutcome::Written, 1, ParentalControl::passwordRecord("new pw")},
    };
    for (const Case& c : cases) {
        testing::TempFolder home;
        const std::string file = home.write("corvanthelix.ini", "[PARENTALCONTROL]\nEnabled=0\nHash2=" + old + "\n");
        EXPECT_EQ(ParentalControl::storeLock(c.checked, c.first, c.second, file), c.outcome) << c.name;
        EXPECT_EQ(settings::parentalControlEnabled(file), c.enabled) << c.name;
        EXPECT_EQ(settings::parentalControlHash2(file), c.hash2) << c.name;
    }
}

TEST(ParentalControlTest, RefusalsLeaveTheFileAlone) {
    testing::TempFolder home;
    const std::string content = "[PARENTALCONTROL]\nEnabled=1\nHash2=006abc\n";
    const std::string file = home.write("corvanthelix.ini", content);
    EXPECT_EQ(ParentalControl::storeLock(true, "a", "b", file), LockStoreOutcome::RefusedMismatch);
    EXPECT_EQ(ParentalControl::storeLock(true, "", "x", file), LockStoreOutcome::RefusedEmpty);
    EXPECT_EQ(ParentalControl::storeLock(true, "\xff\xff\xff\xff\xff\xff", "\xff\xff\xff\xff\xff\xff", file),
              LockStoreOutcome::Unchanged);
    EXPECT_EQ(testing::TempFolder::read(file), content);
}

} // namespace
} // namespace corvanthelix
