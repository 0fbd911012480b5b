#pragma once
// The chi-square filter's one setting, how readily it calls a message spam, and what each choice
// means for the scorer. The settings page offers the choices; the plug-in stores the choice in the
// host's settings file under kAggressivenessKey and applies it to its filter.
#include "chisquare/ChiSquareScorer.h"

#include <string_view>

namespace corvanthelix::chisquare {

/// How readily the filter calls a message spam. The stored values are the enumerators' numbers.
enum class Aggressiveness { Careful = 0, Normal = 1, Aggressive = 2 };

class ChiSquareSettings {
public:
    /// The key of the choice in the plug-in's section of the host's settings file.
    static constexpr const char* kAggressivenessKey = "Aggressiveness";
    /// The choices in the order the page lists them.
    static constexpr Aggressiveness kChoices[] = {Aggressiveness::Careful, Aggressiveness::Normal,
                                                  Aggressiveness::Aggressive};

    /// The choice a stored value names; Normal for an empty, unknown or malformed value.
    static Aggressiveness parse(std::string_view stored);
    /// The value stored for `choice` ("0", "1", "2"). A static text.
    static const char* storedValue(Aggressiveness choice);
    /// The English label of `choice` as the page shows it (before translation). A static text.
    static const char* label(Aggressiveness choice);

    /// The scorer's parameters for `choice`: Normal is the shipped set; Careful needs stronger
    /// evidence before it calls a message spam and lets fewer messages pass as certain non-spam;
    /// Aggressive calls spam sooner. Only the cut-offs differ, so a choice never changes what the
    /// database means.
    static ChiSquareParameters parametersFor(Aggressiveness choice);
};

} // namespace corvanthelix::chisquare
