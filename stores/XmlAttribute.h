#pragma once
#include <string>
#include <string_view>

namespace corvanthelix {

class XmlElement;

/// One name="value" pair of an `XmlElement`. It is owned by its element and lives in the element's
/// doubly linked attribute list; it is created and destroyed only through the element
/// (`XmlElement::setAttribute`, `XmlElement::removeAttribute`).
class XmlAttribute {
public:
    XmlAttribute(const XmlAttribute&) = delete;
    XmlAttribute& operator=(const XmlAttribute&) = delete;

    /// The name; never empty (an attribute made without a name is called "unknown").
    const std::string& name() const { return name_; }
    /// The value as it is held: bytes, no escaping; "" when none was given.
    const std::string& value() const { return value_; }
    /// The next / previous attribute of the same element, or null at the end of the list.
    XmlAttribute* Next() const { return next_; }
    XmlAttribute* previous() const { return previous_; }

private:
    friend class XmlElement;
    XmlAttribute(std::string_view name, std::string_view value);

    std::string name_;
    std::string value_;
    XmlElement* owner_ = nullptr;
    XmlAttribute* next_ = nullptr;
    XmlAttribute* previous_ = nullptr;
};

} // namespace corvanthelix
