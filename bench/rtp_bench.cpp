// RTP packets per second on loopback: building and sending, receiving and parsing, and a whole
// session-to-session hop.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "media/rtp/packet_buffer.h"
#include "media/rtp/rtp_packet.h"
#include "media/rtp/rtp_session.h"
#include "media/toolkit/udp_socket.h"

namespace {

constexpr uint32_t kLoopback = 0x7F000001;
constexpr int kPayloadBytes = 160;  // 20 ms of G.711
constexpr int kBatch = 32;          // packets in flight at once, well within a socket's buffer

std::unique_ptr<corvel::RtpSession> Session() {
  for (int attempt = 0; attempt < 20; ++attempt) {
    auto session = corvel::RtpSession::Create(0, "127.0.0.1", 0, false, true);
    if (session) return session;
  }
  return nullptr;
}

corvel::RtpPacket AudioPacket() {
  corvel::RtpPacket packet;
  packet.payloadType = 0;
  packet.sequence = 1000;
  packet.timestamp = 160000;
  packet.ssrc = 0x1234ABCD;
  const std::vector<uint8_t> payload(kPayloadBytes, 0x55);
  packet.SetPayload(payload.data(), kPayloadBytes);
  return packet;
}

void Build(benchmark::State& state) {
  const corvel::RtpPacket packet = AudioPacket();
  for (auto _ : state) {
    std::optional<corvel::PacketBuffer> buffer =
        corvel::PacketBuffer::Create(corvel::RtpSession::kBuildBufferBytes);
    corvel::RtpPacket::Build(packet, *buffer);
    benchmark::DoNotOptimize(buffer->data());
  }
  state.SetItemsProcessed(state.iterations());
}

void Parse(benchmark::State& state) {
  std::optional<corvel::PacketBuffer> buffer = corvel::PacketBuffer::Create(4096);
  corvel::RtpPacket::Build(AudioPacket(), *buffer);
  for (auto _ : state) {
    std::optional<corvel::RtpPacket> packet =
        corvel::RtpPacket::Parse(buffer->data(), buffer->length());
    benchmark::DoNotOptimize(packet);
  }
  state.SetItemsProcessed(state.iterations());
}

// Session::Send: record, build into a fresh buffer, one datagram to the one destination. The
// sink is drained outside the timing so its buffer never overflows.
void BuildAndSend(benchmark::State& state) {
  auto session = Session();
  auto sink = corvel::UdpSocket::Open("127.0.0.1", 0, false);
  if (!session || !sink) {
    state.SkipWithError("no loopback sockets");
    return;
  }
  session->AddDestination(0, kLoopback, sink->localPort());
  const std::vector<uint8_t> payload(kPayloadBytes, 0x55);
  int inFlight = 0;
  for (auto _ : state) {
    session->Send(payload.data(), kPayloadBytes, 0, 160, false);
    if (++inFlight == kBatch) {
      state.PauseTiming();
      while (inFlight > 0 && sink->Receive(1000))
        --inFlight;
      inFlight = 0;
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations());
}

// UdpSocket::Receive and Parse of datagrams already waiting, as the receive thread does; the
// batch is sent outside the timing.
void ReceiveAndParse(benchmark::State& state) {
  auto receiver = corvel::UdpSocket::Open("127.0.0.1", 0, false);
  auto sender = corvel::UdpSocket::Open("127.0.0.1", 0, false);
  if (!receiver || !sender) {
    state.SkipWithError("no loopback sockets");
    return;
  }
  std::optional<corvel::PacketBuffer> wire = corvel::PacketBuffer::Create(4096);
  corvel::RtpPacket::Build(AudioPacket(), *wire);
  int waiting = 0;
  for (auto _ : state) {
    if (waiting == 0) {
      state.PauseTiming();
      for (int i = 0; i < kBatch; ++i) {
        sender->SendTo(wire->data(), wire->length(), kLoopback, receiver->localPort());
      }
      waiting = kBatch;
      state.ResumeTiming();
    }
    std::optional<corvel::Datagram> datagram = receiver->Receive(1000);
    if (!datagram) {
      state.SkipWithError("a datagram went missing");
      break;
    }
    std::optional<corvel::RtpPacket> packet =
        corvel::RtpPacket::Parse(datagram->data.data(), datagram->length);
    benchmark::DoNotOptimize(packet);
    --waiting;
  }
  state.SetItemsProcessed(state.iterations());
}

// Send on one session, through its socket and the other's receive thread and queue, to Receive.
void SessionToSession(benchmark::State& state) {
  auto a = Session();
  auto b = Session();
  if (!a || !b) {
    state.SkipWithError("no loopback sockets");
    return;
  }
  a->AddDestination(0, kLoopback, b->rtpPort());
  const std::vector<uint8_t> payload(kPayloadBytes, 0x55);
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i)
      a->Send(payload.data(), kPayloadBytes, 0, 160, false);
    for (int i = 0; i < kBatch; ++i) {
      if (!b->Receive(1000)) {
        state.SkipWithError("a packet went missing");
        return;
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}

}  // namespace

BENCHMARK(Build)->Name("RTP/Build");
BENCHMARK(Parse)->Name("RTP/Parse");
BENCHMARK(BuildAndSend)->Name("RTP/BuildAndSend");
BENCHMARK(ReceiveAndParse)->Name("RTP/ReceiveAndParse");
BENCHMARK(SessionToSession)->Name("RTP/SessionToSession")->UseRealTime();

BENCHMARK_MAIN();
