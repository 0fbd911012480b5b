#pragma once
// Contacts from a vCard file (.vcf; versions 2.1, 3.0 and 4.0) as address books export them:
// every EMAIL of a card, each with the card's formatted name. Texts come out in UTF-8.
#include "filter/SenderImport.h"

#include <string>
#include <string_view>
#include <vector>

namespace corvanthelix {

class VCardReader {
public:
    /// Every address of every card in file order, named by the card's FN; without FN by its N
    /// (given name before family name), and without either by the address itself.
    static std::vector<ImportedSender> parse(std::string_view text);
    /// parse() of the file's text. False when the file cannot be read.
    static bool read(const std::string& path, std::vector<ImportedSender>& senders);

    /// The logical lines of `text`: a line break followed by a space or tab continues the line
    /// (the break and that one character removed); a quoted-printable line ending in "=" is
    /// joined with the next line too. Line ends may be CRLF or LF.
    static std::vector<std::string> unfold(std::string_view text);
    /// Quoted-printable decoding: "=XX" becomes the byte, a "=" at the end is dropped.
    static std::string decodeQuotedPrintable(std::string_view text);
    /// `bytes` in charset `charset` (UTF-8, US-ASCII, ISO-8859-1/Latin-1, ISO-8859-15,
    /// Windows-1252; names compared without case) as UTF-8. Bytes of an unknown or missing
    /// charset are kept when they are valid UTF-8 and read as Windows-1252 otherwise.
    static std::string toUtf8(std::string_view bytes, std::string_view charset);
    /// Removes the backslash escapes of a text value ("\," "\;" "\\" "\n").
    static std::string unescape(std::string_view value);
};

} // namespace corvanthelix
