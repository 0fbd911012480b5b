#pragma once
// The rules of the training area's options: which texts are numbers worth storing and when the
// automatic pre-marking can be chosen.
#include <optional>
#include <string_view>

namespace corvanthelix {

class TrainingAreaOptions {
public:
    /// The number a field holds: decimal digits only (blanks around them allowed), at most 9 of
    /// them; nothing for an empty field or any other text, which is then not stored.
    static std::optional<int> number(std::string_view text);
    /// Pre-marking when the training area opens needs something to pre-mark.
    static bool premarkAutoAvailable(bool premarkSpam, bool premarkNonSpam) { return premarkSpam || premarkNonSpam; }
};

} // namespace corvanthelix
