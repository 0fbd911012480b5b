#pragma once
// The attachment check: whether a header of a message part names an attached file whose
// extension is on the list of blocked extensions.
#include "common/PluginText.h"
#include "common/TextLineList.h"
#include "corvanthelix_plugin.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace corvanthelix::quillatrest {

using plugin::HeaderDecoder;

/// The most characters of a reason text the host keeps.
constexpr size_t kReasonLength = 255;

/// The value of the parameter whose name starts at `nameAt` in the header value `value`: the text
/// after the next "=", up to the next ";" that is not inside a quoted value (or to the end),
/// trimmed of spaces, TABs and quotes. A value counts as quoted when it begins with a double or
/// single quote; it then runs to the matching quote (inside double quotes a backslash escapes the
/// next character). "" when no "=" follows.
std::string ParameterText(std::string_view value, size_t nameAt);

/// The extension of the file name `name`: the text after its last "."; nothing when the name has
/// no dot.
std::optional<std::string_view> ExtensionOf(std::string_view name);

/// The parameter check. When `header` is named `headerName` (case ignored) and a parameter
/// `parameterName` in its value (every place the name occurs is tried, case ignored) names a file
/// whose extension is listed in `blocked` (case ignored), that extension as the file name writes
/// it (without the dot). File names are decoded with `decode` before their extension is taken.
std::optional<std::string> BlockedExtension(const HeaderField& header, std::string_view headerName,
                                            std::string_view parameterName, const plugin::TextLineList& blocked,
                                            const HeaderDecoder& decode);

/// The first blocked extension that a header of `part` names, headers in order: the "filename"
/// of a Content-Disposition header or the "name" of a Content-Type header.
std::optional<std::string> PartBlockedExtension(const MessagePart& part, const plugin::TextLineList& blocked,
                                                const HeaderDecoder& decode);

/// The reason text for a blocked extension: the extension with its leading dot, at most 255
/// characters (".PIF").
std::string ReasonFor(std::string_view extension);

/// An extension as the user typed it, without spaces, TABs and dots at either end
/// (" .exe " gives "exe"); what the list stores.
std::string_view NormalizeExtension(std::string_view typed);

} // namespace corvanthelix::quillatrest
