#pragma once
// The dot-stuffing of POP3 multi-line answers. A message travels with one more "." in front of
// every line that begins with "." and ends with the line ".": the upstream client takes that away
// as it receives a message, so everything the program holds and stores is the message itself,
// and the client session puts it back, once, as it sends one. A line begins at the start of the
// text and after every "\r\n" (a bare line feed ends no line on the wire).
#include <string>
#include <string_view>

namespace corvanthelix {

/// Undoes the stuffing of a received answer body `text` (the bytes before the terminating line,
/// so its last line is ended) in place: a line that begins with "." loses that "."; the line "."
/// itself, which a server that does not stuff may send inside a text, stays as it is.
void undoDotStuffing(std::string& text);

/// True when some line of `text` begins with "." (dotStuffed() would then differ from `text`).
bool needsDotStuffing(std::string_view text);

/// `text` with one more "." in front of every line that begins with ".".
std::string dotStuffed(std::string_view text);

/// What follows a stuffed `text` to end the answer: ".\r\n", with a "\r\n" before it when
/// `text` is not empty and does not end with one (a message stored without its last line end).
/// Points to static text.
std::string_view multiLineEnd(std::string_view text);

} // namespace corvanthelix
