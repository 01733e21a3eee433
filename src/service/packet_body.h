// Fixed-width text fields of a packet body: written over a space-filled area, read back as the
// slice at their offset ended at the first zero byte and trimmed of trailing spaces. Text is
// GBK on the wire and UTF-8 here; a field never ends inside a character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "service/service_packet.h"

namespace corvel {

class BodyWriter {
 public:
  // A work area of n bytes, all spaces.
  explicit BodyWriter(std::size_t n) : bytes_(n, ' ') {}

  // Copies text (cut to width, no terminator) to offset.
  BodyWriter& Text(std::size_t offset, std::size_t width, std::string_view utf8);
  BodyWriter& Byte(std::size_t offset, std::uint8_t value);

  // Puts the body into packet.
  void Into(ServicePacket& packet) const;
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// The field at offset and width as UTF-8 text: ended at the first zero byte, trailing spaces
// removed. Parts beyond the packet's body read as empty.
std::string ReadField(const ServicePacket& packet, std::size_t offset, std::size_t width);

// The byte at offset of the body, 0 beyond it.
std::uint8_t ReadByte(const ServicePacket& packet, std::size_t offset);

}  // namespace corvel
