// One message of the account server's protocol: a 24-byte header of six big-endian words, a
// body of fixed-width text fields and a 12-byte zero trailer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvel {

// An IPv4 address and port, both in host order; 0 means none.
struct Endpoint {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
  friend bool operator==(const Endpoint&, const Endpoint&) = default;
};

class ServicePacket {
 public:
  static constexpr std::size_t kHeaderSize = 24;
  static constexpr std::size_t kTrailerSize = 12;
  static constexpr std::uint32_t kEmptyLength = kHeaderSize + kTrailerSize;  // 36
  static constexpr std::size_t kMaxBody = 1000;
  static constexpr std::uint8_t kMarker[2] = {0xFF, 0xEE};

  std::uint32_t length = kEmptyLength;
  std::uint32_t cmdId = 0;
  std::uint32_t seqId = 0;
  std::uint32_t sender = 0;
  std::uint32_t receiver = 0;
  std::uint32_t status = 0;
  // Body bytes; a zero byte always follows them inside the array.
  std::array<std::uint8_t, 1024> body{};
  // Received: the socket's local address. Sent: the network module's local address.
  Endpoint localAddress;
  // Received: the sender. To send: the destination; none means the configured account server.
  Endpoint remoteAddress;

  // Length 36, every header word 0, the body all zero bytes.
  void Clear();

  // Replaces the body with n bytes of data (a negative n: data as zero-terminated text; 1000
  // or more: 1000). Returns the new length.
  std::uint32_t SetBody(const void* data, int n);

  // Writes the packet for sending; returns the bytes to send, or 0 when capacity is below 36.
  // A packet longer than capacity is cut to it first (its length and body shrink).
  std::size_t Serialize(std::uint8_t* buffer, std::size_t capacity);

  // Reads a packet from count bytes; returns the body length, or -1 when the bytes are too
  // few, lack the marker, or announce a length below 36 or beyond what they hold.
  int Parse(const std::uint8_t* bytes, std::size_t count);

  std::size_t bodyLength() const;
  std::string_view bodyBytes() const;
  // The body up to its first zero byte, as UTF-8 text (it travels as GBK), for log lines.
  std::string bodyText() const;
};

}  // namespace corvel
