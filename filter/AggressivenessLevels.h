#pragma once
// The five aggressiveness levels of the spam-word filter and the probability thresholds of the
// middle three, as the options page edits them: read from the user's "spampoints_user.ini",
// falling back to the predefined "spampoints.ini", and written back only where they matter.
#include <array>
#include <map>
#include <optional>
#include <string>

namespace corvanthelix {

class AggressivenessLevels {
public:
    static constexpr std::array<int, 5> kLevels = {0, 25, 50, 75, 100};
    /// The text of level L is string 900 + L ("VERY LOW" ... "VERY HIGH").
    static constexpr int kStringLevelBase = 900;

    /// Thresholds read from `userFile`, else `predefinedFile` (paths of the two spam-word files).
    AggressivenessLevels(std::string userFile, std::string predefinedFile);
    /// The levels in the program's files.
    AggressivenessLevels();

    /// Whether level `level` has a threshold: 25, 50 and 75 do; 0 and 100 decide without one.
    static bool hasThreshold(int level);
    /// The level a stored "Aggressiveness" value stands for: the nearest of kLevels (ties go up).
    static int levelOf(int value);
    /// The level's threshold in percent points; nothing for 0 and 100, or when neither file has it.
    std::optional<int> threshold(int level) const;
    /// Sets the threshold shown for `level` (nothing for a level without one).
    void setThreshold(int level, int value);
    /// Writes each level's threshold into the user's file where that file has the key already or
    /// the value differs from the predefined file's; the predefined file is never written.
    void store() const;

private:
    std::string userFile_;
    std::string predefinedFile_;
    std::map<int, int> thresholds_;
};

} // namespace corvanthelix
