#include "stores/XmlAttribute.h"

namespace corvanthelix {

XmlAttribute::XmlAttribute(std::string_view name, std::string_view value)
    : name_(name.empty() ? std::string_view("unknown") : name), value_(value) {}

} // namespace corvanthelix
