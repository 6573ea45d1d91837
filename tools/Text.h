// Byte strings shown to people and written as JSON.
#pragma once

#include <string>

namespace limpet::cli {

// True when the bytes are well-formed UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF).
bool IsValidUtf8(const std::string& bytes);

// Lower-case hexadecimal of the bytes, two digits each.
std::string HexOf(const std::string& bytes);

// The bytes made safe for a terminal: control characters (C0, DEL, C1),
// backslashes and bytes that are not UTF-8 are written as \xNN, so that a
// stored name from a hostile file cannot move the cursor or change colours.
std::string Printable(const std::string& bytes);

// Printable, in double quotes; a long name is cut after 200 bytes, with its
// length.
std::string Quoted(const std::string& bytes);

}  // namespace limpet::cli
