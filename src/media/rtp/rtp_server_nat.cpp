#include "media/rtp/rtp_server_nat.h"

#include "media/toolkit/host_address.h"

namespace corvel {

std::optional<NatAddress> ParseNatReply(std::string_view text) {
  const std::size_t open = text.find('[');
  if (open == std::string_view::npos) return std::nullopt;
  const std::size_t colon = text.find(':', open + 1);
  if (colon == std::string_view::npos) return std::nullopt;
  const std::string_view host = text.substr(open + 1, colon - open - 1);
  uint32_t port = 0;
  for (std::size_t at = colon + 1; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    port = port * 10 + static_cast<uint32_t>(text[at] - '0');
    if (port > 65535) return std::nullopt;
  }
  if (port == 0 || !Ipv4FromText(host)) return std::nullopt;
  return NatAddress{std::string(host), static_cast<uint16_t>(port)};
}

}  // namespace corvel
