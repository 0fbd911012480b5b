#include "stores/XmlDocument.h"

#include "base/AtomicFile.h"

#include <new>

namespace corvanthelix {

namespace {

constexpr size_t npos = std::string_view::npos;

std::string_view trimSpacesAndTabs(std::string_view text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == npos) return {};
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

std::string_view stripQuotes(std::string_view text) {
    size_t begin = text.find_first_not_of('"');
    if (begin == npos) return {};
    size_t end = text.find_last_not_of('"');
    return text.substr(begin, end - begin + 1);
}

// The attribute text of a child tag: name=value pairs. A value may be quoted (and then hold
// spaces); spaces around "=" are allowed; every double quote at either end of a value is dropped,
// so a value can never hold one. Scanning is bounded by the tag: a final "=" reads as "".
void parseAttributes(XmlElement& element, std::string_view text) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t equals = text.find('=', pos);
        if (equals == npos) {
            // A trailing name without "=" keeps its place as an attribute without a value.
            std::string_view name = trimSpacesAndTabs(text.substr(pos));
            if (!name.empty()) element.setAttribute(name, "");
            return;
        }
        std::string_view name = trimSpacesAndTabs(text.substr(pos, equals - pos));
        size_t i = equals + 1;
        while (i < text.size() && text[i] == ' ') ++i;
        size_t valueStart = i;
        bool quoted = false;
        for (; i < text.size(); ++i) {
            if (text[i] == '"') quoted = !quoted;
            else if (text[i] == ' ' && !quoted) break;
        }
        std::string_view value = stripQuotes(trimSpacesAndTabs(text.substr(valueStart, i - valueStart)));
        element.setAttribute(name, value);
        pos = i;
    }
}

// `tag` is the text between "<" and the "/" of "/>".
void ParseChildTag(XmlElement& parent, std::string_view tag) {
    tag = trimSpacesAndTabs(tag);
    size_t space = tag.find(' ');
    XmlElement* child = parent.addChild(tag.substr(0, space));
    if (space != npos) parseAttributes(*child, trimSpacesAndTabs(tag.substr(space + 1)));
}

// Collects every self-closing tag of `content` as a child of `element`; any other tag and all text
// between tags is skipped, so nesting is flattened to one level.
void ParseContent(XmlElement& element, std::string_view content) {
    size_t pos = 0;
    for (;;) {
        size_t open = content.find('<', pos);
        if (open == npos) return;
        size_t close = content.find('>', open + 1);
        if (close == npos) return;
        if (content[close - 1] == '/' && close - 1 > open)
            ParseChildTag(element, content.substr(open + 1, close - 1 - (open + 1)));
        pos = close + 1;
    }
}

void AppendElement(std::string& out, const XmlElement& element) {
    out += '<';
    out += element.name();
    out += ">\n";
    for (const XmlElement* child = element.firstChild(); child; child = child->Next()) {
        // A child's own children have no place in the dialect (the reader flattens them) and are
        // not written.
        out += '<';
        out += child->name();
        for (const XmlAttribute* a = child->firstAttribute(); a; a = a->Next()) {
            out += ' ';
            out += a->name();
            out += "=\"";
            out += a->value();
            out += '"';
        }
        out += "/>\n";
    }
    out += "</";
    out += element.name();
    out += ">\n";
}

} // namespace

XmlDocument::~XmlDocument() {
    XmlElement::freeList(first_);
}

bool XmlDocument::load(const std::string& path) {
    clear();
    std::string buffer;
    try {
        if (!readWholeFile(path, buffer)) return false; // missing, unreadable, or a folder
    } catch (const std::bad_alloc&) {
        return false;
    }
    return parse(buffer);
}

bool XmlDocument::parse(std::string_view text) {
    clear();
    // The file is scanned as one NUL-terminated text.
    text = text.substr(0, text.find('\0'));
    size_t pos = 0;
    for (;;) {
        size_t open = text.find('<', pos);
        if (open == npos) break;
        if (open + 1 < text.size() && text[open + 1] == '?') {
            pos = open + 1;
            continue;
        }
        size_t close = text.find('>', open + 1);
        if (close == npos) break;
        if (text[close - 1] == '/' && close - 1 > open) {
            // A self-closing top-level tag: its whole text, attributes included, is the name.
            XmlElement::linkFront(first_, new XmlElement(text.substr(open + 1, close - 1 - (open + 1))));
            pos = close + 1;
            continue;
        }
        std::string_view startTag = trimSpacesAndTabs(text.substr(open + 1, close - open - 1));
        std::string_view name = startTag.substr(0, startTag.find(' '));

        // The root's closing tag is taken to be the last "<" of the file.
        size_t lastOpen = text.rfind('<');
        if (lastOpen == npos || lastOpen <= close) break;
        if (lastOpen + 1 >= text.size() || text[lastOpen + 1] != '/') break;
        size_t nameStart = lastOpen + 2;
        size_t nameEnd = text.find_first_of("> ", nameStart);
        if (nameEnd == npos) nameEnd = text.size();
        // A closing tag that names another element ends the scan: nothing after it can be read
        // as this element's content, and staying would never advance.
        if (text.substr(nameStart, nameEnd - nameStart) != name) break;

        auto* element = new XmlElement(name);
        XmlElement::linkFront(first_, element);
        ParseContent(*element, text.substr(close + 1, lastOpen - close - 1));
        pos = nameEnd;
    }
    loaded_ = true;
    return true;
}

std::string XmlDocument::toText() const {
    if (!loaded_) return {};
    std::string out(kHeader);
    // Only the root: the reader takes the file's last "<" as the root's closing tag, so a second
    // top-level element (a stray self-closing tag read before the root) written after it would make
    // the whole file read back empty.
    if (first_) AppendElement(out, *first_);
    return out;
}

bool XmlDocument::save(const std::string& path) const {
    if (!loaded_) return false;
    return replaceFileAtomically(path, toText());
}

XmlElement* XmlDocument::createRoot(std::string_view name) {
    auto* root = new XmlElement(name);
    XmlElement::linkFront(first_, root);
    loaded_ = true;
    return root;
}

void XmlDocument::clear() {
    if (!loaded_) return;
    XmlElement::freeList(first_);
    loaded_ = false;
}

} // namespace corvanthelix
