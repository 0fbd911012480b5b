#pragma once
// The learning filter: two word-count tables learned from messages the user classified, and a
// spam probability for a message from its fifteen most telling words.
#include "base/ProgramPaths.h"
#include "filter/FilterVerdict.h"
#include "filter/WordTable.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvanthelix {

class MailMessage;

class LearningFilter {
public:
    static constexpr const char* kTrainingFolder = ProgramPaths::kTrainingFolderName;
    static constexpr const char* kBadFileName = "bad.corvanthelix.wordlist";
    static constexpr const char* kGoodFileName = "good.corvanthelix.wordlist";

    /// The probability of a word, or a message, that tells nothing.
    static constexpr double kNeutral = 0.4;
    /// A word is judged only when twice its good count plus its bad count is above this.
    static constexpr uint32_t kMinimumEvidence = 5;
    static constexpr size_t kTellingWords = 15;
    static constexpr double kSpamAtLeast = 0.9;
    static constexpr double kNonSpamAtMost = 0.0000003;
    /// Room of the reason text the verdict fills, including the NUL.
    static constexpr size_t kVerdictReasonCapacity = 100;


    /// Two empty, unlimited tables without files.
    LearningFilter() = default;

    /// Each table's memory limit for the setting "TrainingAreaMaxMemory" in KB: half of it each
    /// (kilobytes x 512 bytes). 0 (and a negative value) means "leave the limit as it is".
    static size_t memoryLimitForSetting(int kilobytes);

    /// Sets both tables' memory limit (0 leaves it unchanged) and reads "bad.corvanthelix.wordlist"
    /// and "good.corvanthelix.wordlist" from `trainingFolder`. Missing files give empty tables. A
    /// word list whose file is damaged (WordTable::damaged) is renamed to its name plus
    /// ".damaged-YYYYMMDD-hhmmss" and its table starts empty; setAside() names the files so kept.
    void load(const std::string& trainingFolder, size_t memoryLimit);
    /// load() from the program folder's "training" folder, with the limit from the settings, and
    /// one message to the person when a list was set aside.
    void load();

    /// Learns the message into the bad table (asSpam) or the good table: one more message, and
    /// every occurrence of every word of its text counted. Returns false when `message` is null.
    /// Does not save.
    bool learn(const MailMessage* message, bool asSpam);
    /// Learns one message given as its body text (HTML tags removed) and decoded subject.
    void learnText(std::string_view body, std::string_view subject, bool asSpam);

    /// Writes the bad table's file, then the good table's. Failures are silent.
    void save() const;

    /// True when both tables have learned a message and the good one holds a word: only then
    /// can a message's words tell anything, and only then is a message taken apart to score it.
    bool canJudge() const;

    /// The message's spam probability, 0...1 (0.4 when it has no word or a table has learned
    /// no message). When `reason` is given with capacity >= 1 it receives the telling words with a
    /// probability above 0.4, ", "-separated, NUL-terminated, at most capacity - 1 characters.
    double score(const MailMessage* message, char* reason, size_t reasonCapacity) const;
    /// Score of a message given as its body text (HTML tags removed) and decoded subject.
    double scoreText(std::string_view body, std::string_view subject, char* reason,
                     size_t reasonCapacity) const;
    /// Score of the distinct words of one message, already counted into `words`.
    double scoreWords(const WordTable& words, char* reason, size_t reasonCapacity) const;

    /// The chain's answer for a probability: FilterVerdict::kSpam at 0.9 and above,
    /// FilterVerdict::kNonSpam at 3e-7 and below, else FilterVerdict::kUndecided.
    static int verdictFor(double probability);
    /// Scores the message with a reason of kVerdictReasonCapacity bytes (`reason` must have that
    /// room), stores the probability and returns verdictFor(probability).
    int verdict(const MailMessage* message, double& probability, char* reason) const;

    struct CompactResult {
        size_t wordsDeleted = 0;
        long long bytesReleased = 0;
    };
    /// Removes the words counted at most `badThreshold` / `goodThreshold` times from the selected
    /// tables, saves both tables and reads them again so that the removed words leave memory.
    /// Returns the live words removed and the accounted bytes released, over the selected tables.
    CompactResult compact(bool doBad, bool doGood, uint32_t badThreshold, uint32_t goodThreshold);

    /// The files of damaged word lists the last load set aside (full paths), in load order.
    const std::vector<std::string>& setAside() const { return setAside_; }

    /// The words of a message text as the filter counts them: the body (HTML tags removed), then
    /// the subject, each tokenized on its own into `table`.
    static void countWords(std::string_view body, std::string_view subject, WordTable& table);
    /// The body text without HTML tags and the decoded Subject of `message`; both empty when the
    /// message has no content.
    static void messageText(const MailMessage& message, std::string& body, std::string& subject);

    WordTable& good() { return good_; }
    WordTable& bad() { return bad_; }
    const WordTable& good() const { return good_; }
    const WordTable& bad() const { return bad_; }

private:
    void setAsideIfDamaged(WordTable& table);

    WordTable good_;
    WordTable bad_;
    std::vector<std::string> setAside_;
};

} // namespace corvanthelix
