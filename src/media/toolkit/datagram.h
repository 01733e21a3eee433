// One received UDP datagram with the address it came from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvel {

struct Datagram {
  // The payload followed by two zero bytes (data.size() == length + 2), so a text payload can be
  // read as a terminated string in either 8-bit or 16-bit characters.
  std::vector<uint8_t> data;
  int32_t length = 0;
  std::string senderText;      // dotted form
  uint32_t senderAddress = 0;  // host order
  uint16_t senderPort = 0;     // host order

  const char* chars() const { return reinterpret_cast<const char*>(data.data()); }
};

}  // namespace corvel
