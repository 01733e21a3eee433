// Conversions between the program's UTF-8 text and the GBK (code page 936) bytes that the
// service packets, data.dat and older configuration files carry.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvel {

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// GBK bytes to UTF-8. A byte sequence that is not GBK becomes U+FFFD; a lead byte at the very
// end is dropped.
std::string GbkToUtf8(std::string_view gbk);

// UTF-8 text to GBK bytes. Characters GBK cannot hold become '?'.
std::string Utf8ToGbk(std::string_view utf8);

// The longest prefix of GBK bytes that is at most maxBytes long and ends on a character
// boundary, so a fixed-width field never holds half a character.
std::string_view CutGbk(std::string_view gbk, std::size_t maxBytes);

// The longest prefix of UTF-8 text that is at most maxBytes long and ends on a character boundary.
std::string_view CutUtf8(std::string_view utf8, std::size_t maxBytes);

// The longest prefix of UTF-8 text whose GBK form fits in maxBytes (ASCII counts one byte,
// every other character two, as GBK stores them).
std::string_view CutUtf8ToGbkWidth(std::string_view utf8, std::size_t maxBytes);

// UTF-8 text to a fixed-width GBK field: converted, cut at a character boundary, then padded
// with `pad` up to width bytes.
std::string GbkField(std::string_view utf8, std::size_t width, char pad);

}  // namespace corvel
