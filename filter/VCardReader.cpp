#include "filter/VCardReader.h"

#include <strings.h>

#include <array>
#include <cstdint>
#include <fstream>
#include <sstream>

namespace corvanthelix {

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool containsNoCase(std::string_view text, std::string_view part) {
    for (size_t i = 0; i + part.size() <= text.size(); ++i)
        if (strncasecmp(text.data() + i, part.data(), part.size()) == 0) return true;
    return false;
}

std::string_view trimmed(std::string_view text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The colon that ends the name and parameters; parameter values of version 4.0 may be quoted.
size_t valueColon(std::string_view line) {
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') quoted = !quoted;
        else if (line[i] == ':' && !quoted) return i;
    }
    return std::string_view::npos;
}

void appendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Windows-1252 characters 0x80...0x9F; 0 where the code page leaves a byte undefined.
constexpr std::array<uint16_t, 32> kWindows1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

uint32_t latin9(unsigned char byte) {
    switch (byte) {
    case 0xA4: return 0x20AC;
    case 0xA6: return 0x0160;
    case 0xA8: return 0x0161;
    case 0xB4: return 0x017D;
    case 0xB8: return 0x017E;
    case 0xBC: return 0x0152;
    case 0xBD: return 0x0153;
    case 0xBE: return 0x0178;
    default: return byte;
    }
}

bool validUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

enum class Charset { Utf8, Latin1, Latin9, Windows1252 };

Charset charsetNamed(std::string_view name) {
    if (equalsNoCase(name, "ISO-8859-1") || equalsNoCase(name, "LATIN1") || equalsNoCase(name, "ISO8859-1"))
        return Charset::Latin1;
    if (equalsNoCase(name, "ISO-8859-15") || equalsNoCase(name, "LATIN9")) return Charset::Latin9;
    if (equalsNoCase(name, "WINDOWS-1252") || equalsNoCase(name, "CP1252")) return Charset::Windows1252;
    return Charset::Utf8;
}

// One property of a card.
struct Property {
    std::string name;
    std::string value; // decoded and in UTF-8, escapes still in
};

bool parseProperty(std::string_view line, Property& property) {
    size_t colon = valueColon(line);
    if (colon == std::string_view::npos) return false;
    std::string_view head = line.substr(0, colon);
    std::string_view value = line.substr(colon + 1);
    size_t semicolon = head.find(';');
    std::string_view name = head.substr(0, semicolon);
    if (size_t dot = name.rfind('.'); dot != std::string_view::npos) name = name.substr(dot + 1);
    bool quotedPrintable = false;
    std::string charset;
    while (semicolon != std::string_view::npos) {
        size_t next = head.find(';', semicolon + 1);
        std::string_view parameter = head.substr(semicolon + 1, next == std::string_view::npos ? std::string_view::npos : next - semicolon - 1);
        semicolon = next;
        if (equalsNoCase(parameter, "QUOTED-PRINTABLE") || equalsNoCase(parameter, "ENCODING=QUOTED-PRINTABLE"))
            quotedPrintable = true;
        else if (startsWithNoCase(parameter, "CHARSET="))
            charset = std::string(parameter.substr(8));
    }
    property.name = std::string(name);
    std::string bytes = quotedPrintable ? VCardReader::decodeQuotedPrintable(value) : std::string(value);
    property.value = VCardReader::toUtf8(bytes, charset);
    return true;
}

// "Family;Given;Additional;Prefix;Suffix" as "Given Family".
std::string nameFromN(std::string_view value) {
    std::vector<std::string> parts;
    std::string part;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            part += value.substr(i, 2);
            ++i;
        } else if (value[i] == ';') {
            parts.push_back(std::move(part));
            part.clear();
        } else {
            part += value[i];
        }
    }
    parts.push_back(std::move(part));
    std::string family = VCardReader::unescape(trimmed(parts[0]));
    std::string given = parts.size() > 1 ? VCardReader::unescape(trimmed(parts[1])) : std::string();
    if (given.empty()) return family;
    return family.empty() ? given : given + " " + family;
}

} // namespace

std::vector<std::string> VCardReader::unfold(std::string_view text) {
    std::vector<std::string> lines;
    std::string current;
    bool have = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (have && !line.empty() && (line.front() == ' ' || line.front() == '\t')) {
            current += line.substr(1);
            continue;
        }
        // A soft line break of a quoted-printable value continues on the next line as it stands.
        if (have && !current.empty() && current.back() == '=' && containsNoCase(current.substr(0, valueColon(current)), "QUOTED-PRINTABLE")) {
            current.pop_back();
            current += line;
            continue;
        }
        if (have) lines.push_back(std::move(current));
        current = std::string(line);
        have = true;
    }
    if (have) lines.push_back(std::move(current));
    return lines;
}

std::string VCardReader::decodeQuotedPrintable(std::string_view text) {
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out += text[i];
        } else if (i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0) {
            out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else if (i + 1 < text.size()) {
            out += text[i]; // not an escape: kept as written
        }
    }
    return out;
}

std::string VCardReader::toUtf8(std::string_view bytes, std::string_view charsetName) {
    Charset charset = charsetNamed(charsetName);
    if (charset == Charset::Utf8) {
        if (validUtf8(bytes)) return std::string(bytes);
        charset = Charset::Windows1252;
    }
    std::string out;
    for (char c : bytes) {
        unsigned char byte = static_cast<unsigned char>(c);
        uint32_t code = byte;
        if (charset == Charset::Latin9) code = latin9(byte);
        else if (charset == Charset::Windows1252 && byte >= 0x80 && byte < 0xA0 && kWindows1252High[byte - 0x80] != 0)
            code = kWindows1252High[byte - 0x80];
        appendUtf8(out, code);
    }
    return out;
}

std::string VCardReader::unescape(std::string_view value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            char next = value[++i];
            out += (next == 'n' || next == 'N') ? ' ' : next;
        } else {
            out += value[i];
        }
    }
    return out;
}

std::vector<ImportedSender> VCardReader::parse(std::string_view text) {
    std::vector<ImportedSender> senders;
    bool inCard = false;
    std::string formattedName, structuredName;
    std::vector<std::string> addresses;
    for (const std::string& line : unfold(text)) {
        Property property;
        if (!parseProperty(line, property)) continue;
        std::string_view value = trimmed(property.value);
        if (equalsNoCase(property.name, "BEGIN") && equalsNoCase(value, "VCARD")) {
            inCard = true;
            formattedName.clear();
            structuredName.clear();
            addresses.clear();
        } else if (!inCard) {
            continue;
        } else if (equalsNoCase(property.name, "END") && equalsNoCase(value, "VCARD")) {
            inCard = false;
            std::string name = !formattedName.empty() ? formattedName : structuredName;
            for (const std::string& address : addresses) senders.push_back({name.empty() ? address : name, address});
        } else if (equalsNoCase(property.name, "FN")) {
            formattedName = unescape(value);
        } else if (equalsNoCase(property.name, "N")) {
            structuredName = nameFromN(value);
        } else if (equalsNoCase(property.name, "EMAIL")) {
            if (startsWithNoCase(value, "mailto:")) value.remove_prefix(7);
            std::string address = unescape(trimmed(value));
            if (!address.empty()) addresses.push_back(std::move(address));
        }
    }
    return senders;
}

bool VCardReader::read(const std::string& path, std::vector<ImportedSender>& senders) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    senders = parse(text.str());
    return true;
}

} // namespace corvanthelix
