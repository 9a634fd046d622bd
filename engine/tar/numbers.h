// The numbers of a tar header: octal text, GNU base-256, and the header checksum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace untgz {

// Value of a numeric header field: octal text, or GNU base-256 when the first byte has its
// high bit set. False for a field that is neither, or for a value that does not fit 64 bits.
bool readNumber(const unsigned char* field, std::size_t width, std::int64_t& value);

// Octal text field as a plain number (no base-256). The text is what comes before the
// first NUL (or the whole field): blanks, octal digits, blanks. Anything else in it (a
// letter, a sign, digits after a blank) makes the field unreadable: false. A field of only
// blanks and NULs reads as 0, as other readers take it.
bool readOctal(const unsigned char* field, std::size_t width, std::int64_t& value);

// A decimal number as pax records and sparse maps write it: digits only, leading zeros
// allowed, up to the largest signed 64-bit value (a sparse file's real size may be
// exabytes). False for anything else, the empty text included.
bool readDecimal(const std::string& text, std::int64_t& value);

// True when the block's checksum field (octal text as readOctal reads it, with at least one
// digit) matches its bytes (the field itself counted as blanks), summed as unsigned or as
// signed bytes, as different writers did.
bool checksumMatches(const unsigned char* block);

}  // namespace untgz
