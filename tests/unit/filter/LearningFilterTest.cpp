#include "filter/LearningFilter.h"
#include "upstream/MailMessage.h"
#include "filter/Tokenizer.h"
#include "tests/fakes/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

using namespace corvanthelix;
using corvanthelix::testing::TempFolder;

namespace {

// Sets a word's count in a table directly (count the word `count` times).
void setCount(WordTable& table, const std::string& word, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) table.insert(word);
}

double score(const LearningFilter& filter, const std::string& body, std::string* reason = nullptr,
             size_t capacity = 256) {
    std::vector<char> buffer(capacity + 1, 'X');
    double p = filter.scoreText(body, "", reason ? buffer.data() : nullptr, capacity);
    if (reason) *reason = buffer.data();
    return p;
}

} // namespace

TEST(LearningFilter, NeutralWithoutWordsOrWithoutTraining) {
    LearningFilter trained;
    trained.learnText("spam spam money ", "", true);
    trained.learnText("meeting notes ", "", false);
    LearningFilter onlyBad;
    onlyBad.learnText("spam spam money ", "", true);
    LearningFilter onlyGood;
    onlyGood.learnText("meeting notes ", "", false);
    LearningFilter empty;
    // Messages counted, but not one word: such a list knows nothing, it must not make every word
    // spam.
    LearningFilter wordlessGood;
    for (int i = 0; i < 6; ++i) wordlessGood.learnText("money spam ", "", true);
    wordlessGood.good().setMessages(1000);

    struct Case { const char* name; const LearningFilter* filter; std::string body; bool canJudge; } cases[] = {
        {"no token in the message", &trained, "ab 12345 !!! ", true},
        {"empty message", &trained, "", true},
        {"nothing learned", &empty, "money money money ", false},
        {"no good message learned", &onlyBad, "money spam ", false},
        {"no bad message learned", &onlyGood, "meeting notes ", false},
        {"good list without words", &wordlessGood, "money spam money ", false},
    };
    for (const Case& c : cases) {
        std::string reason = "stale";
        EXPECT_EQ(score(*c.filter, c.body, &reason), 0.4) << c.name;
        EXPECT_EQ(reason, "") << c.name << ": the reason is emptied";
        EXPECT_EQ(c.filter->canJudge(), c.canJudge) << c.name;
        if (c.canJudge) continue;
        // An untrained filter gives the same answer for a whole message without reading it.
        MailMessage message;
        message.parse("Subject: money\r\n\r\n" + c.body + "\r\n");
        char buffer[LearningFilter::kVerdictReasonCapacity] = "stale";
        EXPECT_EQ(c.filter->score(&message, buffer, sizeof buffer), 0.4) << c.name;
        EXPECT_STREQ(buffer, "") << c.name;
    }
}

TEST(LearningFilter, AWordIsJudgedOnlyAboveFivePiecesOfEvidence) {
    LearningFilter filter;
    filter.bad().setMessages(1);
    filter.good().setMessages(8);
    setCount(filter.bad(), "pills", 1);
    setCount(filter.good(), "pills", 2);  // g = 4, b = 1: 5 is not enough
    EXPECT_EQ(score(filter, "pills "), 0.4);
    setCount(filter.bad(), "pills", 1);  // g = 4, b = 2
    // bp = min(1, 2 / 1) = 1, gp = 4 / 8 = 0.5, p = 1 / 1.5
    EXPECT_DOUBLE_EQ(score(filter, "pills "), 1.0 / 1.5);
}

TEST(LearningFilter, CombinesWordProbabilitiesClampedToOnePercent) {
    LearningFilter filter;
    filter.bad().setMessages(2);
    filter.good().setMessages(2);
    setCount(filter.bad(), "viagra", 6);   // p = 1 -> 0.99
    setCount(filter.good(), "meeting", 3); // g = 6: p = 0 -> 0.01
    setCount(filter.bad(), "offer", 4);
    setCount(filter.good(), "offer", 2);   // bp = 1, gp = 1: p = 0.5
    struct Case { std::string body; double expected; } cases[] = {
        {"viagra ", 0.99},
        {"meeting ", 0.01},
        {"offer ", 0.5},
        {"viagra offer ", 0.99 * 0.5 / (0.99 * 0.5 + 0.01 * 0.5)},
        {"viagra meeting unknown ", 0.99 * 0.01 * 0.4 / (0.99 * 0.01 * 0.4 + 0.01 * 0.99 * 0.6)},
        {"VIAGRA viagra V.i.a.g.r.a ", 0.99},  // one distinct word, however often
    };
    for (const Case& c : cases) EXPECT_NEAR(score(filter, c.body), c.expected, 1e-12) << c.body;
}

TEST(LearningFilter, OnlyTheFifteenMostTellingWordsCount) {
    LearningFilter filter;
    filter.bad().setMessages(10);
    filter.good().setMessages(10);
    std::string body;
    // Fifteen clear non-spam words (p = 0.01) ...
    for (int i = 0; i < 15; ++i) {
        std::string w = "ham" + std::string(1, char('a' + i)) + "word";
        setCount(filter.good(), w, 10);
        body += w + " ";
    }
    // ... and a hundred fairly spammy words (p = 0.8) that would outvote them if they counted.
    for (int i = 0; i < 100; ++i) {
        std::string w = "spam" + std::to_string(i) + "x";
        setCount(filter.bad(), w, 8);
        setCount(filter.good(), w, 1);  // bp = 0.8, gp = 0.2
        body += w + " ";
    }
    double expected = std::pow(0.01, 15) / (std::pow(0.01, 15) + std::pow(0.99, 15));
    EXPECT_NEAR(score(filter, body), expected, expected * 1e-9);
    EXPECT_EQ(LearningFilter::verdictFor(score(filter, body)), FilterVerdict::kNonSpam);
}

TEST(LearningFilter, ReasonListsSpammyTellingWordsWithinItsRoom) {
    LearningFilter filter;
    filter.bad().setMessages(10);
    filter.good().setMessages(10);
    std::string body;
    std::vector<std::string> spamWords;
    for (int i = 0; i < 10; ++i) {
        // twenty-character words, so that few fit into 99 characters
        std::string w = std::string(19, char('a' + i)) + "z";
        setCount(filter.bad(), w, 6);
        spamWords.push_back(w);
        body += w + " ";
    }
    setCount(filter.good(), "hamword", 6);
    setCount(filter.bad(), "neutral", 2);
    setCount(filter.good(), "neutral", 2);  // bp = 0.2, gp = 0.4: p = 1/3, counted but not listed
    body += "hamword neutral ";

    char reason[LearningFilter::kVerdictReasonCapacity + 8];
    std::memset(reason, 'X', sizeof reason);
    double probability = filter.scoreText(body, "", reason, LearningFilter::kVerdictReasonCapacity);
    EXPECT_GT(probability, 0.9);
    std::string text = reason;
    EXPECT_LE(text.size(), 99u);
    // Each word needs its length + 2 of room left after the NUL's place: 4 words of 20 fit
    // (20 + 3 x 22 = 86; a fifth would need 22 < 99 - 86 = 13).
    ASSERT_EQ(text.size(), 86u) << text;
    size_t position = 0;
    for (int i = 0; i < 4; ++i) {
        std::string word = text.substr(position, 20);
        EXPECT_NE(std::find(spamWords.begin(), spamWords.end(), word), spamWords.end()) << word;
        position += 20;
        if (i < 3) {
            EXPECT_EQ(text.substr(position, 2), ", ");
            position += 2;
        }
    }
    EXPECT_EQ(text.find("hamword"), std::string::npos);
    EXPECT_EQ(text.find("neutral"), std::string::npos);

    char tiny[1] = {'X'};
    filter.scoreText(body, "", tiny, 1);
    EXPECT_EQ(tiny[0], '\0') << "a reason of capacity 1 is only emptied";
}

TEST(LearningFilter, VerdictThresholds) {
    struct Case { double probability; int verdict; } cases[] = {
        {1.0, FilterVerdict::kSpam},      {0.9, FilterVerdict::kSpam},
        {0.8999, FilterVerdict::kUndecided}, {0.4, FilterVerdict::kUndecided},
        {3.1e-7, FilterVerdict::kUndecided}, {3e-7, FilterVerdict::kNonSpam},
        {0.0, FilterVerdict::kNonSpam},
    };
    for (const Case& c : cases) EXPECT_EQ(LearningFilter::verdictFor(c.probability), c.verdict) << c.probability;
}

TEST(LearningFilter, LearningCountsMessagesAndEveryOccurrenceOfBodyAndSubjectWords) {
    LearningFilter filter;
    filter.learnText("Cheap cheap pills ", "cheap pills", true);
    filter.learnText("Cheap cheap pills ", "cheap pills", true);  // learned twice, counted twice
    filter.learnText("lunch tomorrow? ", "", false);
    EXPECT_EQ(filter.bad().messages(), 2u);
    EXPECT_EQ(filter.good().messages(), 1u);
    EXPECT_EQ(filter.bad().count("cheap"), 6u);
    EXPECT_EQ(filter.bad().count("pills"), 2u) << "the subject's last word has no delimiter after it";
    EXPECT_EQ(filter.good().count("tomorrow"), 1u);
    EXPECT_EQ(filter.good().count("cheap"), 0u);
    // The body's last word does not run into the subject.
    filter.learnText("buy", "now ", true);
    EXPECT_EQ(filter.bad().count("buynow"), 0u);
    EXPECT_EQ(filter.bad().count("buy"), 0u);
    EXPECT_EQ(filter.bad().count("now"), 1u);
}

TEST(LearningFilter, MemoryLimitComesFromTheSettingInHalfKilobytes) {
    struct Case { int setting; size_t limit; } cases[] = {
        {2048, 1048576}, {1, 512}, {0, 0}, {-5, 0}, {4194304, size_t(4194304) * 512}};
    for (const Case& c : cases) EXPECT_EQ(LearningFilter::memoryLimitForSetting(c.setting), c.limit) << c.setting;
}

TEST(LearningFilter, LoadAndSaveUseTheTwoWordListsOfTheTrainingFolder) {
    TempFolder tmp;
    std::string training = tmp.file("training");
    {
        LearningFilter filter;
        filter.load(training, 0);
        EXPECT_EQ(filter.good().messages(), 0u) << "missing files give empty tables";
        filter.learnText("invoice attached today ", "", false);
        filter.learnText("winner lottery prize ", "", true);
        filter.save();
    }
    LearningFilter again;
    again.load(training, LearningFilter::memoryLimitForSetting(1));
    EXPECT_EQ(again.good().memoryLimit(), 512u);
    EXPECT_EQ(again.bad().memoryLimit(), 512u);
    EXPECT_EQ(again.good().count("invoice"), 1u);
    EXPECT_EQ(again.bad().count("lottery"), 1u);
    EXPECT_EQ(again.bad().count("invoice"), 0u);
    EXPECT_EQ(again.good().filePath(), training + "/good.corvanthelix.wordlist");
    EXPECT_EQ(again.bad().filePath(), training + "/bad.corvanthelix.wordlist");

    again.load(training, 0);
    EXPECT_EQ(again.good().memoryLimit(), 512u) << "0 leaves the limit as it was";
}

TEST(LearningFilter, DamagedWordListsAreSetAsideAndStartEmpty) {
    TempFolder tmp;
    const std::string training = tmp.file("training");
    {
        LearningFilter filter;
        filter.load(training, 0);
        for (int i = 0; i < 6; ++i) {
            filter.learnText("invoice attached today ", "", false);
            filter.learnText("winner lottery prize ", "", true);
        }
        filter.save();
    }
    // Three bit flips in the good list's header: its record count and message count.
    const std::string goodPath = training + "/good.corvanthelix.wordlist";
    std::string good = TempFolder::read(goodPath);
    good[4] ^= 0x40;
    good[9] ^= 0x01;
    good[10] ^= 0x20;
    tmp.write("training/good.corvanthelix.wordlist", good);

    LearningFilter filter;
    filter.load(training, 0);
    ASSERT_EQ(filter.setAside().size(), 1u);
    EXPECT_EQ(filter.setAside()[0].rfind(goodPath + ".damaged-", 0), 0u) << filter.setAside()[0];
    EXPECT_EQ(TempFolder::read(filter.setAside()[0]), good) << "kept as it was";
    EXPECT_FALSE(std::filesystem::exists(goodPath));
    EXPECT_EQ(filter.good().entries(), 0u);
    EXPECT_EQ(filter.good().messages(), 0u);
    EXPECT_EQ(filter.bad().count("lottery"), 6u) << "the sound list stays";
    EXPECT_EQ(LearningFilter::verdictFor(score(filter, "invoice attached today winner ")), FilterVerdict::kUndecided);

    LearningFilter again;
    again.load(training, 0);
    EXPECT_TRUE(again.setAside().empty()) << "nothing left to set aside";
}

TEST(LearningFilter, CompactRemovesRareWordsAndReportsWhatItFreed) {
    TempFolder tmp;
    std::string training = tmp.file("training");
    LearningFilter filter;
    filter.load(training, 0);
    setCount(filter.bad(), "once", 1);      // 9 bytes
    setCount(filter.bad(), "twice", 2);     // 10 bytes
    setCount(filter.bad(), "often", 5);
    setCount(filter.good(), "rare", 1);     // 9 bytes
    setCount(filter.good(), "common", 9);
    filter.bad().setMessages(3);
    filter.good().setMessages(4);

    struct Case {
        const char* name;
        bool doBad, doGood;
        uint32_t badThreshold, goodThreshold;
        size_t words;
        long long bytes;
    } cases[] = {
        {"nothing selected", false, false, 5, 5, 0, 0},
        {"bad only, threshold 1", true, false, 1, 9, 1, 9},
        {"bad again, threshold 2", true, false, 2, 0, 1, 10},
        {"good only", false, true, 0, 1, 1, 9},
        {"nothing left to remove", true, true, 2, 1, 0, 0},
    };
    for (const Case& c : cases) {
        LearningFilter::CompactResult result =
            filter.compact(c.doBad, c.doGood, c.badThreshold, c.goodThreshold);
        EXPECT_EQ(result.wordsDeleted, c.words) << c.name;
        EXPECT_EQ(result.bytesReleased, c.bytes) << c.name;
        EXPECT_EQ(filter.bad().removedEntries(), 0u) << c.name << ": removed words left memory";
    }
    EXPECT_EQ(filter.bad().count("often"), 5u);
    EXPECT_EQ(filter.bad().count("twice"), 0u);
    EXPECT_EQ(filter.good().count("common"), 9u);
    EXPECT_EQ(filter.good().count("rare"), 0u);
    EXPECT_EQ(filter.bad().messages(), 3u);

    LearningFilter fromDisk;
    fromDisk.load(training, 0);
    EXPECT_EQ(fromDisk.bad().entries(), 1u) << "compaction saved the tables";
    EXPECT_EQ(fromDisk.good().entries(), 1u);
    EXPECT_EQ(fromDisk.good().messages(), 4u);
}

TEST(LearningFilter, LearnsAndScoresMessagesByBodyWithoutTagsThenDecodedSubject) {
    MailMessage spam;
    spam.parse("Subject: =?iso-8859-1?Q?cheap_pills?=\r\nContent-Type: text/html\r\n\r\n"
               "<p class=\"promo\">Cheap pharmacy<br>offers</p>\r\n");
    MailMessage ham;
    ham.parse("Subject: agenda for monday\r\n\r\nSee the agenda attached.\r\n");

    LearningFilter filter;
    EXPECT_FALSE(filter.learn(nullptr, true));
    EXPECT_EQ(filter.bad().messages(), 0u);
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(filter.learn(&spam, true));
    ASSERT_TRUE(filter.learn(&ham, false));
    EXPECT_EQ(filter.bad().messages(), 6u);
    EXPECT_EQ(filter.bad().count("pharmacy"), 6u);
    EXPECT_EQ(filter.bad().count("offers"), 6u) << "<br> became a line break";
    EXPECT_EQ(filter.bad().count("cheap"), 12u) << "once in the body, once in the decoded subject";
    EXPECT_EQ(filter.bad().count("pills"), 0u) << "the subject's last word has no delimiter after it";
    EXPECT_EQ(filter.bad().count("promo"), 0u) << "tags are not words";
    EXPECT_EQ(filter.good().count("agenda"), 2u);

    char reason[LearningFilter::kVerdictReasonCapacity];
    double probability = 0;
    EXPECT_EQ(filter.verdict(&spam, probability, reason), FilterVerdict::kSpam);
    // cheap, pharmacy and offers are all at 0.99 (their order among equals is free)
    EXPECT_NEAR(probability, std::pow(0.99, 3) / (std::pow(0.99, 3) + std::pow(0.01, 3)), 1e-12);
    std::string text = reason;
    EXPECT_EQ(text.size(), std::string("cheap, pharmacy, offers").size()) << text;
    for (const char* word : {"cheap", "pharmacy", "offers"}) EXPECT_NE(text.find(word), std::string::npos) << text;
    EXPECT_EQ(filter.verdict(nullptr, probability, reason), FilterVerdict::kUndecided);
    EXPECT_EQ(probability, 0.4);
}

TEST(LearningFilter, LearningATextGivesTheTableThatCountingEachOccurrenceInOrderGives) {
    // Random texts over a small vocabulary with disguises, learned into tables with and without a
    // memory limit that runs out midway: the saved tables must be identical byte for byte (same
    // words refused, same slot order) to inserting every token in text order.
    std::mt19937 random(7);
    const char* pieces[] = {"free ", "FREE ", "v.i.a.g.r.a ", "meeting ", "ab ", "12345 ", "lunch, ", "c@sh ",
                            "report! ", "x ", "longerwordhere ", "tomorrow? ", "q-u-i-c-k ", "\xE9t\xE9 "};
    for (size_t limit : {size_t(0), size_t(60), size_t(150)}) {
        LearningFilter learned;
        learned.bad().setMemoryLimit(limit);
        WordTable expected(limit);
        for (int message = 0; message < 40; ++message) {
            std::string body, subject;
            for (int i = 0; i < 30; ++i) body += pieces[random() % std::size(pieces)];
            body += "w" + std::to_string(message) + "x" + std::to_string(random() % 5) + " ";
            for (int i = 0; i < 3; ++i) subject += pieces[random() % std::size(pieces)];
            learned.learnText(body, subject, true);
            expected.addMessage();
            Tokenizer::Run(body, expected);
            Tokenizer::Run(subject, expected);
        }
        EXPECT_EQ(learned.bad().serialize(), expected.serialize()) << "limit " << limit;
        EXPECT_EQ(learned.bad().memoryUsed(), expected.memoryUsed()) << "limit " << limit;
        if (limit != 0) {
            EXPECT_LE(learned.bad().memoryUsed(), limit);
        }
    }
}
