#include "filter/ReasonText.h"

#include <cstring>

namespace corvanthelix {

bool appendReasonWord(char* reason, size_t capacity, size_t& length, std::string_view word) {
    // The separator's room is asked for even for the first word, so a reason never quite fills up.
    if (capacity - 1 - length <= word.size() + 2) return false;
    if (length > 0) {
        std::memcpy(reason + length, ", ", 2);
        length += 2;
    }
    std::memcpy(reason + length, word.data(), word.size());
    length += word.size();
    reason[length] = '\0';
    return true;
}

} // namespace corvanthelix
