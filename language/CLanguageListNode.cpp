#include "language/CLanguageListNode.h"

#include <cstring>

namespace corvanthelix {

namespace {

char* copyText(const char* text) {
    if (!text) text = "";
    size_t size = std::strlen(text) + 1;
    char* copy = new char[size];
    std::memcpy(copy, text, size);
    return copy;
}

} // namespace

CLanguageListNode::CLanguageListNode(const char* source, const char* translation)
    : source_(copyText(source)), translation_(copyText(translation)) {}

CLanguageListNode::~CLanguageListNode() {
    delete[] source_;
    delete[] translation_;
}

} // namespace corvanthelix
