// The numbers of a tar header and of pax records: octal text, GNU base-256, decimal text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace untgz {

// Value of a numeric header field: octal text, or GNU base-256 when the first byte has its
// high bit set. False for a field that is neither, or for a value that does not fit 64 bits.
bool readNumber(const unsigned char* field, std::size_t width, std::int64_t& value);

// The octal text of a field: blanks, digits, blanks, up to the first NUL, read as readOctal
// reads it; `digits` tells how many digits there were (a field without any reads as 0).
bool readOctalText(const unsigned char* field, std::size_t width, std::int64_t& value,
                   std::size_t& digits);

// Octal text field as a plain number (no base-256). The text is what comes before the
// first NUL (or the whole field): blanks, octal digits, blanks. Anything else in it (a
// letter, a sign, digits after a blank) makes the field unreadable: false. A field of only
// blanks and NULs reads as 0, as other readers take it.
bool readOctal(const unsigned char* field, std::size_t width, std::int64_t& value);

// A decimal number as pax records and sparse maps write it: digits only, leading zeros
// allowed, up to the largest signed 64-bit value (a sparse file's real size may be
// exabytes). False for anything else, the empty text included.
bool readDecimal(const std::string& text, std::int64_t& value);

}  // namespace untgz
