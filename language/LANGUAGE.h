#pragma once
#include <cstdint>

// Names the translation library exports. The library is built with hidden visibility; everything
// marked with this is its binary interface.
#define VEXOLINDRA_API __attribute__((visibility("default")))

namespace corvanthelix {

/// The header of a language file: what the language page lists and what selects a language.
/// Text fields are zero-terminated and cut to their size.
struct LANGUAGE {
    char fileName[260];   ///< the file's name without its folder; empty when there is no file
    char name[256];       ///< "NAME:" value, the language's display name
    char version[256];    ///< "VERSION:" value
    char author[256];     ///< "AUTHOR:" value
    uint16_t languageId;  ///< primary language id from "LANGUAGEID:" (0..1023); 0 when absent
};

} // namespace corvanthelix
