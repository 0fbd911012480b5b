#include "upstream/MailMessage.h"

#include "base/AtomicFile.h"
#include "base/UniqueFd.h"
#include "base/TextUtils.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace corvanthelix {

namespace {

constexpr size_t kMaxNameLength = 254;
constexpr size_t kMaxValueLength = 1023;
constexpr size_t kMaxDepth = 64; // multipart nesting that is still split

inline char foldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool equalsNoCase(const char* a, size_t aLength, const char* b, size_t bLength) {
    if (aLength != bLength) return false;
    for (size_t i = 0; i < aLength; ++i)
        if (foldAscii(a[i]) != foldAscii(b[i])) return false;
    return true;
}

bool equalsNoCase(const char* a, const char* b) {
    return equalsNoCase(a, std::strlen(a), b, std::strlen(b));
}

bool startsWithNoCase(const char* text, size_t length, const char* prefix, size_t prefixLength) {
    return length >= prefixLength && equalsNoCase(text, prefixLength, prefix, prefixLength);
}

bool containsNoCase(const char* text, const char* word) {
    return findText(text, word, false) >= 0;
}

inline bool isBlank(char c) { return c == ' ' || c == '\t'; }

/// Owns the records and strings of one parsed message; everything is freed at once.
class Arena {
public:
    void* allocate(size_t size, size_t align) {
        size_t pad = (align - reinterpret_cast<uintptr_t>(cursor_) % align) % align;
        if (cursor_ == nullptr || pad + size > left_) {
            size_t blockSize = std::max<size_t>(kBlockSize, size + align);
            blocks_.push_back(std::make_unique_for_overwrite<char[]>(blockSize));
            cursor_ = blocks_.back().get();
            left_ = blockSize;
            pad = (align - reinterpret_cast<uintptr_t>(cursor_) % align) % align;
        }
        char* result = cursor_ + pad;
        cursor_ = result + size;
        left_ -= pad + size;
        return result;
    }

    template <typename Record> Record* make() {
        return new (allocate(sizeof(Record), alignof(Record))) Record{};
    }

    /// A NUL-terminated copy of text[0..length).
    char* copy(const char* text, size_t length) {
        char* result = static_cast<char*>(allocate(length + 1, 1));
        std::memcpy(result, text, length);
        result[length] = '\0';
        return result;
    }

private:
    static constexpr size_t kBlockSize = 8192;
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* cursor_ = nullptr;
    size_t left_ = 0;
};

uint16_t headerKind(const char* name, size_t length) {
    static constexpr struct {
        const char* name;
        uint16_t kind;
    } kKinds[] = {
        {"To", CVX_HEADER_TO},           {"From", CVX_HEADER_FROM}, {"Content-Type", CVX_HEADER_CONTENT_TYPE},
        {"BCC", CVX_HEADER_BCC},         {"CC", CVX_HEADER_CC},     {"Subject", CVX_HEADER_SUBJECT},
        {"Date", CVX_HEADER_DATE},
    };
    for (const auto& entry : kKinds)
        if (equalsNoCase(name, length, entry.name, std::strlen(entry.name))) return entry.kind;
    return CVX_HEADER_OTHER;
}

/// Trims spaces and TABs from both ends of text[0..length); returns the new start and length.
void trimBlanks(const char*& text, size_t& length) {
    while (length > 0 && isBlank(*text)) ++text, --length;
    while (length > 0 && isBlank(text[length - 1])) --length;
}

/// End of the line starting at `line`: its LF, or `end`.
inline char* lineEnd(char* line, char* end) {
    char* lf = static_cast<char*>(std::memchr(line, '\n', end - line));
    return lf ? lf : end;
}

/// Length of the line [line, lf) without the CR of a CR LF.
inline size_t contentLength(const char* line, const char* lf) {
    size_t length = lf - line;
    if (length > 0 && line[length - 1] == '\r') --length;
    return length;
}

/// Parses the buffer into parts. A part's header ends at its empty line; a multipart part's body
/// is split at the boundary lines of the open multipart parts on the path from the root down to
/// the part being read, so that nested multiparts are found wherever they sit in the tree.
class Parser {
public:
    Parser(Arena& arena, char* buffer, size_t size) : arena_(arena), begin_(buffer), end_(buffer + size) {}

    MessagePart* run() {
        MessagePart* root = arena_.make<MessagePart>();
        root->root = root;
        root->text = begin_;
        path_.push_back({root, begin_, nullptr, 0, false});
        char* scanFrom = readHeader(root, begin_);
        setBoundary(path_.back());
        scan(scanFrom);
        for (Open& open : path_) open.part->textLength = end_ - open.start;
        return root;
    }

private:
    struct Open {
        MessagePart* part;
        char* start;            // where the part's text starts in the buffer
        MessagePart* lastChild; // children are appended here
        size_t boundaryLength;  // 0: no boundary
        bool closed;            // its closing boundary was seen; what follows is epilogue
    };

    struct Match {
        size_t index; // position of the matched part on the path
        bool closing;
    };

    /// Compares a line starting with "--" with the boundaries of the open multiparts on the path,
    /// from the root down. A boundary followed by "--" or by blanks up to the line end matches
    /// first; failing that, the first boundary that is a prefix of the line.
    std::optional<Match> matchBoundary(const char* line, const char* lf) const {
        const char* name = line + 2;
        size_t length = lf - name;
        std::optional<Match> prefixMatch;
        for (size_t i = 0; i < path_.size(); ++i) {
            const Open& open = path_[i];
            if (open.boundaryLength == 0 || open.closed) continue;
            if (!startsWithNoCase(name, length, open.part->boundary, open.boundaryLength)) continue;
            const char* rest = name + open.boundaryLength;
            bool closing = lf - rest >= 2 && rest[0] == '-' && rest[1] == '-';
            if (closing) return Match{i, true};
            const char* r = rest;
            while (r < lf && (isBlank(*r) || *r == '\r')) ++r;
            if (r == lf) return Match{i, false};
            if (!prefixMatch) prefixMatch = Match{i, false};
        }
        return prefixMatch;
    }

    /// Reads the header lines of `part` from `text`, sets its body and returns the position from
    /// which the body scan looks for the next line end (the LF in front of the first body line).
    char* readHeader(MessagePart* part, char* text) {
        HeaderField** tail = &part->headers;
        char* line = text;
        while (line < end_) {
            char* lf = lineEnd(line, end_);
            size_t length = contentLength(line, lf);
            if (length == 0 && lf < end_) {
                // The empty line that ends the header: the body starts with its line end.
                part->body = line;
                return line;
            }
            if (line[0] == '-' && line[1] == '-' && line != begin_ && matchBoundary(line, lf)) {
                // A boundary line before any empty line: the part has no body.
                if (line == text) {
                    part->text = part->body = arena_.copy("", 0);
                } else {
                    part->body = line - 2 >= text && line[-2] == '\r' ? line - 2 : line - 1;
                }
                return line - 1;
            }
            unfolded_.clear();
            uint32_t folding[CVX_FOLDING_LINES] = {static_cast<uint32_t>(length)};
            int foldingCount = 1;
            char* next = lf < end_ ? lf + 1 : end_;
            while (next < end_ && isBlank(*next)) {
                if (unfolded_.empty()) unfolded_.assign(line, length);
                char* nextLf = lineEnd(next, end_);
                size_t nextLength = contentLength(next, nextLf);
                unfolded_.push_back(' ');
                unfolded_.append(next + 1, nextLength - 1);
                if (foldingCount < CVX_FOLDING_LINES) folding[foldingCount++] = static_cast<uint32_t>(nextLength - 1);
                next = nextLf < end_ ? nextLf + 1 : end_;
            }
            HeaderField* header = unfolded_.empty() ? makeHeader(line, length)
                                                    : makeHeader(unfolded_.data(), unfolded_.size());
            if (header) {
                std::memcpy(header->folding, folding, sizeof folding);
                *tail = header;
                tail = &header->next;
            }
            line = next;
        }
        part->body = end_;
        return end_;
    }

    /// A header record from one unfolded line, or null when the line has no ":".
    HeaderField* makeHeader(const char* line, size_t length) {
        const char* colon = static_cast<const char*>(std::memchr(line, ':', length));
        if (!colon) return nullptr;
        const char* name = line;
        size_t nameLength = std::min<size_t>(colon - line, kMaxNameLength);
        trimBlanks(name, nameLength);
        const char* raw = colon + 1;
        size_t rawLength = std::min<size_t>(line + length - raw, kMaxValueLength);
        const char* value = raw;
        size_t valueLength = rawLength;
        trimBlanks(value, valueLength);
        if (valueLength == 0 && rawLength > 0) {
            // A value of blanks only is kept as it was, less the space after the colon.
            value = raw[0] == ' ' ? raw + 1 : raw;
            valueLength = raw[0] == ' ' ? rawLength - 1 : rawLength;
        }
        HeaderField* header = arena_.make<HeaderField>();
        header->name = arena_.copy(name, nameLength);
        header->value = arena_.copy(value, valueLength);
        header->kind = headerKind(name, nameLength);
        return header;
    }

    /// Takes the boundary from a multipart Content-Type of the part.
    void setBoundary(Open& open) {
        const char* type = MailMessage::headerByKind(open.part, CVX_HEADER_CONTENT_TYPE);
        if (!type || !containsNoCase(type, "multipart")) return;
        long at = findText(type, "boundary", false);
        if (at < 0) return;
        const char* start = type + at + std::strlen("boundary");
        if (const char* equals = std::strchr(start, '=')) start = equals + 1;
        const char* stop = std::strchr(start, ';');
        size_t length = stop ? static_cast<size_t>(stop - start) : std::strlen(start);
        trimBlanks(start, length);
        if (length >= 2 && start[0] == '"' && start[length - 1] == '"') ++start, length -= 2;
        // An empty boundary would split the body at every line that starts with "--".
        if (length == 0) return;
        open.part->boundary = arena_.copy(start, length);
        open.boundaryLength = length;
    }

    /// Walks the body lines from the line end at or after `from` to the end of the buffer.
    void scan(char* from) {
        char* lf = from;
        while (lf < end_) {
            lf = static_cast<char*>(std::memchr(lf, '\n', end_ - lf));
            if (!lf) return;
            char* line = lf + 1;
            if (end_ - line < 2 || line[0] != '-' || line[1] != '-') {
                lf = line;
                continue;
            }
            char* lineLf = lineEnd(line, end_);
            std::optional<Match> match = matchBoundary(line, lineLf);
            if (!match) {
                lf = line;
                continue;
            }
            char* terminator = (lf > begin_ && lf[-1] == '\r') ? lf - 1 : lf;
            *terminator = '\0';
            for (size_t i = match->index + 1; i < path_.size(); ++i)
                path_[i].part->textLength = std::max(terminator, path_[i].start) - path_[i].start;
            path_.resize(match->index + 1);
            if (match->closing) {
                path_.back().closed = true;
                lf = lineLf;
                continue;
            }
            lf = openChild(lineLf < end_ ? lineLf + 1 : end_);
        }
    }

    /// Appends a new child, whose text starts at `text`, to the innermost part on the path; reads
    /// its header and returns where the scan goes on.
    char* openChild(char* text) {
        Open& parent = path_.back();
        MessagePart* child = arena_.make<MessagePart>();
        child->root = parent.part->root;
        child->text = text;
        if (parent.lastChild) parent.lastChild->next = child;
        else parent.part->firstChild = child;
        parent.lastChild = child;
        path_.push_back({child, text, nullptr, 0, false});
        char* scanFrom = readHeader(child, text);
        // Deeper multiparts stay whole: the nesting of real mail is shallow, and a limit keeps
        // hostile input from making every "--" line cost more and more.
        if (path_.size() <= kMaxDepth) setBoundary(path_.back());
        return scanFrom;
    }

    Arena& arena_;
    char* begin_;
    char* end_;
    std::vector<Open> path_;
    std::string unfolded_;
};

/// Replaces NUL bytes by spaces.
void replaceNuls(char* text, size_t length) {
    char* end = text + length;
    while (char* nul = static_cast<char*>(std::memchr(text, '\0', end - text))) {
        *nul = ' ';
        text = nul + 1;
    }
}

/// Removes every tag from text[0..length) in place, "<br>" becoming CR LF, then turns "&nbsp;"
/// into a space. Returns the new length.
size_t stripHtml(char* text, size_t length) {
    char* read = text;
    char* end = text + length;
    char* write = text;
    while (read < end) {
        char* open = static_cast<char*>(std::memchr(read, '<', end - read));
        char* close = open ? static_cast<char*>(std::memchr(open, '>', end - open)) : nullptr;
        if (!close) {
            // A "<" without a later ">" ends the removal; the rest stays as it is.
            std::memmove(write, read, end - read);
            write += end - read;
            break;
        }
        std::memmove(write, read, open - read);
        write += open - read;
        if (close - open == 3 && startsWithNoCase(open, 4, "<br>", 4)) {
            *write++ = '\r';
            *write++ = '\n';
        }
        read = close + 1;
    }
    end = write;
    read = write = text;
    while (read < end) {
        char* amp = static_cast<char*>(std::memchr(read, '&', end - read));
        if (!amp) amp = end;
        std::memmove(write, read, amp - read);
        write += amp - read;
        if (amp == end) break;
        if (startsWithNoCase(amp, end - amp, "&nbsp;", 6)) {
            *write++ = ' ';
            read = amp + 6;
        } else {
            *write++ = '&';
            read = amp + 1;
        }
    }
    return write - text;
}

void appendPartText(const MessagePart* part, bool strip, std::string& out) {
    const char* type = MailMessage::headerByKind(part, CVX_HEADER_CONTENT_TYPE);
    if ((!type || containsNoCase(type, "text/")) && part->body) {
        size_t bodyLength = std::strlen(part->body);
        size_t start = out.size();
        const char* encoding = MailMessage::headerByName(part, "Content-Transfer-Encoding");
        bool base64 = encoding && equalsNoCase(encoding, "base64");
        bool quotedPrintable = encoding && equalsNoCase(encoding, "quoted-printable");
        if (base64 || quotedPrintable) {
            out.resize(start + bodyLength + 1);
            size_t decoded = base64 ? base64Decode(part->body, bodyLength, &out[start], bodyLength + 1)
                                    : QuotedPrintableDecode(part->body, bodyLength, &out[start], bodyLength + 1);
            out.resize(start + decoded);
            replaceNuls(&out[start], decoded);
        } else {
            out.append(part->body, bodyLength);
        }
        if (strip && type && containsNoCase(type, "text/html"))
            out.resize(start + stripHtml(&out[start], out.size() - start));
    }
    for (const MessagePart* child = part->firstChild; child; child = child->next)
        appendPartText(child, strip, out);
}

int epochDayNumber() {
    static const int epoch = dayNumber(1970, 1, 1);
    return epoch;
}

long long floorDiv(long long a, long long b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

long long secondsSinceEpoch(const MessageDate& date) {
    return (static_cast<long long>(dayNumber(date.year, date.month, date.day)) - epochDayNumber()) * 86400LL +
           date.hour * 3600LL + date.minute * 60LL + date.second;
}

MessageDate dateFromSeconds(long long seconds) {
    long long days = floorDiv(seconds, 86400);
    long long rest = seconds - days * 86400;
    MessageDate date;
    dateFromDayNumber(static_cast<int>(days + epochDayNumber()), date.year, date.month, date.day);
    date.hour = static_cast<int>(rest / 3600);
    date.minute = static_cast<int>(rest / 60 % 60);
    date.second = static_cast<int>(rest % 60);
    return date;
}

/// Reads a decimal number of 1 to `maxDigits` digits that fills text exactly.
std::optional<int> readNumber(std::string_view text, size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

/// The next token of `text` up to one of `stops` (or the end); `text` moves past the token and
/// the stop character.
std::string_view takeToken(std::string_view& text, std::string_view stops) {
    size_t at = text.find_first_of(stops);
    std::string_view token = text.substr(0, at);
    text.remove_prefix(at == std::string_view::npos ? text.size() : at + 1);
    return token;
}

void skipChars(std::string_view& text, std::string_view set) {
    size_t at = text.find_first_not_of(set);
    text.remove_prefix(at == std::string_view::npos ? text.size() : at);
}

/// Hours to add to reach UTC for a named zone; 0 for names that are not known.
int namedZoneHours(std::string_view name) {
    static constexpr struct {
        const char* name;
        int hours;
    } kZones[] = {{"EST", 5}, {"EDT", 4}, {"CST", 6}, {"CDT", 5}, {"MST", 7}, {"MDT", 6}, {"PST", 8},
                  {"PDT", 7}, {"A", 1},   {"M", 12},  {"N", -1},  {"Y", -12}};
    for (const auto& zone : kZones)
        if (equalsNoCase(name.data(), name.size(), zone.name, std::strlen(zone.name))) return zone.hours;
    return 0;
}

} // namespace

struct MailMessage::Model {
    Arena arena;
    std::unique_ptr<char[]> buffer;
    MessagePart* root = nullptr;
};

MailMessage::MailMessage() = default;
MailMessage::~MailMessage() = default;
MailMessage::MailMessage(MailMessage&&) noexcept = default;
MailMessage& MailMessage::operator=(MailMessage&&) noexcept = default;

MessagePart* MailMessage::root() const { return model_ ? model_->root : nullptr; }

void MailMessage::clear() {
    model_.reset();
    source_.clear();
    topLines_ = -1;
}

void MailMessage::parseBuffer() {
    model_.reset();
    if (source_.empty()) return;
    auto model = std::make_unique<Model>();
    model->buffer = std::make_unique_for_overwrite<char[]>(source_.size() + 1);
    std::memcpy(model->buffer.get(), source_.data(), source_.size());
    // The parts and headers are NUL-terminated texts: a NUL byte of the message must not end one
    // early, so the parse buffer has spaces there. The source keeps the message as it came.
    replaceNuls(model->buffer.get(), source_.size());
    model->buffer[source_.size()] = '\0';
    model->root = Parser(model->arena, model->buffer.get(), source_.size()).run();
    model_ = std::move(model);
}

void MailMessage::parse(std::string_view source) {
    source_.assign(source.data(), source.size());
    topLines_ = -1;
    parseBuffer();
}

int MailMessage::loadFile(const std::string& path) {
    clear();
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid()) return 1;
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return 1;
    std::string text;
    text.resize(static_cast<size_t>(info.st_size));
    size_t filled = 0;
    for (;;) {
        // The file's size is the usual end; only a file that grew meanwhile needs more room, so
        // a loaded text takes no more memory than it needs.
        char probe[4096];
        const bool full = filled == text.size();
        ssize_t got = full ? ::read(file.get(), probe, sizeof probe)
                           : ::read(file.get(), text.data() + filled, text.size() - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return 1;
        if (got == 0) break;
        if (full) text.append(probe, static_cast<size_t>(got));
        filled += static_cast<size_t>(got);
    }
    text.resize(filled);
    source_ = std::move(text);
    topLines_ = -1;
    parseBuffer();
    return 0;
}

void MailMessage::parseTop(std::string_view text, int maxLines) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    const char* line = begin;
    // The header lines, up to the empty line that ends them.
    while (line < end) {
        const char* lf = static_cast<const char*>(std::memchr(line, '\n', end - line));
        const char* next = lf ? lf + 1 : end;
        if (lf && contentLength(line, lf) == 0) break;
        line = next;
    }
    int kept = 0;
    int limit = std::max(maxLines, 0) + 1;
    while (line < end && kept < limit) {
        const char* lf = static_cast<const char*>(std::memchr(line, '\n', end - line));
        line = lf ? lf + 1 : end;
        ++kept;
    }
    source_.assign(begin, line - begin);
    parseBuffer();
    topLines_ = kept;
}

void MailMessage::copy(const MailMessage& other) {
    if (&other == this) return;
    parse(other.source());
    topLines_ = other.topLines_;
}

const char* MailMessage::headerByName(const MessagePart* part, const char* name) {
    if (!part || !name) return nullptr;
    size_t length = std::strlen(name);
    for (const HeaderField* header = part->headers; header; header = header->next)
        if (equalsNoCase(header->name, std::strlen(header->name), name, length)) return header->value;
    return nullptr;
}

const char* MailMessage::headerByKind(const MessagePart* part, unsigned flags) {
    if (!part) return nullptr;
    for (const HeaderField* header = part->headers; header; header = header->next)
        if ((header->kind & flags) == flags) return header->value;
    return nullptr;
}

std::optional<std::string> MailMessage::bodyText(bool stripHtml) const {
    const MessagePart* top = root();
    if (!top || source_.empty()) return std::nullopt;
    std::string text;
    text.reserve(source_.size());
    appendPartText(top, stripHtml, text);
    return text;
}

int MailMessage::saveFile(const std::string& path) const {
    if (!root()) return -1;
    return replaceFileAtomically(path, source_) ? 0 : -1;
}

std::optional<MessageDate> parseMailDateUtc(std::string_view text) {
    skipChars(text, " \t,");
    static constexpr const char* kWeekdays[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
    for (const char* weekday : kWeekdays)
        if (startsWithNoCase(text.data(), text.size(), weekday, 3)) {
            text.remove_prefix(3);
            break;
        }
    skipChars(text, " \t,");

    MessageDate date;
    std::optional<int> day = readNumber(takeToken(text, " "), 5);
    skipChars(text, " ");
    std::string_view monthName = takeToken(text, " ");
    skipChars(text, " ");
    std::optional<int> year = readNumber(takeToken(text, " "), 5);
    skipChars(text, " ");
    if (!day || !year || monthName.size() < 3 || monthName.size() > 5) return std::nullopt;
    static constexpr const char* kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                              "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    for (int i = 0; i < 12; ++i)
        if (startsWithNoCase(monthName.data(), monthName.size(), kMonths[i], 3)) date.month = i + 1;
    if (date.month == 0) return std::nullopt;
    date.day = *day;
    // Two-digit years: 00-49 are 2000-2049, 50-99 are 1950-1999; three digits count from 1900.
    date.year = *year < 50 ? 2000 + *year : *year < 1000 ? 1900 + *year : *year;

    std::optional<int> hour = readNumber(takeToken(text, ":"), 2);
    size_t minuteEnd = text.find_first_of(": ");
    bool hasSeconds = minuteEnd != std::string_view::npos && text[minuteEnd] == ':';
    std::optional<int> minute = readNumber(takeToken(text, ": "), 2);
    std::optional<int> second = hasSeconds ? readNumber(takeToken(text, " "), 2) : std::optional<int>(0);
    if (!hour || !minute || !second) return std::nullopt;
    date.hour = *hour;
    date.minute = *minute;
    date.second = *second;
    skipChars(text, " \t");

    bool pm = startsWithNoCase(text.data(), text.size(), "PM", 2);
    bool am = startsWithNoCase(text.data(), text.size(), "AM", 2);
    if ((pm || am) && (text.size() == 2 || isBlank(text[2]))) {
        if (date.hour < 1 || date.hour > 12) return std::nullopt;
        if (pm && date.hour < 12) date.hour += 12;
        if (am && date.hour == 12) date.hour = 0;
        text.remove_prefix(2);
        skipChars(text, " \t");
    }
    if (date.day < 1 || date.day > 31 || date.hour > 23 || date.minute > 59 || date.second > 60)
        return std::nullopt;

    long long offsetSeconds = 0; // added to reach UTC
    if (text.size() >= 5 && (text[0] == '+' || text[0] == '-')) {
        std::optional<int> hhmm = readNumber(text.substr(1, 4), 4);
        if (hhmm && *hhmm / 100 <= 23 && *hhmm % 100 <= 59) {
            offsetSeconds = (*hhmm / 100) * 3600LL + (*hhmm % 100) * 60LL;
            if (text[0] == '+') offsetSeconds = -offsetSeconds;
        }
    } else {
        size_t nameEnd = 0;
        while (nameEnd < text.size() && ((text[nameEnd] | 0x20) >= 'a' && (text[nameEnd] | 0x20) <= 'z')) ++nameEnd;
        offsetSeconds = namedZoneHours(text.substr(0, nameEnd)) * 3600LL;
    }
    return dateFromSeconds(secondsSinceEpoch(date) + offsetSeconds);
}

MessageDate utcToLocal(const MessageDate& utc) {
    std::time_t instant = static_cast<std::time_t>(secondsSinceEpoch(utc));
    std::tm local{};
    if (!::localtime_r(&instant, &local)) return utc;
    return MessageDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                       local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::optional<MessageDate> MailMessage::dateUtc() const {
    const MessagePart* top = root();
    if (!top) return std::nullopt;
    for (const HeaderField* header = top->headers; header; header = header->next) {
        if (!equalsNoCase(header->name, "Received")) continue;
        const char* semicolon = std::strchr(header->value, ';');
        if (!semicolon) continue;
        std::string_view rest(semicolon + 1);
        skipChars(rest, " \t;");
        if (std::optional<MessageDate> date = parseMailDateUtc(rest)) return date;
        break;
    }
    // A Received line without a readable date falls back to the sender's Date header.
    if (const char* date = headerByKind(top, CVX_HEADER_DATE)) return parseMailDateUtc(date);
    return std::nullopt;
}

std::optional<MessageDate> MailMessage::date() const {
    std::optional<MessageDate> utc = dateUtc();
    if (!utc) return std::nullopt;
    return utcToLocal(*utc);
}

} // namespace corvanthelix
