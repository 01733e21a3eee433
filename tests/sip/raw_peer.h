// A bare UDP socket on 127.0.0.1 that writes SIP messages by hand and reads what comes back,
// for tests that look at the core's traffic byte by byte.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "media/toolkit/host_address.h"
#include "media/toolkit/udp_socket.h"

namespace corvel::testing {

class RawPeer {
 public:
  RawPeer() : socket_(UdpSocket::Open("127.0.0.1", 0, false)) {}

  bool ok() const { return socket_ != nullptr; }
  int port() const { return socket_ ? socket_->localPort() : 0; }

  // Sends text with "\n" turned into CRLF and every "{name}" replaced from vars.
  bool Send(const std::string& text, int toPort, const std::map<std::string, std::string>& vars) {
    const std::string wire = Expand(text, vars);
    return socket_->SendTo(wire.data(), static_cast<int>(wire.size()), 0x7f000001,
                           static_cast<uint16_t>(toPort)) > 0;
  }
  bool SendRaw(const std::string& bytes, int toPort) {
    return socket_->SendTo(bytes.data(), static_cast<int>(bytes.size()), 0x7f000001,
                           static_cast<uint16_t>(toPort)) > 0;
  }

  // The next datagram's text within timeoutMs.
  std::optional<std::string> Receive(int timeoutMs) {
    std::optional<Datagram> datagram = socket_->Receive(timeoutMs);
    if (!datagram) return std::nullopt;
    return std::string(datagram->chars(), static_cast<std::size_t>(datagram->length));
  }

  // The next datagram whose first line starts with `start` (others are skipped) within
  // timeoutMs.
  std::optional<std::string> ReceiveStarting(const std::string& start, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) return std::nullopt;
      std::optional<std::string> text = Receive(static_cast<int>(left));
      if (text && text->rfind(start, 0) == 0) return text;
    }
  }

  static std::string Expand(const std::string& text,
                            const std::map<std::string, std::string>& vars) {
    std::string out;
    for (std::size_t at = 0; at < text.size(); ++at) {
      if (text[at] == '{') {
        const std::size_t end = text.find('}', at);
        if (end != std::string::npos) {
          const auto found = vars.find(text.substr(at + 1, end - at - 1));
          if (found != vars.end()) {
            out += found->second;
            at = end;
            continue;
          }
        }
      }
      if (text[at] == '\n') {
        out += "\r\n";
      } else {
        out += text[at];
      }
    }
    return out;
  }

 private:
  std::unique_ptr<UdpSocket> socket_;
};

// The value of header `name` in a message's text (first occurrence, trimmed); empty if none.
inline std::string HeaderValue(const std::string& message, const std::string& name) {
  std::size_t at = 0;
  while (at < message.size()) {
    const std::size_t end = message.find("\r\n", at);
    const std::string line =
        message.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (line.empty()) break;
    if (line.size() > name.size() && line.compare(0, name.size(), name) == 0 &&
        line[name.size()] == ':') {
      const std::size_t value = line.find_first_not_of(' ', name.size() + 1);
      return value == std::string::npos ? std::string() : line.substr(value);
    }
    if (end == std::string::npos) break;
    at = end + 2;
  }
  return {};
}

// A response to request with its Via, From, To (plus toTag when it has none), Call-ID and
// CSeq, in wire form.
inline std::string AnswerTo(const std::string& request, int status, const std::string& reason,
                            const std::string& toTag = "", const std::string& extra = "") {
  std::string to = HeaderValue(request, "To");
  if (!toTag.empty() && to.find("tag=") == std::string::npos) to += ";tag=" + toTag;
  return "SIP/2.0 " + std::to_string(status) + " " + reason + "\r\n" +
         "Via: " + HeaderValue(request, "Via") + "\r\n" + "From: " + HeaderValue(request, "From") +
         "\r\n" + "To: " + to + "\r\n" + "Call-ID: " + HeaderValue(request, "Call-ID") + "\r\n" +
         "CSeq: " + HeaderValue(request, "CSeq") + "\r\n" + extra + "Content-Length: 0\r\n\r\n";
}

// "SIP/2.0 200 OK" -> 200; 0 for a request.
inline int StatusOf(const std::string& message) {
  if (message.rfind("SIP/2.0 ", 0) != 0) return 0;
  return std::atoi(message.c_str() + 8);
}

}  // namespace corvel::testing
