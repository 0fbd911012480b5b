#include "stores/XmlElement.h"

namespace corvanthelix {

XmlElement::XmlElement(std::string_view name) : name_(name) {}

XmlElement::~XmlElement() {
    // Lists are freed in a loop, not by a chain of destructors, so an index with many thousands of
    // entries cannot exhaust the stack.
    while (firstAttribute_) {
        XmlAttribute* next = firstAttribute_->next_;
        delete firstAttribute_;
        firstAttribute_ = next;
    }
    freeList(firstChild_);
}

void XmlElement::linkFront(XmlElement*& head, XmlElement* element) {
    element->previous_ = nullptr;
    element->next_ = head;
    if (head) head->previous_ = element;
    head = element;
}

void XmlElement::unlink(XmlElement*& head, XmlElement* element) {
    if (element->previous_) element->previous_->next_ = element->next_;
    else head = element->next_;
    if (element->next_) element->next_->previous_ = element->previous_;
    element->next_ = element->previous_ = nullptr;
}

void XmlElement::freeList(XmlElement*& head) {
    while (head) {
        XmlElement* next = head->next_;
        delete head;
        head = next;
    }
}

XmlElement* XmlElement::addChild(std::string_view name) {
    auto* child = new XmlElement(name);
    child->parent_ = this;
    linkFront(firstChild_, child);
    return child;
}

XmlAttribute* XmlElement::setAttribute(std::string_view name, std::string_view value) {
    if (name.empty()) name = "unknown";
    if (XmlAttribute* existing = findAttribute(name)) {
        existing->value_.assign(value);
        return existing;
    }
    auto* attribute = new XmlAttribute(name, value);
    attribute->owner_ = this;
    attribute->next_ = firstAttribute_;
    if (firstAttribute_) firstAttribute_->previous_ = attribute;
    firstAttribute_ = attribute;
    return attribute;
}

XmlAttribute* XmlElement::findAttribute(const char* name) const {
    return name ? findAttribute(std::string_view(name)) : nullptr;
}

XmlAttribute* XmlElement::findAttribute(std::string_view name) const {
    for (XmlAttribute* a = firstAttribute_; a; a = a->next_)
        if (a->name_ == name) return a;
    return nullptr;
}

std::optional<std::string> XmlElement::copyAttributeValue(std::string_view name) const {
    if (const XmlAttribute* a = findAttribute(name)) return a->value_;
    return std::nullopt;
}

void XmlElement::removeAttribute(XmlAttribute* attribute) {
    // Unlinking a foreign attribute would corrupt both lists, so membership is checked.
    if (!attribute || attribute->owner_ != this) return;
    if (attribute->previous_) attribute->previous_->next_ = attribute->next_;
    else firstAttribute_ = attribute->next_;
    if (attribute->next_) attribute->next_->previous_ = attribute->previous_;
    delete attribute;
}

void XmlElement::removeChild(XmlElement* child) {
    if (!child || child->parent_ != this) return;
    unlink(firstChild_, child);
    delete child;
}

} // namespace corvanthelix
