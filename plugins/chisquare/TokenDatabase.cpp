#include "chisquare/TokenDatabase.h"

#include "common/PluginFiles.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace corvanthelix::chisquare {

namespace {

constexpr std::string_view kMagic = "CVXCHISQ";
constexpr uint32_t kFormatVersion = 1;
/// No token is longer than this: the tokenizer's longest word with the longest prefix.
constexpr uint64_t kMaxStoredTokenLength = 4096;

void putVarint(std::string& out, uint64_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<char>((value & 0x7F) | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

bool getVarint(std::string_view& in, uint64_t& value) {
    value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (in.empty()) return false;
        auto byte = static_cast<unsigned char>(in.front());
        in.remove_prefix(1);
        value |= static_cast<uint64_t>(byte & 0x7F) << shift;
        if (!(byte & 0x80)) return true;
    }
    return false;
}

bool getCount(std::string_view& in, uint32_t& value) {
    uint64_t wide = 0;
    if (!getVarint(in, wide) || wide > std::numeric_limits<uint32_t>::max()) return false;
    value = static_cast<uint32_t>(wide);
    return true;
}

void increment(uint32_t& counter) {
    if (counter != std::numeric_limits<uint32_t>::max()) ++counter;
}

} // namespace

TokenDatabase::TokenDatabase(size_t maxTokens) : maxTokens_(std::max<size_t>(maxTokens, 1)) {}

void TokenDatabase::clear() {
    tokens_.clear();
    spamMessages_ = hamMessages_ = clock_ = 0;
}

void TokenDatabase::learn(const TokenSet& tokens, bool spam) {
    increment(spam ? spamMessages_ : hamMessages_);
    increment(clock_);
    for (size_t i = 0; i < tokens.size(); ++i) {
        std::string_view token = tokens.at(i);
        auto found = tokens_.find(token);
        if (found == tokens_.end()) found = tokens_.emplace(std::string(token), TokenCounts{}).first;
        increment(spam ? found->second.spam : found->second.ham);
        found->second.lastLearned = clock_;
    }
    if (tokens_.size() > maxTokens_) prune(static_cast<size_t>(static_cast<double>(maxTokens_) * kPruneTo));
}

const TokenCounts* TokenDatabase::find(std::string_view token) const {
    auto found = tokens_.find(token);
    return found == tokens_.end() ? nullptr : &found->second;
}

size_t TokenDatabase::prune(size_t target) {
    if (tokens_.size() <= target) return 0;
    // Rarity first (saturated: a token in 255 messages or more is never rare), then age.
    auto rank = [](const TokenCounts& counts) {
        uint64_t messages = std::min<uint64_t>(uint64_t(counts.spam) + counts.ham, 255);
        return (messages << 32) | counts.lastLearned;
    };
    std::vector<uint64_t> ranks;
    ranks.reserve(tokens_.size());
    for (const auto& [token, counts] : tokens_) ranks.push_back(rank(counts));
    size_t removeCount = tokens_.size() - target;
    std::nth_element(ranks.begin(), ranks.begin() + static_cast<std::ptrdiff_t>(removeCount - 1), ranks.end());
    uint64_t cut = ranks[removeCount - 1];
    // Every token ranked below the cut goes, and of those ranked at it as many as are still needed.
    size_t atCut = 0;
    for (size_t i = 0; i < removeCount; ++i) atCut += ranks[i] == cut;
    size_t removed = 0;
    for (auto it = tokens_.begin(); it != tokens_.end();) {
        uint64_t r = rank(it->second);
        if (r < cut || (r == cut && atCut > 0)) {
            if (r == cut) --atCut;
            it = tokens_.erase(it);
            ++removed;
        } else {
            ++it;
        }
    }
    return removed;
}

std::string TokenDatabase::serialize() const {
    std::string out;
    out.reserve(32 + tokens_.size() * 18);
    out.append(kMagic);
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((kFormatVersion >> shift) & 0xFF));
    putVarint(out, spamMessages_);
    putVarint(out, hamMessages_);
    putVarint(out, clock_);
    putVarint(out, tokens_.size());
    for (const auto& [token, counts] : tokens_) {
        putVarint(out, counts.spam);
        putVarint(out, counts.ham);
        putVarint(out, clock_ - std::min(counts.lastLearned, clock_));
        putVarint(out, token.size());
        out.append(token);
    }
    uint64_t checksum = tokenHash(out);
    for (int shift = 0; shift < 64; shift += 8) out.push_back(static_cast<char>((checksum >> shift) & 0xFF));
    return out;
}

bool TokenDatabase::deserialize(std::string_view bytes) {
    clear();
    if (bytes.size() < kMagic.size() + 4 + 8 || bytes.substr(0, kMagic.size()) != kMagic) return false;
    std::string_view body = bytes.substr(0, bytes.size() - 8);
    uint64_t stored = 0;
    for (int i = 7; i >= 0; --i) stored = (stored << 8) | static_cast<unsigned char>(bytes[body.size() + size_t(i)]);
    if (stored != tokenHash(body)) return false;
    std::string_view in = body.substr(kMagic.size());
    uint32_t version = 0;
    for (int i = 3; i >= 0; --i) version = (version << 8) | static_cast<unsigned char>(in[size_t(i)]);
    in.remove_prefix(4);
    uint64_t count = 0;
    bool ok = version == kFormatVersion && getCount(in, spamMessages_) && getCount(in, hamMessages_) &&
              getCount(in, clock_) && getVarint(in, count) && count <= in.size();
    if (ok) tokens_.reserve(static_cast<size_t>(count));
    for (uint64_t i = 0; ok && i < count; ++i) {
        TokenCounts counts;
        uint32_t age = 0;
        uint64_t length = 0;
        ok = getCount(in, counts.spam) && getCount(in, counts.ham) && getCount(in, age) && getVarint(in, length) &&
             length > 0 && length <= kMaxStoredTokenLength && length <= in.size();
        if (!ok) break;
        counts.lastLearned = clock_ - std::min(age, clock_);
        tokens_.emplace(std::string(in.substr(0, static_cast<size_t>(length))), counts);
        in.remove_prefix(static_cast<size_t>(length));
    }
    if (!ok || !in.empty()) {
        clear();
        return false;
    }
    if (tokens_.size() > maxTokens_) prune(maxTokens_);
    return true;
}

TokenDatabase::LoadResult TokenDatabase::load(const std::string& path) {
    std::string bytes;
    if (!plugin::ReadWholeFile(path, bytes)) {
        clear();
        return LoadResult::Missing;
    }
    return deserialize(bytes) ? LoadResult::Loaded : LoadResult::Damaged;
}

bool TokenDatabase::save(const std::string& path) const { return plugin::ReplaceFile(path, serialize()); }

} // namespace corvanthelix::chisquare
