// What the RTP server tests share: a log that keeps its lines with their times, servers opened on
// ports the kernel picks, the codec table of the shipped configuration, and plain peers.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "loopback.h"
#include "media/audio/audio_backend_registry.h"
#include "media/audio/audio_test_support.h"
#include "media/rtp/rtp_server.h"

namespace corvel::testing {

class LogRecorder {
 public:
  using Clock = std::chrono::steady_clock;
  struct Line {
    std::string text;
    Clock::time_point at;
  };

  RtpServer::LogSink sink() {
    return [this](std::string_view line) {
      const std::lock_guard<std::mutex> guard(mutex_);
      lines_.push_back({std::string(line), Clock::now()});
    };
  }
  std::vector<Line> lines() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return lines_;
  }
  // The lines that begin with `prefix`.
  std::vector<Line> starting(const std::string& prefix) const {
    std::vector<Line> found;
    for (const Line& line : lines())
      if (line.text.rfind(prefix, 0) == 0) found.push_back(line);
    return found;
  }
  bool has(const std::string& text) const {
    for (const Line& line : lines())
      if (line.text == text) return true;
    return false;
  }
  int count(const std::string& prefix) const { return static_cast<int>(starting(prefix).size()); }

 private:
  mutable std::mutex mutex_;  // guards lines_
  std::vector<Line> lines_;
};

// The codec settings a shipped configuration gives: DTMF 101, AMR 98 (off), G.729 18, PCMA 8,
// PCMU 0.
inline CodecTable ShippedCodecTable() {
  CodecTable table;
  table.set(CodecSlot::kDtmf, true, 101);
  table.set(CodecSlot::kAmr, false, 98);
  table.set(CodecSlot::kG729, true, 18);
  table.set(CodecSlot::kPcma, true, 8);
  table.set(CodecSlot::kPcmu, true, 0);
  return table;
}

// Opens on 127.0.0.1 with a kernel-chosen port; the port above may be taken, hence the tries.
inline bool OpenOnLoopback(RtpServer& server) {
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (server.Open("127.0.0.1", 0, false)) return true;
  }
  return false;
}

struct ServerUnderTest {
  explicit ServerUnderTest(std::shared_ptr<AudioBackend> audio = CreateAudioBackend("null"))
      : server(log.sink(), &owner, std::move(audio)) {}
  LogRecorder log;
  RecordingPoster owner;
  RtpServer server;
};

inline std::vector<uint8_t> Bytes(std::string_view text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// A datagram of RTP version 2 from a peer.
inline std::vector<uint8_t> RtpDatagram(uint8_t payloadType, uint16_t sequence, uint32_t timestamp,
                                        uint32_t ssrc, const std::vector<uint8_t>& payload,
                                        bool marker = false) {
  RtpPacket packet;
  packet.payloadType = payloadType;
  packet.marker = marker ? 1 : 0;
  packet.sequence = sequence;
  packet.timestamp = timestamp;
  packet.ssrc = ssrc;
  packet.SetPayload(payload.data(), static_cast<int>(payload.size()));
  std::optional<PacketBuffer> buffer = PacketBuffer::Create(64);
  if (!buffer || RtpPacket::Build(packet, *buffer) != 0) return {};
  return std::vector<uint8_t>(buffer->data(), buffer->data() + buffer->length());
}

inline std::string PayloadString(const RtpPacket& packet) {
  return std::string(packet.payload.begin(), packet.payload.begin() + packet.payloadLength);
}

}  // namespace corvel::testing
