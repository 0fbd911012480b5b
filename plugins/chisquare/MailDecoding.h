#pragma once
// Decoders the chi-square filter needs to read a message the way its reader sees it: the transfer
// encodings of a body and the encoded words of a header value. They never fail: bytes that do not
// belong to an encoding are skipped, so a damaged message still yields what can be read.
#include <string>
#include <string_view>

namespace corvanthelix::chisquare {

/// The bytes that the base64 text `text` encodes; characters outside the alphabet (line ends,
/// blanks, junk) are skipped, and decoding stops at the first "=".
std::string decodeBase64(std::string_view text);

/// The bytes of the quoted-printable text `text`: "=XX" becomes the byte, "=" at a line end joins
/// the lines, and an "=" that starts no valid escape stays as it is. With `underscoreIsSpace` (the
/// "Q" encoding of header words) "_" stands for a space.
std::string decodeQuotedPrintable(std::string_view text, bool underscoreIsSpace = false);

/// The header value `value` with its encoded words ("=?charset?B|Q?text?=") decoded to their
/// bytes (the charset is not converted); blanks between two encoded words are dropped.
std::string decodeEncodedWords(std::string_view value);

} // namespace corvanthelix::chisquare
