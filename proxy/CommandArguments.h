#pragma once
// Reading the arguments of a mail client's commands: the one place that turns the text after a
// verb into message numbers and line counts, shared by LIST, RETR, DELE, TOP and UIDL.
#include <optional>
#include <string>
#include <string_view>

namespace corvanthelix {

class CommandArguments {
public:
    /// The text after the four-letter verb and its blank ("RETR 12\r\n" gives "12"), without the
    /// line breaks at either end; empty for a line of five characters or fewer.
    static std::string of(std::string_view line);

    /// The leading integer of `text` after blanks and tabs, with an optional sign, as a C library
    /// would read it: "12abc" is 12, "x1" is 0; values beyond the int range saturate.
    static int number(std::string_view text);

    /// The message number a command names in `argument`: nothing when the argument is empty or
    /// reads as -1 (no message has that number).
    static std::optional<int> messageNumber(std::string_view argument);

    /// The two numbers of "TOP n k" read from `line` (the whole command line): `number` stays -1
    /// when no number follows the verb, `lines` 0 when the second is missing; a negative line
    /// count counts as 0.
    static void topNumbers(std::string_view line, int& number, int& lines);
};

} // namespace corvanthelix
