#pragma once
// The newsletter check: whether a message part's Subject carries a listed signature or its To
// header names a listed recipient address.
#include "common/PluginText.h"
#include "common/TextLineList.h"
#include "corvanthelix_plugin.h"
#include "newsletter/RecipientList.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace corvanthelix::newsletter {

/// The longest address taken from between angle brackets.
constexpr size_t kMaxAddress = 255;

/// The recipient address of a To header value: the text between the first "<" and the next ">"
/// (at most kMaxAddress characters); failing that, the text before the first "("; failing that,
/// the whole value; trimmed of spaces and TABs. Only the first address of a list counts.
std::string RecipientAddress(std::string_view toValue);

/// True when the decoded subject `subject` contains a signature of `signatures` (case ignored).
bool SubjectMatches(std::string_view subject, const plugin::TextLineList& signatures);

/// True when a header of `part`, in order, matches: a "Subject" whose value, its encoded words
/// decoded with `decode`, contains a signature, or a "To" whose address is listed in `recipients`.
bool PartMatches(const MessagePart& part, const plugin::TextLineList& signatures, const RecipientList& recipients,
                 const plugin::HeaderDecoder& decode);

} // namespace corvanthelix::newsletter
