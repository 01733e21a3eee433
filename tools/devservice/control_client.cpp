#include "control_client.h"

#include <charconv>
#include <optional>

#include "media/toolkit/deadline.h"
#include "media/toolkit/host_address.h"
#include "media/toolkit/udp_socket.h"
#include "service/service_packet.h"

namespace corvel::devservice {
namespace {

std::optional<Endpoint> ParseTarget(const std::string& text) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos) return std::nullopt;
  const std::optional<std::uint32_t> address = Ipv4FromText(text.substr(0, colon));
  unsigned port = 0;
  const char* first = text.data() + colon + 1;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, port);
  if (!address || first == last || error != std::errc() || end != last || port == 0 ||
      port > 65535) {
    return std::nullopt;
  }
  return Endpoint{*address, static_cast<std::uint16_t>(port)};
}

}  // namespace

int RunControlClient(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  const std::optional<Endpoint> target = args.empty() ? std::nullopt : ParseTarget(args[0]);
  if (!target || args.size() < 2) {
    std::fputs("usage: corvel-devservice control HOST:PORT COMMAND...\n", err);
    return 1;
  }
  std::string command = args[1];
  for (std::size_t i = 2; i < args.size(); ++i)
    command += " " + args[i];
  const std::unique_ptr<UdpSocket> socket = UdpSocket::Open(nullptr, 0, true);
  if (!socket || socket->SendTo(command.data(), static_cast<int>(command.size()), target->address,
                                target->port) <= 0) {
    std::fprintf(err, "error cannot send to %s\n", args[0].c_str());
    return 1;
  }
  const Deadline deadline = Deadline::AfterMs(kControlAnswerWaitMs);
  for (int left = deadline.remainingMs(); left > 0; left = deadline.remainingMs()) {
    const std::optional<Datagram> answer = socket->Receive(left);
    if (!answer) continue;
    // Only the service's own answer counts; anything else reaching this port is noise.
    if (answer->senderAddress != target->address || answer->senderPort != target->port) continue;
    const std::string text(answer->chars(), static_cast<std::size_t>(answer->length));
    std::fprintf(out, "%s\n", text.c_str());
    return text.starts_with("ok") ? 0 : 1;
  }
  std::fprintf(err, "error no answer from %s within %d ms\n", args[0].c_str(),
               kControlAnswerWaitMs);
  return 2;
}

}  // namespace corvel::devservice
