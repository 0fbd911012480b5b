#pragma once
#include "stores/XmlElement.h"

#include <string>
#include <string_view>

namespace corvanthelix {

/// The XML dialect of the program's index files (host list, recycle bin index, training area
/// index): one root element whose children are empty elements carrying attributes.
///
/// It is not a general XML reader. It reads exactly what its own writer produces and tolerates
/// little else; nothing is escaped or converted on either side (bytes, declared as ISO-8859-1), so
/// the stores keep free text Q-encoded. Stored files rely on its quirks: new children and
/// attributes are written first, a reload reverses their order, and the last "<" of a file is taken
/// as the root's closing tag, so a file cut short loads as a document without elements.
///
/// Not thread-safe: each document belongs to one store, which holds its own lock.
class XmlDocument {
public:
    /// The first line of every written file (44 bytes with its line feed).
    static constexpr std::string_view kHeader = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n";

    XmlDocument() = default;
    ~XmlDocument();
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    /// Clears the document, then reads the file at `path`. Returns false, leaving the document
    /// empty and not loaded, when the file cannot be opened or read or its buffer cannot be
    /// allocated. Otherwise returns true and marks the document loaded, even when nothing usable
    /// was found in the file.
    bool load(const std::string& path);

    /// Parses `text` as Load parses a file's bytes (text ends at its first NUL byte). Always
    /// succeeds and marks the document loaded; returns true.
    bool parse(std::string_view text);

    /// Writes the document to `path`, replacing the file atomically (a temporary file in the same
    /// folder, flushed to disk, then renamed over it; a new file is 0600). Returns false when the
    /// document is not loaded or the file cannot be created or written completely; the old file
    /// then stays as it was.
    bool save(const std::string& path) const;

    /// The exact bytes Save writes: the header, then for the root an open-tag line, one line per
    /// child and a close-tag line (other top-level elements are not written: they could not be
    /// read back). "" when the document is not loaded.
    std::string toText() const;

    /// Adds a top-level element named `name` at the front of the list and marks the document
    /// loaded. Returns the element; owned by the document.
    XmlElement* createRoot(std::string_view name);

    /// Frees all elements and clears the loaded flag; does nothing when not loaded.
    void clear();

    /// True after a successful Load or Parse or after CreateRoot, until Clear.
    bool isLoaded() const { return loaded_; }

    /// The first top-level element (the root; the stores look at no other), or null. Owned by the
    /// document; further top-level elements follow through `Next()`.
    XmlElement* root() const { return first_; }

private:
    XmlElement* first_ = nullptr;
    bool loaded_ = false;
};

} // namespace corvanthelix
