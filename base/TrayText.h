#pragma once
// What the tray icon shows, worked out without a desktop: the tooltip with its progress piece and
// the picture files of the number icon.
#include <string>

namespace corvanthelix::tray {

/// The tooltip holds at most this many characters.
constexpr int kTooltipMax = 63;
/// The separator before the progress percentage in the tooltip.
inline constexpr const char* kProgressSeparator = " | ";

/// "Corvanthelix <version>" (string 133 with the version), the tray's resting tooltip.
std::string versionTooltip();
/// The tray's tooltip between checks: string 290 ("... not receiving mail on port %i") while
/// `closedPort` (a port the settings ask for that could not be opened; 0 for none) is set, else
/// versionTooltip().
std::string restingTooltip(int closedPort);
/// The tooltip after a mail check: restingTooltip(closedPort), and with `spamCount` > 0 a blank
/// and string 163 ("- %i messages deleted").
std::string tooltipAfterCheck(int spamCount, int closedPort);

/// `text` cut to kTooltipMax characters (UTF-8 aware: a character is never split).
std::string cutTooltip(const std::string& text);

/// `tooltip` with its progress piece set: everything from the last " | " is replaced, otherwise
/// the piece is appended; the piece is " | " and the percentage as "%.1f%%". A negative
/// `percentTenths` removes the piece instead. The result is cut to kTooltipMax characters.
std::string withProgress(const std::string& tooltip, int percentTenths);

/// Picture files of the number icon, relative to the program folder.
struct NumberIconParts {
    /// Columns 0..6 come from this picture; empty when the icon is the state icon alone.
    std::string left;
    /// Columns 7..15 come from this one (the whole icon when `left` is empty).
    std::string right;
};

/// The state icon: "icons/mini.ico" when the filter is enabled, "icons/mini_grey.ico" otherwise.
std::string stateIconFile(bool filterEnabled);

/// The pictures for spam count `count` (counts of 100 and more show 99): 0 or less is the state
/// icon alone; 1..9 the tens picture of the digit ("icons/numbers/70.ico") left of the state icon;
/// 10..99 the tens picture of the first digit left of the units picture ("icons/numbers/2.ico").
NumberIconParts numberIconParts(int count, bool filterEnabled);

/// Relative file of animation frame `frame` (0..3): "icons/mailmini.ico", "icons/mailani1.ico", ...
std::string animationIconFile(int frame);

} // namespace corvanthelix::tray
