#pragma once
// Turns a whole message (header and body, as the mail server sent it) into the chi-square
// filter's tokens. What the tokens are is part of what a stored word database means: a change
// here makes old databases count different tokens.
//
// Header fields give tokens prefixed with the field name in lower case: the words of the decoded
// Subject ("subject:Free"), the names, addresses and domains of the address fields ("from:Bob",
// "from:bob@example.org", "from:@example.org"), the host names and network prefixes of Received
// ("received:mx.example.org", "received:example.org", "received:192.168.1"), the domain of the
// Message-ID, and the words of every other field (a field's name alone gives no token).
// MIME structure gives "content-type:text/html", "charset:...", "encoding:base64" and
// "filename:.exe". The body's text parts are decoded (base64, quoted-printable); of a
// multipart/alternative that has a plain-text part, the HTML alternatives are not read at all
// (neither their header nor their body). HTML loses its tags
// and comments, but the tag names ("html:font") and the host names and path words of its URLs
// ("url:example.com", "url:example.com/path" parts) count, as do those of plain-text URLs.
//
// Words keep their case. A word is a run of letters, digits, bytes above 127 and the characters
// $ ' - . ! @ _, cut of the punctuation at its ends; words of 3 to 40 bytes count as they are, a
// longer run counts as "skip:" + its first byte + its length in tens, shorter ones not at all.
#include "chisquare/TokenSet.h"

#include <cstddef>
#include <string_view>

namespace corvanthelix::chisquare {

class MessageTokenizer {
public:
    static constexpr size_t kMinWordLength = 3;
    static constexpr size_t kMaxWordLength = 40;
    /// Nested MIME parts deeper than this are not read.
    static constexpr int kMaxDepth = 12;
    /// Of each text part, only this many decoded bytes are read: what decides is at the start,
    /// and a huge part must not make judging slow.
    static constexpr size_t kMaxTextBytes = 64 * 1024;

    /// Replaces `tokens` with the distinct tokens of the message `source` (CR LF or LF line ends;
    /// a NUL byte ends it).
    static void tokenize(std::string_view source, TokenSet& tokens);

    /// Adds the words of `text` with `prefix` in front (see the header comment for what a word is).
    static void addWords(std::string_view text, std::string_view prefix, TokenSet& tokens);

    /// Adds the tokens of one URL ("http://host/path", or "www.host..."): "url:" + the host, its
    /// last two and three labels, and the words of the path.
    static void addUrl(std::string_view url, TokenSet& tokens);
};

} // namespace corvanthelix::chisquare
