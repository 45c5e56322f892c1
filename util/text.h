// Small conversions of 8-bit texts: escapes, decimal and hexadecimal numbers, base names.
// None allocates memory or keeps state.
#pragma once

#include <cstdint>

// Decodes backslash escapes in place: \xHH (two letters or digits; '0'..'9' and 'A'..'F' in
// either case give their value, any other letter 0) gives one byte; \r \n \t \b \s give
// carriage return, line feed, tab, backspace and space. Any other backslash stays as it is.
// The bytes between the new and the old end are zeroed. Returns the new length (0 for null).
int unescape_text(char* text);

// An optional '-' or '+', then every further character c adds (c - '0') to value * 10, with
// c taken as an unsigned byte and the arithmetic wrapping modulo 2^64. 0 for null.
int64_t text_to_int64(const char* text);

// How a 4-digit hexadecimal field is read: whether 'A'-'F' are digits (else they count as 0
// like any other non-digit), and whether a CR ends the field with the digits before it.
struct Hex4Rule {
    bool upper_case_digits;
    bool stops_at_cr;
};
inline constexpr Hex4Rule kHex4AnyCase = {true, false};
inline constexpr Hex4Rule kHex4LowerCaseToCr = {false, true};

// The value of up to the first 4 characters of `text` as 0..65535 under `rule`: a character
// that is not a digit counts as 0; a zero byte ends the text, and it and the positions after it
// count as 0 without being read, so a shorter text is safe. A CR, where the rule stops there,
// ends the field without further positions. 0 for null.
int hex4_value(const char* text, const Hex4Rule& rule);

// Four hexadecimal digits of either case as 0..65535 (hex4_value with kHex4AnyCase).
int hex4_to_int(const char* digits);

// The part of `path` after its last '\' or '/' (all of it when there is none), written into
// `out` of `outsize` bytes, which is cleared first over min(path length + 1, outsize) bytes.
// Returns `out`, or null (with `out` empty) when the part does not fit or an argument is null.
char* base_name(const char* path, char* out, int outsize);
