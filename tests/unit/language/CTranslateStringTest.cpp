#include "language/Vexolindra.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;

namespace {

// A string table of texts around the load buffer's steps of 256 characters.
std::string textOfLength(size_t length) {
    std::string text = "Load";
    while (text.size() < length) text += static_cast<char>('a' + text.size() % 26);
    return text.substr(0, length);
}

const std::map<int, std::string>& table() {
    static const std::map<int, std::string> texts = [] {
        std::map<int, std::string> t;
        for (int length : {1, 253, 254, 255, 256, 257, 510, 511, 512, 1000}) t[length] = textOfLength(length);
        t[2000] = "";
        t[2001] = "Close";
        t[2002] = "Server";
        return t;
    }();
    return texts;
}

const char* lookup(int id) {
    auto it = table().find(id);
    return it == table().end() ? nullptr : it->second.c_str();
}

const char* otherTable(int id) { return id == 2001 ? "Open" : nullptr; }

class CTranslateStringTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = tmp_.write("de.corvanthelix.language",
                           "LANGUAGEID: 407\nClose\n=Schlie\xC3\x9f" "en\nOpen\n=\xC3\x96" "ffnen\nServer\n=Rechner\n" +
                               textOfLength(1000) + "\n=Lang\n");
        InitLanguage(path_.c_str());
        RegisterStringTable(lookup);
    }
    void TearDown() override { RegisterStringTable(nullptr); }

    TempFolder tmp_;
    std::string path_;
};

} // namespace

TEST_F(CTranslateStringTest, LoadsWholeTextsOfEveryLengthAndTranslatesThem) {
    for (int length : {1, 253, 254, 255, 256, 257, 510, 511, 512}) {
        SCOPED_TRACE(length);
        CTranslateString text;
        EXPECT_EQ(text.LoadStringA(nullptr, length), length);
        EXPECT_EQ(text.Length(), static_cast<size_t>(length));
        EXPECT_EQ(std::string(text.c_str()), textOfLength(length));
    }
    CTranslateString longText(nullptr, 1000);
    EXPECT_STREQ(longText, "Lang");  // the whole 1000 characters were looked up
    CTranslateString raw;
    EXPECT_EQ(raw.LoadStringA(lookup, 1000), 1000);
}

TEST_F(CTranslateStringTest, LoadsFromTheGivenOrTheRegisteredTable) {
    EXPECT_STREQ(CTranslateString(nullptr, 2001), "Schlie\xC3\x9f" "en");
    EXPECT_STREQ(CTranslateString(otherTable, 2001), "\xC3\x96" "ffnen");
    CTranslateString empty(nullptr, 2000);
    EXPECT_STREQ(empty, "");
    EXPECT_EQ(empty.Length(), 0u);

    CTranslateString unknown("Close");
    EXPECT_EQ(unknown.LoadStringA(nullptr, 4242), 0);
    EXPECT_EQ(unknown.c_str(), nullptr);
    RegisterStringTable(nullptr);
    EXPECT_EQ(CTranslateString(nullptr, 2001).c_str(), nullptr);
}

TEST_F(CTranslateStringTest, HoldsTheTranslationOfWhatIsPutIn) {
    CTranslateString text("close");
    EXPECT_STREQ(text, "Schlie\xC3\x9f" "en");
    text = "Server:";
    EXPECT_STREQ(text, "Rechner:");
    EXPECT_EQ(text.Length(), 8u);
    text = text.c_str();  // the held text is read before it is freed
    EXPECT_STREQ(text, "Rechner:");
    text = "Not in the file";
    EXPECT_STREQ(text, "Not in the file");
    text = static_cast<const char*>(nullptr);
    EXPECT_EQ(text.c_str(), nullptr);
    EXPECT_EQ(text.Length(), 0u);
    EXPECT_EQ(CTranslateString().c_str(), nullptr);

    CTranslateString original("Open");
    CTranslateString copy = original;
    original = "Close";
    EXPECT_STREQ(copy, "\xC3\x96" "ffnen");
    CTranslateString moved = std::move(copy);
    EXPECT_STREQ(moved, "\xC3\x96" "ffnen");
    copy = moved;
    EXPECT_STREQ(copy, "\xC3\x96" "ffnen");
    EXPECT_NE(copy.c_str(), moved.c_str());
}

TEST_F(CTranslateStringTest, FollowsTheProcessWideLanguage) {
    EXPECT_STREQ(CTranslateString("Open"), "\xC3\x96" "ffnen");
    InitLanguage(nullptr);
    EXPECT_STREQ(CTranslateString("Open"), "Open");
    EXPECT_STREQ(CTranslateString(nullptr, 2001), "Close");
}
