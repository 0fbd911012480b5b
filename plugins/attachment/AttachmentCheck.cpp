#include "attachment/AttachmentCheck.h"

#include "common/PluginText.h"

namespace corvanthelix::quillatrest {

using plugin::EqualsNoCase;
using plugin::FindNoCase;
using plugin::Trim;

namespace {

constexpr std::string_view kBlanks = " \t";

/// Where the unquoted run that starts at `at` ends: the next ";" or the end of `text`.
size_t unquotedEnd(std::string_view text, size_t at) {
    size_t end = text.find(';', at);
    return end == std::string_view::npos ? text.size() : end;
}

/// Just past the quoted value that opens at `at` with `quote` (the matching quote, or the end).
size_t quotedEnd(std::string_view text, size_t at, char quote) {
    for (size_t i = at + 1; i < text.size(); ++i) {
        if (quote == '"' && text[i] == '\\') {
            ++i;
            continue;
        }
        if (text[i] == quote) return i + 1;
    }
    return text.size();
}

} // namespace

std::string ParameterText(std::string_view value, size_t nameAt) {
    size_t equals = value.find('=', nameAt);
    if (equals == std::string_view::npos) return {};
    size_t start = value.find_first_not_of(kBlanks, equals + 1);
    if (start == std::string_view::npos) return {};
    // Only a value that begins with a quote is quoted. A quote inside a bare value is part of the
    // name (x'.pif); treating it as opening a quoted run would read past the ";" and hide the
    // extension.
    size_t end = start;
    if (value[start] == '"' || value[start] == '\'') end = quotedEnd(value, start, value[start]);
    end = unquotedEnd(value, end);
    return std::string(Trim(value.substr(start, end - start), " \t\"'"));
}

std::optional<std::string_view> ExtensionOf(std::string_view name) {
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return std::nullopt;
    return name.substr(dot + 1);
}

std::optional<std::string> BlockedExtension(const HeaderField& header, std::string_view headerName,
                                            std::string_view parameterName, const plugin::TextLineList& blocked,
                                            const HeaderDecoder& decode) {
    if (!header.name || !header.value || !EqualsNoCase(header.name, headerName) || parameterName.empty())
        return std::nullopt;
    std::string_view value = header.value;
    for (size_t at = FindNoCase(value, parameterName); at != std::string_view::npos;
         at = FindNoCase(value, parameterName, at + 1)) {
        std::string name = decode(ParameterText(value, at));
        std::optional<std::string_view> extension = ExtensionOf(name);
        if (!extension) continue;
        if (blocked.Any([&](const std::string& listed) { return EqualsNoCase(listed, *extension); }))
            return std::string(*extension);
    }
    return std::nullopt;
}

std::optional<std::string> PartBlockedExtension(const MessagePart& part, const plugin::TextLineList& blocked,
                                                const HeaderDecoder& decode) {
    for (const HeaderField* header = part.headers; header; header = header->next) {
        std::optional<std::string> found =
            BlockedExtension(*header, "Content-Disposition", "filename", blocked, decode);
        if (!found) found = BlockedExtension(*header, "Content-Type", "name", blocked, decode);
        if (found) return found;
    }
    return std::nullopt;
}

std::string ReasonFor(std::string_view extension) {
    std::string reason = ".";
    reason.append(extension);
    if (reason.size() > kReasonLength) reason.resize(kReasonLength);
    return reason;
}

std::string_view NormalizeExtension(std::string_view typed) { return Trim(typed, " \t."); }

} // namespace corvanthelix::quillatrest
