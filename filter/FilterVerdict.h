#pragma once
// The record each message of a mail check carries out of the filter chain: why a filter decided,
// with what probability, which filter it was, and whether the message is spam.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace corvanthelix {

struct FilterVerdict {
    /// Room of the text fields, including the NUL.
    static constexpr size_t kReasonCapacity = 256;
    static constexpr size_t kFilterNameCapacity = 80;
    /// The probability of a message that no filter decided.
    static constexpr double kNeutralProbability = 0.4;

    /// Answers of every filter of the chain.
    static constexpr int kSpam = -1;
    static constexpr int kUndecided = 0;
    static constexpr int kNonSpam = 1;

    /// The words or the plug-in's explanation that led to the decision; NUL-terminated.
    char reason[kReasonCapacity] = {};
    /// The deciding filter's value (kNeutralProbability when nothing decided).
    double probability = kNeutralProbability;
    /// Name of the filter that decided; NUL-terminated, empty when none did.
    char filterName[kFilterNameCapacity] = {};
    /// 1 = spam.
    uint8_t spam = 0;

    /// Back to the state of an undecided message: probability 0.4, both texts empty, not spam.
    void reset();
    /// Copies at most kReasonCapacity - 1 bytes of `text` and a NUL into reason.
    void setReason(std::string_view text);
    /// Copies at most kFilterNameCapacity - 1 bytes of `text` and a NUL into filterName.
    void setFilterName(std::string_view text);
};

} // namespace corvanthelix
