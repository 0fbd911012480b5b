#pragma once
// The reason text of a filter verdict: the words that led to the decision, ", "-separated.
#include <cstddef>
#include <string_view>

namespace corvanthelix {

/// Appends `word` to the NUL-terminated `reason` (a buffer of `capacity` bytes whose text is
/// `length` characters long), preceded by ", " unless the reason is empty, when the room left
/// (capacity - 1 - length) is greater than the word's length + 2; otherwise leaves it as it is.
/// Updates `length`. Returns whether the word was appended.
bool appendReasonWord(char* reason, size_t capacity, size_t& length, std::string_view word);

} // namespace corvanthelix
