#include "service/packet_body.h"

#include <algorithm>

#include "media/toolkit/text_codec.h"

namespace corvel {

BodyWriter& BodyWriter::Text(std::size_t offset, std::size_t width, std::string_view utf8) {
  if (offset >= bytes_.size()) return *this;
  width = std::min(width, bytes_.size() - offset);
  const std::string gbk = Utf8ToGbk(utf8);
  const std::string_view cut = CutGbk(gbk, width);
  bytes_.replace(offset, cut.size(), cut);
  return *this;
}

BodyWriter& BodyWriter::Byte(std::size_t offset, std::uint8_t value) {
  if (offset < bytes_.size()) bytes_[offset] = static_cast<char>(value);
  return *this;
}

void BodyWriter::Into(ServicePacket& packet) const {
  packet.SetBody(bytes_.data(), static_cast<int>(bytes_.size()));
}

std::string ReadField(const ServicePacket& packet, std::size_t offset, std::size_t width) {
  const std::string_view body = packet.bodyBytes();
  if (offset >= body.size()) return {};
  std::string_view field = body.substr(offset, width);
  field = field.substr(0, field.find('\0'));
  while (!field.empty() && field.back() == ' ')
    field.remove_suffix(1);
  return GbkToUtf8(field);
}

std::uint8_t ReadByte(const ServicePacket& packet, std::size_t offset) {
  const std::string_view body = packet.bodyBytes();
  return offset < body.size() ? static_cast<std::uint8_t>(body[offset]) : 0;
}

}  // namespace corvel
