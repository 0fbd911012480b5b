#pragma once
// Text functions shared by the message model, the filters, the plug-in services and the stores:
// substring search, the base64, quoted-printable and Q codecs, encoded words in header values,
// trimming and day numbers. They work on bytes; none converts character sets.
#include <cstddef>
#include <string>
#include <string_view>

namespace corvanthelix {

/// Position of the first occurrence of `pattern` in `text`, or -1 (also -1 when either is null
/// or the pattern is empty). Without `caseSensitive` only ASCII letters are folded. Thread-safe:
/// the search's shift table is its own.
long findText(const char* text, const char* pattern, bool caseSensitive);
long findText(std::string_view text, std::string_view pattern, bool caseSensitive);

/// Decodes base64 from `text[0..length)`, skipping bytes outside the alphabet. Writes at most
/// outSize - 1 bytes and a NUL. Returns the number of decoded bytes written (without the NUL),
/// since decoded data may itself hold NUL bytes.
size_t base64Decode(const char* text, size_t length, char* out, size_t outSize);
std::string base64Decode(std::string_view text);

/// Encodes with "=" padding and no line breaks; stops at a NUL of the input or when a group of
/// four characters and the closing NUL no longer fit. NUL-terminated. Returns the output length.
size_t base64Encode(const char* text, size_t length, char* out, size_t outSize);
/// Encodes every byte of `text`, NUL bytes included.
std::string base64Encode(std::string_view text);

/// Decodes quoted-printable (also Q-encoding): "=" CR LF (or a bare LF) removed, "=" + two hex
/// digits gives the byte ("=00" gives a space, so the result is never cut short), "_" gives a
/// space; "=" followed by anything else is kept with the next two characters as they are.
/// In-place use (out == text) is allowed. Writes at most outSize - 1 bytes and a NUL; returns the
/// output length.
size_t QuotedPrintableDecode(const char* text, size_t length, char* out, size_t outSize);
std::string QuotedPrintableDecode(std::string_view text);

/// Q-encodes: space as "_", letters, digits and "!*+-/" unchanged, every other byte "=XX".
/// Stops at a NUL of the input or when the next output would not fit. NUL-terminated; returns
/// the output length. Callers give 3 bytes of room per input byte plus one.
size_t QEncode(const char* text, size_t length, char* out, size_t outSize);
/// Encodes every byte of `text`, NUL bytes included.
std::string QEncode(std::string_view text);

/// Replaces each encoded word ("=?charset?B|Q?text?=") in the NUL-terminated `text` by its
/// decoded bytes, in place. A decoded NUL byte becomes a space so the text stays whole. A start
/// that is not a well-formed word ends decoding and leaves the rest as it is; a word without its
/// closing "?=" runs to the end of the text.
void decodeEncodedWords(char* text);
std::string decodeEncodedWords(std::string_view text);

/// Remove every occurrence of `character` / spaces and TABs / any byte of `set` from both ends,
/// in place.
void trim(char* text, char character);
void trimBlanks(char* text);
void trimSet(char* text, const char* set);
std::string trimBlanks(std::string_view text);

/// The Julian day number of a Gregorian calendar date.
int dayNumber(int year, int month, int day);
/// The inverse of DayNumber.
void dateFromDayNumber(int dayNumber, int& year, int& month, int& day);
/// The day number of today's local date.
int todayDayNumber();

} // namespace corvanthelix
