// Synchronisation sources for new sessions.
#pragma once

#include <cstdint>

namespace corvel {

// tick count + a pseudo-random number + the previously generated SSRC, modulo 2^32. The last term
// keeps two sessions created within the same millisecond apart; a draw equal to the previous SSRC
// is drawn again, so consecutive sessions always differ. Never 0, which the destination lists read
// as "not known yet". Safe from any thread.
uint32_t GenerateSsrc();

}  // namespace corvel
