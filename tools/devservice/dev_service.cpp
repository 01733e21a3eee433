#include "dev_service.h"

#include "packet_stream.h"

namespace corvel::devservice {
namespace {

// Receives return early on Wake(), so this only bounds how often an idle thread looks up.
constexpr int kIdleWaitMs = 60'000;

Endpoint From(const Datagram& datagram) {
  return Endpoint{datagram.senderAddress, datagram.senderPort};
}

std::string Where(const char* socket, const Datagram& datagram) {
  return std::string(socket) + " " + datagram.senderText + ":" +
         std::to_string(datagram.senderPort);
}

}  // namespace

DevService::DevService(const Options& options, AccountBook book, PacketLog& log)
    : host_(options.host),
      log_(log),
      server_(std::move(book), options.callbackIdDelayMs),
      nat_(options.natType),
      control_(server_, nat_),
      delayed_([this](const Outgoing& out) { Send(out); }) {}

std::unique_ptr<DevService> DevService::Start(const Options& options, AccountBook book,
                                              PacketLog& log, std::string& error) {
  std::unique_ptr<DevService> service(new DevService(options, std::move(book), log));
  const char* host = options.host.c_str();
  service->accountSocket_ = UdpSocket::Open(host, options.accountPort, false);
  service->natSocket_ = UdpSocket::Open(host, options.natPort, false);
  service->controlSocket_ = UdpSocket::Open(host, options.controlPort, false);
  const auto failed = [&](const char* what, std::uint16_t port) {
    error = std::string("cannot bind the ") + what + " socket to " + options.host + ":" +
            std::to_string(port);
    return nullptr;
  };
  if (!service->accountSocket_) return failed("account server", options.accountPort);
  if (!service->natSocket_) return failed("NAT helper", options.natPort);
  if (!service->controlSocket_) return failed("control", options.controlPort);
  DevService* self = service.get();
  service->threads_.emplace_back([self] { self->AccountLoop(); });
  service->threads_.emplace_back([self] { self->NatLoop(); });
  service->threads_.emplace_back([self] { self->ControlLoop(); });
  return service;
}

DevService::~DevService() {
  Stop();
}

void DevService::Stop() {
  stopping_.store(true);
  for (UdpSocket* socket : {accountSocket_.get(), natSocket_.get(), controlSocket_.get()}) {
    if (socket != nullptr) socket->Wake();
  }
  for (std::thread& thread : threads_) {
    if (thread.joinable()) thread.join();
  }
  delayed_.Stop();
}

std::string DevService::PortsLine() const {
  return "devservice account=" + host_ + ":" + std::to_string(accountSocket_->localPort()) +
         " nat=" + host_ + ":" + std::to_string(natSocket_->localPort()) + " control=" + host_ +
         ":" + std::to_string(controlSocket_->localPort());
}

void DevService::AccountLoop() {
  while (!stopping_.load()) {
    const std::optional<Datagram> datagram = accountSocket_->Receive(kIdleWaitMs);
    if (!datagram) continue;
    const Endpoint from = From(*datagram);
    const SplitResult split =
        SplitDatagram(datagram->data.data(), static_cast<std::size_t>(datagram->length));
    for (const ServicePacket& packet : split.packets) {
      log_.Packet("recv", from, packet);
      Handled handled = server_.Handle(packet, from);
      if (!handled.note.empty()) log_.Note("  " + handled.note);
      for (const Outgoing& out : handled.send)
        delayed_.Post(out);
    }
    if (split.unusedBytes > 0) {
      log_.Note(Where("account", *datagram) + " " + std::to_string(split.unusedBytes) +
                " bytes that are not a service packet, ignored");
    }
  }
}

void DevService::NatLoop() {
  while (!stopping_.load()) {
    const std::optional<Datagram> datagram = natSocket_->Receive(kIdleWaitMs);
    if (!datagram) continue;
    NatHelper::Answer answer = nat_.Handle(
        datagram->data.data(), static_cast<std::size_t>(datagram->length), From(*datagram));
    log_.Note(Where("nat", *datagram) + " " + answer.note);
    if (!answer.reply.empty()) {
      natSocket_->SendTo(answer.reply.data(), static_cast<int>(answer.reply.size()),
                         datagram->senderAddress, datagram->senderPort);
    }
  }
}

void DevService::ControlLoop() {
  while (!stopping_.load()) {
    const std::optional<Datagram> datagram = controlSocket_->Receive(kIdleWaitMs);
    if (!datagram) continue;
    std::string line(datagram->chars(), static_cast<std::size_t>(datagram->length));
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
      line.pop_back();
    ControlResult result = control_.Execute(line);
    // Pushes first, so a test that waits for the answer finds the push already sent.
    for (const Outgoing& out : result.pushes)
      Send(out);
    log_.Info(Where("control", *datagram) + " \"" + line + "\" -> " + result.answer);
    controlSocket_->SendTo(result.answer.data(), static_cast<int>(result.answer.size()),
                           datagram->senderAddress, datagram->senderPort);
  }
}

void DevService::Send(const Outgoing& out) {
  const std::vector<std::uint8_t> bytes = PacketBytes(out.packet);
  log_.Packet("send", out.to, out.packet);
  const int n = accountSocket_->SendTo(bytes.data(), static_cast<int>(bytes.size()), out.to.address,
                                       out.to.port);
  if (n <= 0) log_.Note("  the send to " + EndpointText(out.to) + " failed");
}

}  // namespace corvel::devservice
