// UTF-8 text to the UTF-16 code units that BIFF8 strings hold.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvel {

// Malformed UTF-8 becomes U+FFFD, one per bad byte; characters above U+FFFF become pairs.
std::u16string Utf8ToUtf16(std::string_view utf8);

// At most maxUnits code units, never ending between the halves of a pair.
std::u16string_view CutUtf16(std::u16string_view text, std::size_t maxUnits);

}  // namespace corvel
