#include "media/rtp/rtp_server_dtmf.h"

namespace corvel {
namespace {

constexpr uint8_t kEndBit = 0x80;

struct Step {
  bool end;
  uint16_t duration;
  bool marker;
  uint32_t timestampStep;
  bool repeat;
};

// Packets 1 to 3 carry the timestamp T, 4 and 5 carry T + 160, and the session goes on at T + 320.
constexpr Step kSteps[5] = {
    {false, 0, true, 0, false},   {false, 160, true, 0, false},  {false, 320, true, 160, false},
    {true, 480, false, 0, false}, {true, 480, false, 160, true},
};

}  // namespace

std::array<TelephoneEventPacket, 5> TelephoneEventPackets(uint8_t event) {
  std::array<TelephoneEventPacket, 5> packets{};
  for (std::size_t i = 0; i < packets.size(); ++i) {
    const Step& step = kSteps[i];
    TelephoneEventPacket& packet = packets[i];
    packet.payload = {event, static_cast<uint8_t>((step.end ? kEndBit : 0) | kTelephoneEventVolume),
                      static_cast<uint8_t>(step.duration >> 8),
                      static_cast<uint8_t>(step.duration & 0xFF)};
    packet.marker = step.marker;
    packet.timestampStep = step.timestampStep;
    packet.repeat = step.repeat;
  }
  return packets;
}

}  // namespace corvel
