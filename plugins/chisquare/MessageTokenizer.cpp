#include "chisquare/MessageTokenizer.h"

#include "chisquare/MailDecoding.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace corvanthelix::chisquare {

namespace {

constexpr std::array<bool, 256> makeWordChars() {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[size_t(c)] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c >= 128;
    for (unsigned char c : std::string_view("$'-.!@_")) table[c] = true;
    return table;
}
constexpr std::array<bool, 256> kWordChar = makeWordChars();

bool isWordChar(char c) { return kWordChar[static_cast<unsigned char>(c)]; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char lowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = lowerChar(c);
    return out;
}

bool startsWithNoCase(std::string_view text, std::string_view start) {
    if (text.size() < start.size()) return false;
    for (size_t i = 0; i < start.size(); ++i)
        if (lowerChar(text[i]) != start[i]) return false;
    return true;
}

std::string_view trim(std::string_view text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

/// Calls `take(word)` for every word of `text`: a run of word characters without the punctuation
/// at its ends ("$" may start a word, "!" may end one).
template <class Take>
void forEachWord(std::string_view text, Take&& take) {
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        while (p < end && !isWordChar(*p)) ++p;
        const char* start = p;
        while (p < end && isWordChar(*p)) ++p;
        const char* stop = p;
        while (start < stop && std::strchr("'-.!@_", *start) && *start) ++start;
        while (stop > start && std::strchr("'-.@_$", stop[-1]) && stop[-1]) --stop;
        if (start < stop) take(std::string_view(start, size_t(stop - start)));
    }
}

void addWord(std::string_view word, std::string_view prefix, TokenSet& tokens) {
    if (word.size() < MessageTokenizer::kMinWordLength) return;
    if (word.size() <= MessageTokenizer::kMaxWordLength) {
        tokens.add(prefix, word);
        return;
    }
    // A long run (encoded data, a mangled URL) is known by its start and its size only.
    std::string skip = std::string(prefix) + "skip:";
    skip.push_back(word[0]);
    skip += std::to_string(word.size() / 10);
    tokens.add(skip);
}

/// Header words without the identifiers (dates in numbers, queue ids, serial numbers) that make
/// every message different: a word with five digits or more does not count.
void addHeaderWords(std::string_view text, std::string_view prefix, TokenSet& tokens) {
    forEachWord(text, [&](std::string_view word) {
        int digits = 0;
        for (char c : word) digits += isDigit(c);
        if (digits < 5) addWord(word, prefix, tokens);
    });
}

bool isIpAddress(std::string_view word) {
    int dots = 0;
    for (char c : word) {
        if (c == '.') ++dots;
        else if (!isDigit(c)) return false;
    }
    return dots == 3;
}

/// "a.b.c.d" with `labels` labels kept from the end ("mail.example.org", 2: "example.org").
std::string_view lastLabels(std::string_view host, int labels) {
    size_t at = host.size();
    for (int i = 0; i < labels; ++i) {
        at = host.rfind('.', at == 0 ? 0 : at - 1);
        if (at == std::string_view::npos) return host;
    }
    return host.substr(at + 1);
}

void addHost(std::string_view prefix, std::string_view hostText, TokenSet& tokens) {
    std::string host = lower(hostText);
    while (!host.empty() && (host.back() == '.' || host.back() == '-')) host.pop_back();
    if (host.size() < MessageTokenizer::kMinWordLength || host.size() > 255) return;
    tokens.add(prefix, host);
    if (isIpAddress(host)) {
        tokens.add(prefix, std::string_view(host).substr(0, host.rfind('.')));
        return;
    }
    std::string_view two = lastLabels(host, 2);
    if (two.size() != host.size()) tokens.add(prefix, two);
    std::string_view three = lastLabels(host, 3);
    if (three.size() != host.size() && three.size() != two.size()) tokens.add(prefix, three);
}

/// Received: the host names and addresses it names, and its plain words (by, with, ESMTP, ...).
void addReceived(std::string_view value, TokenSet& tokens) {
    forEachWord(value, [&](std::string_view word) {
        if (word.find('.') != std::string_view::npos) {
            bool letters = false;
            for (char c : word) letters = letters || isAlpha(c);
            if (letters || isIpAddress(word)) addHost("received:", word, tokens);
            return;
        }
        for (char c : word)
            if (!isAlpha(c)) return;
        addWord(word, "received:", tokens);
    });
}

/// The domain after each "@" of `value`, as `prefix` + "@" + domain.
void addAddressDomains(std::string_view value, const std::string& prefix, TokenSet& tokens) {
    for (size_t at = value.find('@'); at != std::string_view::npos; at = value.find('@', at + 1)) {
        size_t end = at + 1;
        while (end < value.size() && (std::isalnum(static_cast<unsigned char>(value[end])) || value[end] == '.' ||
                                      value[end] == '-'))
            ++end;
        if (end > at + 1) tokens.add(prefix + "@", lower(value.substr(at + 1, end - at - 1)));
    }
}

bool isAddressField(std::string_view name) {
    static constexpr std::string_view kNames[] = {"from", "to", "cc", "reply-to", "sender", "return-path",
                                                  "errors-to", "delivered-to", "bcc"};
    for (std::string_view n : kNames)
        if (n == name) return true;
    return false;
}

/// Fields whose values are structure or counters, not words.
bool isSkippedField(std::string_view name) {
    static constexpr std::string_view kNames[] = {"date", "content-type", "content-transfer-encoding",
                                                  "content-disposition", "content-length", "lines",
                                                  "mime-version", "content-id"};
    for (std::string_view n : kNames)
        if (n == name) return true;
    return false;
}

/// The field's tokens. Its name gives none by itself: in a Fisher combination it would only repeat,
/// as one more seemingly independent clue, what the field's words say already ("X-MSMail-Priority:
/// Normal" counts as "x-msmail-priority:Normal"), and the names of fields a mail program adds to
/// everything it shows would count for or against every message it handled.
void addField(std::string_view name, std::string_view value, TokenSet& tokens) {
    std::string field = lower(name);
    if (field == "subject") {
        MessageTokenizer::addWords(decodeEncodedWords(value), "subject:", tokens);
    } else if (isAddressField(field)) {
        std::string decoded = decodeEncodedWords(value);
        MessageTokenizer::addWords(decoded, field + ":", tokens);
        addAddressDomains(decoded, field + ":", tokens);
    } else if (field == "received") {
        addReceived(value, tokens);
    } else if (field == "message-id") {
        addAddressDomains(value, field + ":", tokens);
    } else if (!isSkippedField(field)) {
        addHeaderWords(decodeEncodedWords(value), field + ":", tokens);
    }
}

struct ContentType {
    std::string type = "text/plain";
    std::string boundary;
    std::string charset;
    std::string name;
    bool given = false;
};

/// The value of parameter `key` (lower case) in a ";"-separated header value, unquoted.
std::string parameter(std::string_view value, std::string_view key) {
    size_t at = 0;
    while ((at = value.find(';', at)) != std::string_view::npos) {
        ++at;
        std::string_view rest = value.substr(at);
        size_t start = rest.find_first_not_of(" \t");
        if (start == std::string_view::npos) break;
        rest = rest.substr(start);
        if (!startsWithNoCase(rest, key)) continue;
        rest = rest.substr(key.size());
        size_t eq = rest.find_first_not_of(" \t");
        if (eq == std::string_view::npos || rest[eq] != '=') continue;
        rest = rest.substr(eq + 1);
        rest = rest.substr(std::min(rest.size(), rest.find_first_not_of(" \t")));
        if (!rest.empty() && rest[0] == '"') {
            size_t close = rest.find('"', 1);
            return std::string(rest.substr(1, close == std::string_view::npos ? close : close - 1));
        }
        size_t stop = rest.find_first_of("; \t");
        return std::string(rest.substr(0, stop));
    }
    return {};
}

ContentType parseContentType(std::string_view value) {
    ContentType content;
    content.given = true;
    std::string_view type = trim(value.substr(0, value.find(';')));
    if (!type.empty()) content.type = lower(type);
    content.boundary = parameter(value, "boundary");
    content.charset = parameter(value, "charset");
    content.name = parameter(value, "name");
    return content;
}

void addFileName(std::string_view fileName, TokenSet& tokens) {
    size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos || fileName.size() - dot > 12) return;
    tokens.add("filename:", lower(fileName.substr(dot)));
}

struct Part {
    std::string_view header;
    std::string_view body;
};

/// The part's header lines and its body (after the empty line). A part that starts with the empty
/// line has no header; one without an empty line is all header.
Part splitPart(std::string_view text) {
    if (text.empty() || text[0] == '\n' || text.substr(0, 2) == "\r\n") {
        size_t skip = text.empty() ? 0 : (text[0] == '\n' ? 1 : 2);
        return {{}, text.substr(skip)};
    }
    for (size_t at = text.find('\n'); at != std::string_view::npos; at = text.find('\n', at + 1)) {
        size_t next = at + 1;
        if (next < text.size() && text[next] == '\n') return {text.substr(0, at), text.substr(next + 1)};
        if (next + 1 < text.size() && text[next] == '\r' && text[next + 1] == '\n')
            return {text.substr(0, at), text.substr(next + 2)};
    }
    return {text, {}};
}

/// Calls `take(name, value)` for each field of a header block; continuation lines are joined to
/// their field with one space.
template <class Take>
void forEachField(std::string_view header, Take&& take) {
    std::string name;
    std::string value;
    bool open = false;
    auto flush = [&] {
        if (open) take(std::string_view(name), std::string_view(value));
        open = false;
    };
    size_t at = 0;
    while (at < header.size()) {
        size_t end = header.find('\n', at);
        if (end == std::string_view::npos) end = header.size();
        std::string_view line = header.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        at = end + 1;
        if (line.empty()) continue;
        if (line[0] == ' ' || line[0] == '\t') {
            if (open && value.size() < 8192) {
                value.push_back(' ');
                value.append(trim(line));
            }
            continue;
        }
        flush();
        size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) continue;
        std::string_view fieldName = trim(line.substr(0, colon));
        if (fieldName.empty() || fieldName.find(' ') != std::string_view::npos) continue;
        name.assign(fieldName);
        value.assign(trim(line.substr(colon + 1)));
        open = true;
    }
    flush();
}

/// The parts of a multipart body between its "--boundary" lines.
std::vector<std::string_view> splitMultipart(std::string_view body, std::string_view boundary) {
    std::vector<std::string_view> parts;
    std::string delimiter = "--" + std::string(boundary);
    size_t partStart = std::string_view::npos;
    size_t at = 0;
    while (at < body.size()) {
        size_t end = body.find('\n', at);
        if (end == std::string_view::npos) end = body.size();
        std::string_view line = body.substr(at, end - at);
        if (line.size() >= delimiter.size() && line.compare(0, delimiter.size(), delimiter) == 0) {
            if (partStart != std::string_view::npos) parts.push_back(body.substr(partStart, at - partStart));
            partStart = std::string_view::npos;
            if (line.substr(delimiter.size(), 2) == "--") return parts;
            partStart = std::min(end + 1, body.size());
        }
        at = end + 1;
    }
    if (partStart != std::string_view::npos) parts.push_back(body.substr(partStart));
    return parts;
}

/// Plain-text URLs: every "http://", "https://" and "www." run up to a blank or a quote.
void addTextUrls(std::string_view text, TokenSet& tokens) {
    auto urlEnd = [&](size_t from) {
        size_t end = from;
        while (end < text.size() && !std::strchr(" \t\r\n<>\"'()[]{}", text[end])) ++end;
        return end;
    };
    for (size_t at = text.find("://"); at != std::string_view::npos; at = text.find("://", at + 3)) {
        size_t start = at;
        while (start > 0 && isAlpha(text[start - 1]) && at - start < 6) --start;
        std::string scheme = lower(text.substr(start, at - start));
        if (scheme != "http" && scheme != "https" && scheme != "ftp") continue;
        MessageTokenizer::addUrl(text.substr(start, urlEnd(at + 3) - start), tokens);
    }
    for (size_t at = text.find("www."); at != std::string_view::npos; at = text.find("www.", at + 4)) {
        if (at > 0 && (isWordChar(text[at - 1]) || text[at - 1] == '/')) continue;
        MessageTokenizer::addUrl(text.substr(at, urlEnd(at) - at), tokens);
    }
}

/// The URL values of a tag's href, src, action and background attributes.
void addTagUrls(std::string_view tag, TokenSet& tokens) {
    static constexpr std::string_view kAttributes[] = {"href", "src", "action", "background"};
    std::string lowered = lower(tag);
    for (std::string_view attribute : kAttributes) {
        for (size_t at = lowered.find(attribute); at != std::string::npos; at = lowered.find(attribute, at + 1)) {
            size_t eq = lowered.find_first_not_of(" \t\r\n", at + attribute.size());
            if (eq == std::string::npos || lowered[eq] != '=') continue;
            size_t start = lowered.find_first_not_of(" \t\r\n", eq + 1);
            if (start == std::string::npos) break;
            size_t end;
            if (lowered[start] == '"' || lowered[start] == '\'') {
                end = lowered.find(lowered[start], start + 1);
                ++start;
            } else {
                end = lowered.find_first_of(" \t\r\n>", start);
            }
            if (end == std::string::npos) end = lowered.size();
            std::string_view url = tag.substr(start, end - start);
            if (startsWithNoCase(url, "http") || startsWithNoCase(url, "www.") || startsWithNoCase(url, "//"))
                MessageTokenizer::addUrl(url, tokens);
            else if (startsWithNoCase(url, "mailto:"))
                addAddressDomains(url, "url:mailto", tokens);
        }
    }
}

/// An HTML entity's text at `text[at]` == '&': what it stands for, and the length it covers.
std::pair<std::string_view, size_t> entity(std::string_view text, size_t at) {
    size_t semicolon = text.find(';', at);
    if (semicolon == std::string_view::npos || semicolon - at > 8) return {"&", 1};
    std::string_view name = text.substr(at + 1, semicolon - at - 1);
    size_t length = semicolon - at + 1;
    if (name == "nbsp") return {" ", length};
    if (name == "amp") return {"&", length};
    if (name == "lt") return {"<", length};
    if (name == "gt") return {">", length};
    if (name == "quot") return {"\"", length};
    if (!name.empty() && name[0] == '#') {
        // A character by number: the letters spam spells this way must still make words.
        static const std::string kAscii = [] {
            std::string table(128, ' ');
            for (int c = 32; c < 127; ++c) table[size_t(c)] = char(c);
            return table;
        }();
        long code = 0;
        bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
        for (char c : name.substr(hex ? 2 : 1)) {
            int digit = isDigit(c) ? c - '0' : hex && std::isxdigit(static_cast<unsigned char>(c)) ? 10 + lowerChar(c) - 'a' : -1;
            if (digit < 0 || code > 0x10FFFF) return {"&", 1};
            code = code * (hex ? 16 : 10) + digit;
        }
        if (code < 128) return {std::string_view(kAscii).substr(size_t(code), 1), length};
        return {" ", length};
    }
    return {" ", length};
}

/// HTML as its reader sees it: the text without tags and comments, into `text`; the tag names and
/// URLs go to `tokens`.
void readHtml(std::string_view html, std::string& text, TokenSet& tokens) {
    text.clear();
    text.reserve(html.size());
    size_t at = 0;
    while (at < html.size()) {
        char c = html[at];
        if (c == '<') {
            if (html.substr(at, 4) == "<!--") {
                size_t close = html.find("-->", at + 4);
                at = close == std::string_view::npos ? html.size() : close + 3;
                continue;
            }
            size_t close = html.find('>', at + 1);
            if (close == std::string_view::npos || close - at > 4096) {
                text.push_back(c);
                ++at;
                continue;
            }
            std::string_view tag = html.substr(at + 1, close - at - 1);
            size_t nameStart = tag.empty() || tag[0] != '/' ? 0 : 1;
            size_t nameEnd = nameStart;
            while (nameEnd < tag.size() && std::isalnum(static_cast<unsigned char>(tag[nameEnd]))) ++nameEnd;
            if (nameEnd > nameStart) {
                tokens.add("html:", lower(tag.substr(nameStart, nameEnd - nameStart)));
                if (nameStart == 0) addTagUrls(tag.substr(nameEnd), tokens);
            }
            text.push_back(' ');
            at = close + 1;
        } else if (c == '&') {
            auto [replacement, length] = entity(html, at);
            text.append(replacement);
            at += length;
        } else {
            text.push_back(c);
            ++at;
        }
    }
}

bool looksLikeHtml(std::string_view text) {
    std::string_view start = text.substr(0, 2048);
    for (std::string_view mark : {"<html", "<HTML", "<body", "<BODY", "<table", "<TABLE", "<font", "<FONT"})
        if (start.find(mark) != std::string_view::npos) return true;
    return false;
}

void readText(std::string_view decoded, bool html, TokenSet& tokens) {
    decoded = decoded.substr(0, MessageTokenizer::kMaxTextBytes);
    if (html || looksLikeHtml(decoded)) {
        std::string text;
        readHtml(decoded, text, tokens);
        MessageTokenizer::addWords(text, {}, tokens);
        addTextUrls(text, tokens);
        return;
    }
    MessageTokenizer::addWords(decoded, {}, tokens);
    addTextUrls(decoded, tokens);
}

/// The content type of a MIME part (lower case; "text/plain" when it gives none).
std::string partType(std::string_view text) {
    std::string type = "text/plain";
    forEachField(splitPart(text).header, [&](std::string_view name, std::string_view value) {
        if (lower(name) == "content-type") type = parseContentType(value).type;
    });
    return type;
}

/// The parts of a multipart body that are read. Of the alternatives of a multipart/alternative
/// with a plain-text part, the HTML ones are left out: they say the same as the plain text, and
/// their markup, shared by every HTML mail, would be counted once more for an ordinary message
/// whose mail program sends both.
std::vector<std::string_view> partsToRead(std::string_view body, const ContentType& content) {
    std::vector<std::string_view> parts = splitMultipart(body, content.boundary);
    if (content.type != "multipart/alternative") return parts;
    std::vector<std::string> types;
    types.reserve(parts.size());
    for (std::string_view child : parts) types.push_back(partType(child));
    if (std::find(types.begin(), types.end(), "text/plain") == types.end()) return parts;
    std::vector<std::string_view> kept;
    for (size_t i = 0; i < parts.size(); ++i)
        if (types[i] != "text/html") kept.push_back(parts[i]);
    return kept;
}

void readPart(std::string_view text, bool root, int depth, TokenSet& tokens) {
    Part part = splitPart(text);
    ContentType content;
    std::string encoding;
    forEachField(part.header, [&](std::string_view name, std::string_view value) {
        if (root) addField(name, value, tokens);
        std::string field = lower(name);
        if (field == "content-type") {
            content = parseContentType(value);
            tokens.add("content-type:", content.type);
            if (!content.charset.empty()) tokens.add("charset:", lower(content.charset));
            if (!content.name.empty()) addFileName(content.name, tokens);
        } else if (field == "content-transfer-encoding") {
            encoding = lower(trim(value));
            tokens.add("encoding:", encoding);
        } else if (field == "content-disposition") {
            std::string fileName = parameter(value, "filename");
            if (!fileName.empty()) addFileName(fileName, tokens);
        }
    });
    if (depth >= MessageTokenizer::kMaxDepth) return;
    if (content.type.rfind("multipart/", 0) == 0 && !content.boundary.empty()) {
        for (std::string_view child : partsToRead(part.body, content))
            readPart(child, false, depth + 1, tokens);
        return;
    }
    if (content.type == "message/rfc822") {
        readPart(part.body, false, depth + 1, tokens);
        return;
    }
    if (content.type.rfind("text/", 0) != 0) return;
    bool html = content.type == "text/html";
    if (encoding == "base64") {
        // Only as much of it as is read: base64 makes 3 bytes of 4.
        readText(decodeBase64(part.body.substr(0, MessageTokenizer::kMaxTextBytes / 3 * 4 + 4)), html, tokens);
    } else if (encoding == "quoted-printable") {
        readText(decodeQuotedPrintable(part.body.substr(0, MessageTokenizer::kMaxTextBytes * 3)), html, tokens);
    } else {
        readText(part.body, html, tokens);
    }
}

} // namespace

void MessageTokenizer::addWords(std::string_view text, std::string_view prefix, TokenSet& tokens) {
    forEachWord(text, [&](std::string_view word) { addWord(word, prefix, tokens); });
}

void MessageTokenizer::addUrl(std::string_view url, TokenSet& tokens) {
    std::string_view rest = url;
    size_t scheme = rest.find("://");
    if (scheme != std::string_view::npos && scheme <= 5) rest = rest.substr(scheme + 3);
    else if (rest.substr(0, 2) == "//") rest = rest.substr(2);
    size_t hostEnd = rest.find_first_of("/?#");
    std::string_view host = rest.substr(0, hostEnd);
    if (size_t at = host.rfind('@'); at != std::string_view::npos) host = host.substr(at + 1);
    host = host.substr(0, host.find(':'));
    if (!host.empty()) addHost("url:", host, tokens);
    if (hostEnd != std::string_view::npos) addWords(rest.substr(hostEnd), "url:", tokens);
}

void MessageTokenizer::tokenize(std::string_view source, TokenSet& tokens) {
    tokens.clear();
    source = source.substr(0, source.find('\0'));
    readPart(source, true, 0, tokens);
}

} // namespace corvanthelix::chisquare
