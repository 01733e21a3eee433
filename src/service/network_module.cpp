#include "service/network_module.h"

#include <system_error>

#include "app/app_log.h"
#include "app/config.h"
#include "app/trace_log.h"
#include "media/toolkit/host_address.h"
#include "service/service_command.h"
#include "service/service_socket.h"

namespace corvel {
namespace {

constexpr int kLocalAddressesCompared = 3;

std::string BodyForLog(const ServicePacket& packet, std::uint32_t hiddenCommand,
                       const char* replacement) {
  return packet.cmdId == hiddenCommand ? std::string(replacement) : packet.bodyText();
}

}  // namespace

NetworkModule::NetworkModule(PacketQueue& workerQueue, std::string configFile)
    : workerQueue_(workerQueue),
      configFile_(configFile.empty() ? std::string(kServiceLinkConfigFile) : std::move(configFile)),
      traceLog_(std::make_shared<TraceLog>("./log/UdpNetwork.log", 0, 1)) {
  const Config config(configFile_);
  const HostPort local = config.udpLocal();
  localIp_ = local.host.substr(0, 31);
  localPort_ = local.port;
  const HostPort remote = config.udpRemote();
  remoteIp_ = remote.host.substr(0, 31);
  remotePort_ = remote.port;
  remoteAddress_ =
      Endpoint{Ipv4FromText(remoteIp_).value_or(0), static_cast<std::uint16_t>(remotePort_)};
  // From here on the application's lines reach this module's trace log.
  SetAppLogTarget(traceLog_);
}

NetworkModule::~NetworkModule() {
  ReleaseAppLogTarget(traceLog_.get());
  stopFlag_ = true;
  if (socket_) socket_->Close();
  // The dispatch thread waits on the receive queue; closing it ends the wait.
  if (socket_) socket_->receiveQueue().Close();
  if (dispatchThread_.joinable()) dispatchThread_.join();
  socket_.reset();  // joins the receive thread, frees the packets still queued
}

void NetworkModule::ChooseLocalIp() {
  const std::vector<std::uint32_t> addresses = HostIPv4Addresses();
  if (addresses.empty()) return;  // the look-up failed: keep what was configured
  const std::optional<std::uint32_t> configured = Ipv4FromText(localIp_);
  for (int i = 0; i < kLocalAddressesCompared && i < static_cast<int>(addresses.size()); ++i) {
    if (configured && *configured == addresses[i]) return;
  }
  localIp_ = Ipv4ToText(addresses.front());
}

bool NetworkModule::Init() {
  if (socket_) return false;
  ChooseLocalIp();
  for (int attempt = 1; attempt <= kPortAttempts; ++attempt) {
    auto candidate = std::make_unique<ServiceSocket>(static_cast<std::uint16_t>(localPort_));
    if (localPort_ > 0 && localPort_ <= 65535 && candidate->Open()) {
      traceLog_->Write("m_SockRecv.Open() Port:%d Success\n", localPort_);
      socket_ = std::move(candidate);
      break;
    }
    traceLog_->Write("m_SockRecv.Open() Port:%d Failed\n", localPort_);
    if (attempt == kPortAttempts) return false;
    ++localPort_;
  }
  localAddressIp_ = Ipv4FromText(localIp_).value_or(0);
  localAddressPort_ = static_cast<std::uint16_t>(localPort_);

  try {
    dispatchThread_ = std::thread([this] { DispatchLoop(); });
  } catch (const std::system_error&) {
    socket_.reset();
    traceLog_->Write("Create m_RecvThread Failed\n");
    return false;
  }
  if (!socket_->StartReceiving([this](Endpoint sender) { return FromAccountServer(sender); })) {
    stopFlag_ = true;
    socket_->receiveQueue().Close();
    dispatchThread_.join();
    socket_.reset();
    return false;
  }
  return true;
}

Endpoint NetworkModule::localAddress() const {
  return Endpoint{localAddressIp_.load(), localAddressPort_.load()};
}

bool NetworkModule::FromAccountServer(Endpoint sender) {
  // Anyone who can reach this port could otherwise log the user off, fake the balance or end
  // calls; the server's address is fixed by the configuration, so it is all that counts.
  if (sender == remoteAddress_ && sender.address != 0) return true;
  ++foreignDatagrams_;
  const std::uint64_t standsFor =
      foreignLog_.Admit(static_cast<std::uint64_t>(sender.address) << 16 | sender.port);
  if (standsFor > 0) {
    traceLog_->Write("[Drop]From(%s:%d): %llu datagram(s) not from the account server %s:%d\n",
                     Ipv4ToText(sender.address).c_str(), sender.port,
                     static_cast<unsigned long long>(standsFor),
                     Ipv4ToText(remoteAddress_.address).c_str(), remoteAddress_.port);
  }
  return false;
}

void NetworkModule::DispatchLoop() {
  ++dispatchRunning_;
  PacketQueue& queue = socket_->receiveQueue();
  for (std::optional<ServicePacket> packet = queue.Pop(-1); packet && !stopFlag_;
       packet = queue.Pop(-1)) {
    std::lock_guard lock(handlerMutex_);
    OnPacket(*packet);
  }
  --dispatchRunning_;
}

void NetworkModule::OnPacket(const ServicePacket& packet) {
  const std::uint32_t count = ++receivedCount_;
  const std::string data = BodyForLog(packet, RSP_LOGIN, "Response Login Packet");
  AppLog(0, "[%d]Recv CmdID[0x%x] Seq[%d] Sender[0x%x] Receiver[0x%x] Status[0x%x] data=%s",
         static_cast<int>(count), packet.cmdId, static_cast<int>(packet.seqId), packet.sender,
         packet.receiver, packet.status, data.c_str());
  if (IsWorkerCommand(packet.cmdId)) workerQueue_.Push(packet);
}

void NetworkModule::ResetKeepAlive() {
  lastKeepAlive_ = 0;
  keepAliveReset_ = true;
  workerQueue_.Kick();
}

void NetworkModule::Send(ServicePacket packet) {
  packet.sender = clientId_.load();
  const Endpoint destination = packet.remoteAddress.address == 0 || packet.remoteAddress.port == 0
                                   ? remoteAddress_
                                   : packet.remoteAddress;
  packet.localAddress = localAddress();
  if (socket_ && destination.address != 0 && destination.port != 0) {
    socket_->SendPacket(packet, destination);
  }
  const std::string data = BodyForLog(packet, CMD_LOGIN, "Send Login Packet");
  traceLog_->Write(
      "[Send]To Dest(%s:%d): CmdID=%d SeqID=%d Sender[%d] Receive[%d] Status[%d] Data:%s\n",
      Ipv4ToText(destination.address).c_str(), destination.port, static_cast<int>(packet.cmdId),
      static_cast<int>(packet.seqId), static_cast<int>(packet.sender),
      static_cast<int>(packet.receiver), static_cast<int>(packet.status), data.c_str());
}

}  // namespace corvel
