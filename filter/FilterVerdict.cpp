#include "filter/FilterVerdict.h"

#include <algorithm>
#include <cstring>

namespace corvanthelix {

namespace {

void copyCut(char* field, size_t capacity, std::string_view text) {
    size_t length = std::min(text.size(), capacity - 1);
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

} // namespace

void FilterVerdict::reset() {
    reason[0] = '\0';
    filterName[0] = '\0';
    probability = kNeutralProbability;
    spam = 0;
}

void FilterVerdict::setReason(std::string_view text) { copyCut(reason, kReasonCapacity, text); }

void FilterVerdict::setFilterName(std::string_view text) { copyCut(filterName, kFilterNameCapacity, text); }

} // namespace corvanthelix
