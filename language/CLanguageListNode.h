#pragma once
#include "language/LANGUAGE.h"

namespace corvanthelix {

/// One entry of the translation table: an English source text and its translation. The node owns
/// copies of both texts; the table owns the node and links it into its bucket's list.
class VEXOLINDRA_API CLanguageListNode {
public:
    /// Copies both texts (null is taken as "").
    CLanguageListNode(const char* source, const char* translation);
    ~CLanguageListNode();
    CLanguageListNode(const CLanguageListNode&) = delete;
    CLanguageListNode& operator=(const CLanguageListNode&) = delete;

    /// The English source text; owned by the node.
    const char* Source() const { return source_; }
    /// The translation; owned by the node.
    const char* Translation() const { return translation_; }

    CLanguageListNode* next = nullptr;
    CLanguageListNode* previous = nullptr;

private:
    char* source_;
    char* translation_;
};

} // namespace corvanthelix
