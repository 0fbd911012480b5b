#pragma once
// Text helpers the plug-ins share. They compare ASCII letters without regard to case, as the
// lists the user keeps (extensions, signatures, addresses) are matched that way.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace corvanthelix::plugin {

/// Decodes the encoded words of a header value (the host does this for the plug-ins).
using HeaderDecoder = std::function<std::string(const std::string&)>;

/// True when `a` and `b` are equal ignoring the case of ASCII letters.
bool EqualsNoCase(std::string_view a, std::string_view b);

/// The position of the first occurrence of `word` in `text` at or after `from`, ignoring the case
/// of ASCII letters; npos when there is none. An empty `word` is found at `from`.
size_t FindNoCase(std::string_view text, std::string_view word, size_t from = 0);

/// `text` without any of the characters in `blanks` at either end (a view into `text`).
std::string_view Trim(std::string_view text, std::string_view blanks);

} // namespace corvanthelix::plugin
