#include "newsletter/NewsletterCheck.h"

namespace corvanthelix::newsletter {

using plugin::EqualsNoCase;
using plugin::FindNoCase;

std::string RecipientAddress(std::string_view toValue) {
    std::string_view address;
    size_t open = toValue.find('<');
    size_t close = open == std::string_view::npos ? open : toValue.find('>', open + 1);
    if (close != std::string_view::npos) {
        address = toValue.substr(open + 1, close - open - 1).substr(0, kMaxAddress);
    } else if (size_t comment = toValue.find('('); comment != std::string_view::npos && comment > 0) {
        address = toValue.substr(0, comment);
    } else {
        address = toValue;
    }
    return std::string(plugin::Trim(address, " \t"));
}

bool SubjectMatches(std::string_view subject, const plugin::TextLineList& signatures) {
    return signatures.Any(
        [&](const std::string& signature) { return FindNoCase(subject, signature) != std::string_view::npos; });
}

bool PartMatches(const MessagePart& part, const plugin::TextLineList& signatures, const RecipientList& recipients,
                 const plugin::HeaderDecoder& decode) {
    for (const HeaderField* header = part.headers; header; header = header->next) {
        if (!header->name || !header->value) continue;
        if (EqualsNoCase(header->name, "Subject") && SubjectMatches(decode(header->value), signatures)) return true;
        if (EqualsNoCase(header->name, "To") && recipients.Contains(RecipientAddress(header->value))) return true;
    }
    return false;
}

} // namespace corvanthelix::newsletter
