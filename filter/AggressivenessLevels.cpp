#include "filter/AggressivenessLevels.h"

#include "base/Application.h"
#include "base/IniFile.h"
#include "base/Settings.h"

#include <cstdlib>

namespace corvanthelix {

AggressivenessLevels::AggressivenessLevels(std::string userFile, std::string predefinedFile)
    : userFile_(std::move(userFile)), predefinedFile_(std::move(predefinedFile)) {
    for (int level : kLevels) {
        if (!hasThreshold(level)) continue;
        std::optional<int> value = settings::threshold(level, userFile_);
        if (!value) value = settings::threshold(level, predefinedFile_);
        if (value) thresholds_[level] = *value;
    }
}

AggressivenessLevels::AggressivenessLevels()
    : AggressivenessLevels(Application::instance().paths().userSpamWordsFile(),
                           Application::instance().paths().spamWordsFile()) {}

bool AggressivenessLevels::hasThreshold(int level) { return level == 25 || level == 50 || level == 75; }

int AggressivenessLevels::levelOf(int value) {
    int best = kLevels.front();
    for (int level : kLevels)
        if (std::abs(value - level) <= std::abs(value - best)) best = level;
    return best;
}

std::optional<int> AggressivenessLevels::threshold(int level) const {
    auto found = thresholds_.find(level);
    if (found == thresholds_.end()) return std::nullopt;
    return found->second;
}

void AggressivenessLevels::setThreshold(int level, int value) {
    if (hasThreshold(level)) thresholds_[level] = value;
}

void AggressivenessLevels::store() const {
    for (const auto& [level, value] : thresholds_) {
        const bool userHasKey = IniFile::hasKey(settings::section::kThreshold, settings::thresholdKey(level), userFile_);
        if (userHasKey || settings::threshold(level, predefinedFile_) != value)
            settings::setThreshold(level, value, userFile_);
    }
}

} // namespace corvanthelix
