#pragma once
#include "stores/XmlAttribute.h"

#include <optional>
#include <string>
#include <string_view>

namespace corvanthelix {

/// An element of an `XmlDocument`: a name, a doubly linked list of attributes and a doubly linked
/// list of child elements, both owned. Files in use have two levels: top-level elements (the
/// root) and their children, which carry attributes but no children of their own.
///
/// New children and new attributes go to the FRONT of their lists and lists are written front to
/// back, so the newest entry is written first and a file loaded and written again comes out with
/// its children and attributes in reverse order. No store depends on that order.
///
/// Names are compared as exact, case-sensitive bytes. Not thread-safe: the document's owner
/// serialises access.
class XmlElement {
public:
    /// A detached element named `name`, without attributes or children.
    explicit XmlElement(std::string_view name);
    /// Frees the attributes and, recursively, all children.
    ~XmlElement();
    XmlElement(const XmlElement&) = delete;
    XmlElement& operator=(const XmlElement&) = delete;

    const std::string& name() const { return name_; }

    /// Adds a child named `name` at the front of the child list. Returns it; owned by this element.
    XmlElement* addChild(std::string_view name);

    /// Replaces the value of the attribute named exactly `name`, keeping its place in the list, or
    /// inserts a new attribute at the front when there is none. An empty name stands for
    /// "unknown". Returns the attribute; owned by this element.
    XmlAttribute* setAttribute(std::string_view name, std::string_view value);

    /// The first attribute (in list order) whose name equals `name`, or null. A null name gives null.
    XmlAttribute* findAttribute(const char* name) const;
    XmlAttribute* findAttribute(std::string_view name) const;

    /// A copy of the value that FindAttribute finds, or nothing when there is no such attribute.
    std::optional<std::string> copyAttributeValue(std::string_view name) const;

    /// Unlinks and frees `attribute`. Null, or an attribute of another element, is ignored.
    void removeAttribute(XmlAttribute* attribute);
    /// Unlinks and frees `child` with everything below it. Null, or an element that is not a
    /// child of this one, is ignored.
    void removeChild(XmlElement* child);

    /// Heads of the lists for iteration front to back (null when empty). Fetch `Next()` before
    /// removing the current entry.
    XmlElement* firstChild() const { return firstChild_; }
    XmlAttribute* firstAttribute() const { return firstAttribute_; }

    /// Siblings in the list this element belongs to (children of the parent, or the document's
    /// top-level list), or null at the end.
    XmlElement* Next() const { return next_; }
    XmlElement* previous() const { return previous_; }
    /// The element this one is a child of; null for a top-level or detached element.
    XmlElement* parent() const { return parent_; }

private:
    friend class XmlDocument;

    /// Puts `element` at the front of the list starting at `head`.
    static void linkFront(XmlElement*& head, XmlElement* element);
    /// Takes `element` out of the list starting at `head` (it must be a member).
    static void unlink(XmlElement*& head, XmlElement* element);
    /// Frees every element of the list starting at `head` and sets `head` to null.
    static void freeList(XmlElement*& head);

    std::string name_;
    XmlAttribute* firstAttribute_ = nullptr;
    XmlElement* firstChild_ = nullptr;
    XmlElement* parent_ = nullptr;
    XmlElement* next_ = nullptr;
    XmlElement* previous_ = nullptr;
};

} // namespace corvanthelix
