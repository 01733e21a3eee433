#include "service/service_packet.h"

#include <algorithm>
#include <cstring>

#include "media/toolkit/text_codec.h"

namespace corvel {
namespace {

void PutWord(std::uint8_t* out, std::uint32_t value) {
  out[0] = static_cast<std::uint8_t>(value >> 24);
  out[1] = static_cast<std::uint8_t>(value >> 16);
  out[2] = static_cast<std::uint8_t>(value >> 8);
  out[3] = static_cast<std::uint8_t>(value);
}

std::uint32_t GetWord(const std::uint8_t* in) {
  return static_cast<std::uint32_t>(in[0]) << 24 | static_cast<std::uint32_t>(in[1]) << 16 |
         static_cast<std::uint32_t>(in[2]) << 8 | static_cast<std::uint32_t>(in[3]);
}

}  // namespace

void ServicePacket::Clear() {
  length = kEmptyLength;
  cmdId = seqId = sender = receiver = status = 0;
  body.fill(0);
}

std::uint32_t ServicePacket::SetBody(const void* data, int n) {
  body.fill(0);
  length = kEmptyLength;
  if (data == nullptr || n == 0) return length;
  std::size_t count =
      n < 0 ? std::strlen(static_cast<const char*>(data)) : static_cast<std::size_t>(n);
  count = std::min(count, kMaxBody);
  std::memcpy(body.data(), data, count);
  body[count] = 0;
  length = static_cast<std::uint32_t>(count + kEmptyLength);
  return length;
}

std::size_t ServicePacket::bodyLength() const {
  if (length <= kEmptyLength) return 0;
  return std::min<std::size_t>(length - kEmptyLength, kMaxBody);
}

std::string_view ServicePacket::bodyBytes() const {
  return std::string_view(reinterpret_cast<const char*>(body.data()), bodyLength());
}

std::string ServicePacket::bodyText() const {
  const std::string_view bytes = bodyBytes();
  return GbkToUtf8(bytes.substr(0, bytes.find('\0')));
}

std::size_t ServicePacket::Serialize(std::uint8_t* buffer, std::size_t capacity) {
  if (buffer == nullptr || capacity < kEmptyLength) return 0;
  if (length > capacity) length = static_cast<std::uint32_t>(capacity);
  if (length < kEmptyLength) length = kEmptyLength;
  const std::size_t bodySize = bodyLength();
  PutWord(buffer, length);
  PutWord(buffer + 4, cmdId);
  PutWord(buffer + 8, seqId);
  PutWord(buffer + 12, sender);
  PutWord(buffer + 16, receiver);
  PutWord(buffer + 20, status);
  std::memcpy(buffer + kHeaderSize, body.data(), bodySize);
  std::memset(buffer + kHeaderSize + bodySize, 0, length - kHeaderSize - bodySize);
  buffer[0] = kMarker[0];
  buffer[1] = kMarker[1];
  return length;
}

int ServicePacket::Parse(const std::uint8_t* bytes, std::size_t count) {
  if (bytes == nullptr || count < kEmptyLength) return -1;
  if (bytes[0] != kMarker[0] || bytes[1] != kMarker[1]) return -1;
  const std::uint32_t announced = GetWord(bytes) & 0xFFFF;
  // A length below the header and trailer cannot describe a packet.
  if (announced < kEmptyLength) return -1;
  const std::size_t n = announced - kEmptyLength;
  if (count - kEmptyLength < n) return -1;
  cmdId = GetWord(bytes + 4);
  seqId = GetWord(bytes + 8);
  sender = GetWord(bytes + 12);
  receiver = GetWord(bytes + 16);
  status = GetWord(bytes + 20);
  body.fill(0);
  const std::size_t taken = std::min(n, kMaxBody);
  std::memcpy(body.data(), bytes + kHeaderSize, taken);
  length = static_cast<std::uint32_t>(taken + kEmptyLength);
  return static_cast<int>(taken);
}

}  // namespace corvel
