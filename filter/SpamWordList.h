#pragma once
// The spam words as the options page lists and edits them: the user's words of
// "spampoints_user.ini" and the predefined words of "spampoints.ini", the checks of the "Add new
// expression" dialog, and the writes, which go to the user's file only.
#include <string>
#include <vector>

namespace corvanthelix {

/// One listed expression.
struct SpamWordRow {
    std::string word;
    int percent = 0;
    bool predefined = false; ///< shipped with the program: cannot be deleted, only set to 0
};

/// What the expression dialog says about its fields.
enum class SpamWordCheck {
    Valid,
    MissingWord,     ///< string 112 "Enter a value!"
    PercentInvalid,  ///< not an integer 0...100: string 154
    AlreadyListed,   ///< a new expression already in the list: string 156
};

/// What became of a delete.
enum class SpamWordDelete { Deleted, Predefined, Failed };

class SpamWordList {
public:
    static constexpr size_t kMaxWordLength = 254;
    static constexpr int kMinPercent = 0;
    static constexpr int kMaxPercent = 100;
    static constexpr int kStringEnterValue = 112;
    static constexpr int kStringPercentRange = 154;
    static constexpr int kStringEditTitle = 153;
    static constexpr int kStringPredefined = 155;
    static constexpr int kStringAlreadyListed = 156;
    static constexpr int kStringDeleteQuestion = 110;

    SpamWordList(std::string userFile, std::string predefinedFile);
    /// The lists of the program's files.
    SpamWordList();

    /// The user's own words first (file order), then, when `withPredefined`, the predefined words
    /// (file order). A user word that repeats a predefined one (letter case ignored) is listed
    /// once, as predefined, with the user's percent.
    std::vector<SpamWordRow> rows(bool withPredefined) const;
    /// The check of the dialog's fields; `adding` is false when an existing expression is edited.
    SpamWordCheck check(const std::string& word, const std::string& percentText, bool adding) const;
    /// Writes word = percent into the user's file. False when it could not be written.
    bool write(const std::string& word, int percent) const;
    /// Deletes a user word from the user's file; a predefined one is refused.
    SpamWordDelete remove(const std::string& word) const;
    /// Whether `word` is a predefined expression (letter case ignored).
    bool isPredefined(const std::string& word) const;

private:
    std::vector<SpamWordRow> read(const std::string& file, bool predefined) const;

    std::string userFile_;
    std::string predefinedFile_;
};

} // namespace corvanthelix
