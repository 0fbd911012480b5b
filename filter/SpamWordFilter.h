#pragma once
// The spam-word filter: a list of spam words with a spam probability in percent each; a message
// whose subject and body together reach the threshold of the aggressiveness level is spam. It
// never declares a message good.
#include "filter/FilterVerdict.h"
#include "filter/WordSetMatcher.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvanthelix {

class MailMessage;

/// One entry of the word list.
struct SpamWord {
    std::string word;        // up to 255 characters
    int32_t percent = 0;     // the word's spam probability in percent (any integer is accepted)
    bool predefined = false; // first read from the predefined file "spampoints.ini"
};

class SpamWordFilter {
public:
    static constexpr size_t kMaxWordLength = 255;
    /// Room of the reason text, including the NUL.
    static constexpr size_t kReasonCapacity = 256;
    /// Threshold in percent points when no usable one is configured.
    static constexpr int kDefaultThreshold = 100;


    /// A filter with an empty list that reads its word files from `programFolder`.
    explicit SpamWordFilter(std::string programFolder);
    /// A filter that reads the predefined "spampoints.ini" from `resourceFolder` and keeps the
    /// user's "spampoints_user.ini" in `dataFolder`.
    SpamWordFilter(std::string dataFolder, std::string resourceFolder);
    /// The same for the program's folders (Application).
    SpamWordFilter();

    /// Reads section PROBABILITIES of "spampoints.ini" (predefined words), then of
    /// "spampoints_user.ini" (user words), into the list. A missing file contributes nothing.
    /// A user word that repeats a predefined one (letter case ignored) only sets its percent.
    void loadWords();
    /// Empties the list.
    void freeWords();
    bool empty() const { return pushed_.empty(); }
    size_t size() const { return pushed_.size(); }

    /// Adds the "word=percent" lines of one file (split at the last "="). A word already listed
    /// (letter case ignored) keeps its place and flag and takes the new percent; a new word goes
    /// to the head of the list. Compiles the list for scoring again.
    void addWords(const std::vector<std::string>& lines, bool predefined);

    /// The list from its head: user-only words (last added first), then predefined words (last
    /// added first).
    std::vector<SpamWord> words() const;

    /// The message's score: the percents of the listed words found in the decoded subject and,
    /// again, in the body text (HTML tags removed unless "FilterWordHTML" is not 1), times 0.01.
    /// 0 for a message without content. When `reason` is given (kReasonCapacity bytes) it receives
    /// each found word once, in list order, ", "-separated, as long as it stays below 255.
    /// A word is found as FindText finds it without case sensitivity; subject and body are each
    /// read once for the whole list.
    double score(const MailMessage* message, char* reason) const;
    /// Score of a message given as its decoded subject and body text.
    double scoreText(std::string_view subject, std::string_view body, char* reason) const;

    /// The threshold of an aggressiveness level in percent points: key "level<level>" of section
    /// THRESHOLD in "spampoints_user.ini", else in "spampoints.ini"; 100 when absent or not above 0.
    int threshold(int level) const;

    /// Scores the message (reason: kReasonCapacity bytes), stores the score in `probability`, and
    /// answers FilterVerdict::kSpam when it reaches the threshold of the current "Aggressiveness"
    /// level, else FilterVerdict::kUndecided.
    int verdict(const MailMessage* message, double& probability, char* reason) const;
    /// The answer for a score at a threshold in percent points.
    static int verdictFor(double score, int threshold);

    /// Converts both word files of `programFolder` from the older format: every key of section
    /// POINTS is deleted and written to PROBABILITIES as min(100, points x 1.5). When a file had
    /// such keys and "ConvertedSpamPoints096" in `settingsFile` is 0, the user is told (string 169)
    /// and the key is set to 1. Returns the number of words converted.
    static int convertOldWordFiles(const std::string& programFolder, const std::string& settingsFile);

    /// Splits a "word=percent" line at its last "=": the word (blanks around it removed, at most
    /// 255 characters) and the leading decimal integer after it (0 when there is none).
    static void splitLine(std::string_view line, std::string& word, int32_t& percent);

    const std::string& programFolder() const { return programFolder_; }

private:
    std::string filePath(const char* fileName) const;

    std::string programFolder_;
    std::string resourceFolder_;
    // In the order the words were pushed; the list's head is the last element.
    std::vector<SpamWord> pushed_;
    // Lower-cased word -> index in pushed_.
    std::unordered_map<std::string, size_t> index_;
    // The words of pushed_, by the same indexes.
    WordSetMatcher matcher_;
};

} // namespace corvanthelix
