/*
 * Corvanthelix plug-in interface.
 *
 * This header is shared with filter plug-ins, which are built as separate shared modules and may be
 * written in C. It is plain C (no C++), and every record keeps its fields in the order given here
 * with the platform's natural sizes (pointers and size_t are 8 bytes on x86-64). Records that
 * cross the boundary belong to whoever created them and stay valid only for the duration of the
 * call that hands them over; a plug-in never frees or keeps them.
 */
#ifndef CORVANTHELIX_PLUGIN_H
#define CORVANTHELIX_PLUGIN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ==============================================================================================
 * Message records
 *
 * A parsed mail message is a tree of MessagePart records, each with a singly linked list of
 * HeaderField records in source order. The host owns all of them; a plug-in only reads them.
 *
 * The texts live inside the host's parse buffer: the root part's text is the whole message, and
 * the host has written a NUL over the line end in front of every MIME boundary line, so that each
 * part's text and body read as NUL-terminated strings that end where the part ends. NUL bytes of
 * the original message were replaced by spaces before parsing, so no string ends early.
 * Line ends are CR LF, or a bare LF where the message used one.
 * ============================================================================================== */

typedef struct HeaderField HeaderField;
typedef struct MessagePart MessagePart;

/* Kind flags of a header, chosen by its name (compared case-insensitively). */
#define CVX_HEADER_OTHER        1u    /* any name not listed below */
#define CVX_HEADER_TO           2u    /* "To" */
#define CVX_HEADER_FROM         4u    /* "From" */
#define CVX_HEADER_CONTENT_TYPE 8u    /* "Content-Type" */
#define CVX_HEADER_BCC          16u   /* "BCC" */
#define CVX_HEADER_CC           32u   /* "CC" */
#define CVX_HEADER_SUBJECT      64u   /* "Subject" */
#define CVX_HEADER_DATE         128u  /* "Date" */

/* Number of line lengths a header's folding record holds. */
#define CVX_FOLDING_LINES 10

/* One header line of a part (with its continuation lines). */
struct HeaderField {
    /* Name before the first ":", trimmed of spaces and TABs (at most 254 characters). */
    char* name;
    /* Value after the ":", unfolded (each line break with its leading blank becomes one space)
     * and trimmed of spaces and TABs (at most 1023 characters). Encoded words are not decoded. */
    char* value;
    /* CVX_HEADER_* flag of the name; natural padding follows up to the next pointer. */
    uint16_t kind;
    /* Next header of the same part, or NULL. */
    HeaderField* next;
    /* Folding record: the length of the header's first line, then the lengths of up to nine
     * continuation lines, each measured after its leading blank, without line ends; 0 = unused. */
    uint32_t folding[CVX_FOLDING_LINES];
};

/* One MIME part; the root part is the whole message. */
struct MessagePart {
    /* First header of the part, or NULL. */
    HeaderField* headers;
    /* Start of the part's header lines. The root's text is the whole parse buffer. */
    char* text;
    /* Boundary string of a multipart part, or NULL. */
    char* boundary;
    /* Start of the body: it begins with the line end of the empty line that ends the header
     * (or is the empty string when the part has no body). */
    char* body;
    /* Length in bytes of the part's text in the message, from `text` to the end of the part
     * (its children included). The root's length is the size of the message. */
    size_t textLength;
    /* The root part of the message (the root points to itself). */
    MessagePart* root;
    /* First child part, or NULL. */
    MessagePart* firstChild;
    /* Next sibling part, or NULL. */
    MessagePart* next;
};

/* ==============================================================================================
 * Plug-in records and service codes
 * ============================================================================================== */

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* CORVANTHELIX_PLUGIN_H */
