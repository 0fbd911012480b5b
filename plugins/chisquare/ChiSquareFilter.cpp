#include "chisquare/ChiSquareFilter.h"

#include "chisquare/MessageTokenizer.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace corvanthelix::chisquare {

ChiSquareFilter::ChiSquareFilter(ChiSquareParameters parameters, size_t maxTokens)
    : scorer_(parameters), database_(maxTokens) {}

TokenDatabase::LoadResult ChiSquareFilter::open(const std::string& path) {
    std::lock_guard<std::mutex> hold(lock_);
    path_ = path;
    if (path.empty()) {
        database_.clear();
        return TokenDatabase::LoadResult::Missing;
    }
    TokenDatabase::LoadResult result = database_.load(path);
    if (result == TokenDatabase::LoadResult::Damaged) std::rename(path.c_str(), (path + ".damaged").c_str());
    return result;
}

void ChiSquareFilter::close() {
    std::lock_guard<std::mutex> hold(lock_);
    database_.clear();
    path_.clear();
}

ChiSquareFilter::Judgement ChiSquareFilter::judge(std::string_view source) const {
    {
        // Untrained it has nothing to say, and a message need not be taken apart to learn that.
        std::lock_guard<std::mutex> hold(lock_);
        if (database_.spamMessages() == 0 || database_.hamMessages() == 0) return Judgement{};
    }
    TokenSet tokens;
    MessageTokenizer::tokenize(source, tokens);
    ChiSquareScore score;
    {
        std::lock_guard<std::mutex> hold(lock_);
        score = scorer_.score(tokens, database_);
    }
    Judgement judgement;
    judgement.verdict = score.verdict;
    judgement.indicator = score.indicator;
    if (score.verdict == ChiSquareVerdict::Spam) {
        char head[40];
        std::snprintf(head, sizeof head, "chi-square %.3f:", score.indicator);
        std::string reason = head;
        for (const auto& [token, f] : score.spamClues) {
            if (reason.size() + 1 + token.size() + 1 > kMaxReason) break;
            reason += (reason.back() == ':' ? " " : ", ") + token;
        }
        judgement.reason = reason.substr(0, kMaxReason);
    }
    return judgement;
}

bool ChiSquareFilter::learn(std::string_view source, bool spam, bool saveNow) {
    TokenSet tokens;
    MessageTokenizer::tokenize(source, tokens);
    std::lock_guard<std::mutex> hold(lock_);
    database_.learn(tokens, spam);
    return !saveNow || path_.empty() || database_.save(path_);
}

bool ChiSquareFilter::save() const {
    std::lock_guard<std::mutex> hold(lock_);
    return path_.empty() || database_.save(path_);
}

bool ChiSquareFilter::forget() {
    std::lock_guard<std::mutex> hold(lock_);
    database_.clear();
    return path_.empty() || database_.save(path_);
}

void ChiSquareFilter::setParameters(const ChiSquareParameters& parameters) {
    std::lock_guard<std::mutex> hold(lock_);
    scorer_ = ChiSquareScorer(parameters);
}

ChiSquareParameters ChiSquareFilter::parameters() const {
    std::lock_guard<std::mutex> hold(lock_);
    return scorer_.parameters();
}

ChiSquareFilter::Stats ChiSquareFilter::stats() const {
    std::lock_guard<std::mutex> hold(lock_);
    Stats stats{database_.size(), database_.spamMessages(), database_.hamMessages(), 0};
    std::error_code error;
    if (!path_.empty()) {
        uintmax_t bytes = std::filesystem::file_size(path_, error);
        if (!error) stats.fileBytes = bytes;
    }
    return stats;
}

} // namespace corvanthelix::chisquare
