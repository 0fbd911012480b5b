#include "filter/SpamWordFilter.h"

#include "base/Application.h"
#include "base/IniFile.h"
#include "base/Settings.h"
#include "upstream/MailMessage.h"
#include "filter/ReasonText.h"
#include "base/TextUtils.h"
#include "tests/fakes/ScriptedShell.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace corvanthelix;
using corvanthelix::testing::ScriptedShell;
using corvanthelix::testing::TempFolder;

namespace {

// A program folder of its own, with the two word files and a settings file.
class SpamWordFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Application::instance().setProgramFolder(tmp.path()));
        IniFile::clearCache();
    }
    void TearDown() override { Application::instance().setShell(nullptr); }

    void predefined(const std::string& content) { tmp.write("spampoints.ini", content); }
    void user(const std::string& content) { tmp.write("spampoints_user.ini", content); }
    SpamWordFilter loaded() {
        SpamWordFilter filter(tmp.path());
        filter.loadWords();
        return filter;
    }

    TempFolder tmp;
};

std::string listed(const SpamWordFilter& filter) {
    std::string out;
    for (const SpamWord& w : filter.words())
        out += w.word + ":" + std::to_string(w.percent) + (w.predefined ? "p" : "u") + " ";
    return out;
}

struct Scored {
    double score;
    std::string reason;
};

Scored scoreText(const SpamWordFilter& filter, const std::string& subject, const std::string& body) {
    char reason[SpamWordFilter::kReasonCapacity];
    std::memset(reason, 'X', sizeof reason);
    double score = filter.scoreText(subject, body, reason);
    return {score, reason};
}

// The score as one FindText per listed word, walking the list from its head: the scoring as it
// was first written, kept as the reference for the single pass over subject and body.
Scored referenceScore(const SpamWordFilter& filter, std::string_view subject, std::string_view body) {
    char reason[SpamWordFilter::kReasonCapacity] = "";
    size_t length = 0;
    long long sum = 0;
    for (const SpamWord& entry : filter.words()) {
        bool listed = false;
        if (findText(subject, entry.word, false) >= 0) {
            listed = appendReasonWord(reason, sizeof reason, length, entry.word);
            sum += entry.percent;
        }
        if (findText(body, entry.word, false) >= 0) {
            if (!listed) appendReasonWord(reason, sizeof reason, length, entry.word);
            sum += entry.percent;
        }
    }
    return {double(sum) * 0.01, reason};
}

void expectSameAsReference(const SpamWordFilter& filter, std::string_view subject, std::string_view body,
                           const std::string& what) {
    Scored expected = referenceScore(filter, subject, body);
    Scored got = scoreText(filter, std::string(subject), std::string(body));
    EXPECT_EQ(got.score, expected.score) << what;
    EXPECT_EQ(got.reason, expected.reason) << what;
    EXPECT_EQ(filter.scoreText(subject, body, nullptr), expected.score) << what << " (without a reason)";
}

} // namespace

TEST_F(SpamWordFiles, UserFileOverridesPredefinedWordsWhichKeepTheirPlace) {
    predefined("[PROBABILITIES]\nfree money=40\ncasino=30\nrolex=20\n");
    user("[PROBABILITIES]\nmy word=10\nCASINO=90\nother=5\n");
    SpamWordFilter filter = loaded();
    EXPECT_EQ(listed(filter), "other:5u my word:10u rolex:20p casino:90p free money:40p ");
    EXPECT_EQ(filter.size(), 5u);

    filter.freeWords();
    EXPECT_TRUE(filter.empty());
    filter.loadWords();
    EXPECT_EQ(filter.size(), 5u) << "loading again after freeing gives the same list";
}

TEST_F(SpamWordFiles, MissingOrEmptyFilesGiveAnEmptyListThatNeverFires) {
    user("[THRESHOLD]\nlevel50=100\n");
    SpamWordFilter filter = loaded();
    EXPECT_TRUE(filter.empty());
    Scored s = scoreText(filter, "casino viagra", "free money casino");
    EXPECT_EQ(s.score, 0.0);
    EXPECT_EQ(s.reason, "");
}

TEST(SpamWordFilter, LinesSplitAtTheLastEqualsSign) {
    struct Case { std::string line, word; int32_t percent; } cases[] = {
        {"casino=40", "casino", 40},
        {"a=b=30", "a=b", 30},
        {"word= 50", "word", 50},
        {"word=-20", "word", -20},
        {"word=+7x", "word", 7},
        {"word=abc", "word", 0},
        {"word=", "word", 0},
        {"word=99999999999", "word", INT32_MAX},
        {"word=-99999999999", "word", INT32_MIN},
        {"free money = 60", "free money", 60},
        {std::string(300, 'w') + "=1", std::string(255, 'w'), 1},
    };
    for (const Case& c : cases) {
        std::string word;
        int32_t percent = -1;
        SpamWordFilter::splitLine(c.line, word, percent);
        EXPECT_EQ(word, c.word) << c.line;
        EXPECT_EQ(percent, c.percent) << c.line;
    }
}

TEST(SpamWordFilter, ScoresEveryWordInSubjectAndAgainInBody) {
    SpamWordFilter filter("/nonexistent");
    filter.addWords({"sex=30", "free money=60", "casino=25", "winner=10"}, true);
    struct Case { const char* name; std::string subject, body; double score; std::string reason; } cases[] = {
        {"60 % word in subject and body", "Free Money!", "get FREE money now", 1.2, "free money"},
        {"no match", "hello", "lunch at noon", 0.0, ""},
        {"subject only, body empty", "casino night", "", 0.25, "casino"},
        {"plain substring search", "", "greetings from Sussex", 0.3, "sex"},
        {"reason in list order", "winner", "sex casino free money", 1.25, "winner, casino, free money, sex"},
        {"several occurrences count once per place", "casino casino", "casino", 0.5, "casino"},
    };
    for (const Case& c : cases) {
        Scored s = scoreText(filter, c.subject, c.body);
        EXPECT_NEAR(s.score, c.score, 1e-12) << c.name;
        EXPECT_EQ(s.reason, c.reason) << c.name;
        EXPECT_EQ(SpamWordFilter::verdictFor(s.score, 100),
                  c.score >= 1.0 ? FilterVerdict::kSpam : FilterVerdict::kUndecided) << c.name;
    }
}

TEST(SpamWordFilter, ReasonStaysBelow255CharactersButEveryWordCounts) {
    SpamWordFilter filter("/nonexistent");
    std::vector<std::string> lines;
    std::string body;
    for (int i = 0; i < 12; ++i) {
        std::string word = std::string(40, char('a' + i));
        lines.push_back(word + "=10");
        body += word + " ";
    }
    lines.push_back(std::string(255, 'z') + "=1");
    body += std::string(255, 'z');
    filter.addWords(lines, false);
    Scored s = scoreText(filter, "", body);
    EXPECT_NEAR(s.score, 1.21, 1e-12) << "words that do not fit are counted all the same";
    EXPECT_LT(s.reason.size(), 255u);
    // 40 + 4 x 42 = 208; a sixth word needs 42 < 255 - 208 = 47 ... which fits, a seventh not.
    EXPECT_EQ(s.reason.size(), 250u) << s.reason;
    EXPECT_EQ(s.reason.find('z'), std::string::npos);
    EXPECT_EQ(s.reason.substr(0, 42), std::string(40, 'l') + ", ") << "the list starts at its head";
}

TEST_F(SpamWordFiles, ThresholdComesFromTheUserFileThenThePredefinedFile) {
    predefined("[THRESHOLD]\nlevel25=150\nlevel50=100\nlevel75=70\n");
    user("[THRESHOLD]\nlevel50=80\nlevel75=0\nlevel25=-5\n");
    SpamWordFilter filter(tmp.path());
    struct Case { int level, threshold; } cases[] = {
        {50, 80},   // the user's own value
        {75, 100},  // 0 is no threshold: falls back to 100, not to the predefined 70
        {25, 100},  // negative likewise
        {0, 100},   // absent in both files
    };
    for (const Case& c : cases) EXPECT_EQ(filter.threshold(c.level), c.threshold) << c.level;
    user("");
    IniFile::clearCache();
    EXPECT_EQ(filter.threshold(75), 70);
}

TEST_F(SpamWordFiles, VerdictUsesTheAggressivenessLevelAndTheHtmlSetting) {
    predefined("[THRESHOLD]\nlevel25=150\nlevel50=100\nlevel75=70\n[PROBABILITIES]\ncasino=60\nhref=50\n");
    SpamWordFilter filter = loaded();
    MailMessage message;
    message.parse("Subject: casino\r\nContent-Type: text/html\r\n\r\n<a href=\"x\">Casino</a> night\r\n");

    struct Case { int aggressiveness; int htmlSetting; int verdict; double probability; } cases[] = {
        {50, 1, FilterVerdict::kSpam, 1.2},       // subject and body: 120 >= 100
        {25, 1, FilterVerdict::kUndecided, 1.2},  // 120 < 150
        {75, 0, FilterVerdict::kSpam, 1.7},       // the tag's "href" counts when HTML is kept
        {25, 0, FilterVerdict::kSpam, 1.7},
    };
    for (const Case& c : cases) {
        settings::setAggressiveness(c.aggressiveness);
        settings::setFilterWordHtml(c.htmlSetting);
        double probability = -1;
        char reason[SpamWordFilter::kReasonCapacity];
        EXPECT_EQ(filter.verdict(&message, probability, reason), c.verdict) << c.aggressiveness;
        EXPECT_NEAR(probability, c.probability, 1e-12) << c.aggressiveness;
    }
    settings::setFilterWordHtml(1);
}

TEST_F(SpamWordFiles, MessagesWithoutContentScoreZero) {
    predefined("[PROBABILITIES]\ncasino=60\n");
    SpamWordFilter filter = loaded();
    MailMessage empty;
    char reason[SpamWordFilter::kReasonCapacity] = "stale";
    EXPECT_EQ(filter.score(&empty, reason), 0.0);
    EXPECT_STREQ(reason, "");
    EXPECT_EQ(filter.score(nullptr, reason), 0.0);
    MailMessage imageOnly;
    imageOnly.parse("Subject: Casino\r\nContent-Type: image/png\r\n\r\ncasino\r\n");
    EXPECT_NEAR(filter.score(&imageOnly, reason), 0.6, 1e-12) << "an empty body text still scores the subject";
    MailMessage encoded;
    encoded.parse("Subject: =?utf-8?B?Q2FzaW5v?= tonight\r\n\r\nhello\r\n");
    EXPECT_NEAR(filter.score(&encoded, reason), 0.6, 1e-12) << "the subject's encoded words are decoded";
}

TEST_F(SpamWordFiles, OldPointsAreConvertedOnceAndTheUserIsToldOnce) {
    predefined("[POINTS]\ncasino=50\nrolex=80\n[PROBABILITIES]\nviagra=60\n");
    user("[POINTS]\nmine=3\nnegative=-3\nten=10\n");
    ScriptedShell shell;
    Application::instance().setShell(&shell);
    std::string settingsFile = Application::instance().settingsPath();

    EXPECT_EQ(SpamWordFilter::convertOldWordFiles(tmp.path(), settingsFile), 5);
    EXPECT_EQ(shell.count("messageBox"), 1);
    ASSERT_EQ(shell.calls().size(), 1u);
    EXPECT_NE(shell.calls()[0].find("Please verify your Spam-Words."), std::string::npos);
    EXPECT_EQ(settings::convertedSpamPoints096(settingsFile), 1);

    struct Case { const char* file; const char* word; int percent; } cases[] = {
        {"spampoints.ini", "casino", 75}, {"spampoints.ini", "rolex", 100}, {"spampoints.ini", "viagra", 60},
        {"spampoints_user.ini", "mine", 4}, {"spampoints_user.ini", "negative", -4},
        {"spampoints_user.ini", "ten", 15},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IniFile::readInt("PROBABILITIES", c.word, -999, tmp.file(c.file)), c.percent) << c.word;
    EXPECT_TRUE(IniFile::readSectionLines("POINTS", tmp.file("spampoints.ini")).empty());
    EXPECT_TRUE(IniFile::readSectionLines("POINTS", tmp.file("spampoints_user.ini")).empty());

    SpamWordFilter filter = loaded();
    EXPECT_EQ(filter.size(), 6u);

    // Nothing left to convert; and a later old file converts silently once the user was told.
    EXPECT_EQ(SpamWordFilter::convertOldWordFiles(tmp.path(), settingsFile), 0);
    user("[POINTS]\nlate=20\n");
    EXPECT_EQ(SpamWordFilter::convertOldWordFiles(tmp.path(), settingsFile), 1);
    EXPECT_EQ(shell.count("messageBox"), 1);
}

TEST(SpamWordFilter, ShippedWordFileHoldsAtLeast150WordsAndOrderedThresholds) {
    std::string folder = CORVANTHELIX_PROGRAM_DIR;
    SpamWordFilter filter(folder);
    filter.loadWords();
    EXPECT_GE(filter.size(), 150u);
    for (const SpamWord& w : filter.words()) {
        EXPECT_TRUE(w.predefined) << w.word;
        EXPECT_GT(w.percent, 0) << w.word;
        EXPECT_LE(w.percent, 100) << w.word;
        EXPECT_GE(w.word.size(), 4u) << w.word;
    }
    std::string file = folder + "/spampoints.ini";
    int low = settings::threshold(25, file).value_or(0);
    int normal = settings::threshold(50, file).value_or(0);
    int high = settings::threshold(75, file).value_or(0);
    EXPECT_GT(low, normal);
    EXPECT_GT(normal, high);
    EXPECT_GT(high, 0);

    // Everyday mail stays clear of the normal threshold; a typical spam reaches it.
    Scored ham = scoreText(filter, "Minutes of Tuesday's meeting",
                           "Hi all, attached are the minutes. Please send corrections by Friday. Thanks, Anna ");
    EXPECT_LT(ham.score * 100, normal) << ham.reason;
    Scored spam = scoreText(filter, "Congratulations, you have won!",
                            "Claim your prize now. Click here. 100% free, no obligation, act now! ");
    EXPECT_GE(spam.score * 100, normal) << spam.reason;
}

TEST(SpamWordFilter, ScoresTheFixturesAsOneSearchPerWordDoes) {
    SpamWordFilter filter(CORVANTHELIX_PROGRAM_DIR);
    filter.loadWords();
    filter.addWords({"Sussex=5", "=70", "Mime-Version=15", "\xC4rger=20", "--=3"}, false);
    ASSERT_GT(filter.size(), 150u);
    size_t files = 0;
    for (const auto& file : std::filesystem::directory_iterator(std::string(CORVANTHELIX_FIXTURES) + "/mail")) {
        MailMessage message;
        message.parse(TempFolder::read(file.path().string()));
        const std::string subject = decodeEncodedWords(message.headerByName("Subject") ? message.headerByName("Subject") : "");
        for (bool stripHtml : {true, false})
            expectSameAsReference(filter, subject, message.bodyText(stripHtml).value_or(""), file.path().string());
        expectSameAsReference(filter, "", message.source(), file.path().string() + " as a whole");
        ++files;
    }
    EXPECT_GE(files, 5u);
    expectSameAsReference(filter, "WIN BIG: 100% FREE, act now", "Claim your prize now. Click here. Viagra! Casino!!",
                          "typical spam");
}

// Random word lists over a small alphabet (words that overlap, nest, differ in letter case only
// on ASCII letters, hold bytes above 127 and NUL, are long enough to overflow the reason) against
// random texts that also carry listed words in other letter cases, at their ends.
TEST(SpamWordFilter, ScoresRandomTextsAsOneSearchPerWordDoes) {
    const std::string alphabet = std::string("abAB -\xE9\xC9", 8) + std::string(1, '\0');
    std::mt19937 random(7);
    auto randomText = [&](size_t minLength, size_t maxLength) {
        std::string text(minLength + random() % (maxLength - minLength + 1), ' ');
        for (char& c : text) c = alphabet[random() % alphabet.size()];
        return text;
    };
    auto flipCase = [&](std::string text) {
        for (char& c : text)
            if (random() % 2 && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) c = char(c ^ 0x20);
        return text;
    };
    for (int round = 0; round < 200; ++round) {
        SpamWordFilter filter("/nonexistent");
        std::vector<std::string> words;
        const size_t count = 1 + random() % 30;
        for (size_t i = 0; i < count; ++i) {
            // Every fifth list has long words, so that the reason runs out of room.
            std::string word = round % 5 == 0 ? randomText(20, 90) : randomText(1, 4);
            words.push_back(word);
            filter.addWords({word + "=" + std::to_string(int(random() % 121) - 20)}, i % 3 != 0);
        }
        for (int t = 0; t < 10; ++t) {
            std::string subject = randomText(0, 12);
            std::string body = randomText(0, 60);
            for (int k = 0; k < 6; ++k) {
                const std::string& word = words[random() % words.size()];
                if (k % 2) body = flipCase(word) + body;
                else body += flipCase(word);
                if (k == 0) subject = flipCase(word) + subject + flipCase(words[random() % words.size()]);
            }
            expectSameAsReference(filter, subject, body, "round " + std::to_string(round));
            if (::testing::Test::HasFailure()) return;
        }
    }
}

TEST(SpamWordFilter, PredefinedWordsComeFromTheResourcesAndTheUsersFromTheDataFolder) {
    TempFolder resources;
    TempFolder data;
    resources.write("spampoints.ini", "[PROBABILITIES]\nshipped=40\nshared=10\n[THRESHOLD]\nlevel50=90\n");
    data.write("spampoints_user.ini", "[PROBABILITIES]\nmine=70\nshared=60\n");
    // Copies in the wrong folders must not count.
    resources.write("spampoints_user.ini", "[PROBABILITIES]\nstray=99\n");
    data.write("spampoints.ini", "[PROBABILITIES]\nstale=99\n[THRESHOLD]\nlevel50=10\n");
    SpamWordFilter filter(data.path(), resources.path());
    filter.loadWords();
    std::map<std::string, std::pair<int, bool>> found;
    for (const SpamWord& word : filter.words()) found[word.word] = {word.percent, word.predefined};
    const std::map<std::string, std::pair<int, bool>> expected{
        {"shipped", {40, true}}, {"shared", {60, true}}, {"mine", {70, false}}};
    EXPECT_EQ(found, expected);
    EXPECT_EQ(filter.threshold(50), 90);
}
