// The media engine of a call. It owns an RTP session on the RTP port (and RTCP above it), the
// queue of captured microphone frames, the players of the remote sources, and two threads: the
// send thread encodes captured frames and sends them, the receive thread decodes what arrives and
// plays it. Around this it does NAT traversal: it asks the NAT server for the public address of
// its RTP port ("GetNAT"), keeps that mapping alive, sends "Detect" probes towards the media peer
// while no audio flows, and learns or confirms the remote media address from the packets that
// arrive. It also sends DTMF digits as telephone-events.
//
// One server lives as long as the phone module; calls run from SetRemote to EndRTPSession. Every
// operation may be called from any thread. Log lines go to the log sink while the server is open;
// window messages go to the posters given (WM_NAT_READY to the owner, the level meters' messages
// to the meters).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "media/audio/capture_consumer.h"
#include "media/rtp/rtp_destination.h"
#include "media/rtp/rtp_server_codec.h"
#include "media/rtp/rtp_server_nat.h"
#include "media/toolkit/blocking_queue.h"
#include "media/toolkit/log_throttle.h"
#include "media/toolkit/synchronized.h"

namespace corvel {

class AudioBackend;
class PlayerTable;
class RtpSession;
class WaveCapture;
class WavePlayer;
class WindowPoster;
struct RtpPacket;

class RtpServer final : public CaptureConsumer {
 public:
  // Takes one finished log line (with its line end); called from any of the server's threads.
  using LogSink = std::function<void(std::string_view line)>;

  static constexpr int kCaptureQueueCapacity = 10000;
  static constexpr int kCodecBufferBytes = 10000;
  static constexpr int kPlayerThreshold = 500;  // the player table's threshold at Open
  static constexpr uint8_t kDefaultNatPayloadType = 120;
  static constexpr int kDefaultSilenceValue = 20;
  static constexpr int kPushWaitMs = 500;
  static constexpr uint32_t kShortestNatIntervalMs = 40;
  // Frames whose PCM could not pass through the fixed codec buffers are refused.
  static constexpr int kLargestFrameBytes = 2 * kCodecBufferBytes;

  // `owner` (may be null) receives WM_NAT_READY; players play through `audio` (none: no sound).
  RtpServer(LogSink log, WindowPoster* owner, std::shared_ptr<AudioBackend> audio);
  ~RtpServer() override;  // Close()
  RtpServer(const RtpServer&) = delete;
  RtpServer& operator=(const RtpServer&) = delete;

  // Binds the RTP port (0: the kernel picks one; localPort() then tells which) and the port above
  // it, on the wildcard address with bindAny, and starts the threads. True at once when open.
  bool Open(const std::string& localHost, uint16_t localPort, bool bindAny);
  // Stops and joins both threads, closes the session, drops the players and queued frames and
  // forgets the capture. No thread of the server runs once it returns.
  void Close();

  // The NAT server (dotted IPv4 text) and the payload type of probes and replies. False when not
  // open or the text is missing or not a dotted IPv4 address.
  bool SetNatServer(uint8_t payloadType, const char* serverHostText, uint16_t serverPort);
  // The silence threshold of the send side and the level meter, and the player table's threshold
  // for players created from now on.
  void SetSilenceValue(int value);
  // The jitter buffer's playout delay in ms for the players of this and later calls.
  void SetPlayoutDelay(int delayMs);
  bool SetSendPayloadType(uint8_t payloadType);  // false when not open
  // The remote media address from the SDP: starts sending and receiving. False when not open,
  // the host is missing or not a dotted IPv4 address, the port is 0 or the address cannot be
  // added.
  bool SetRemote(const char* hostText, uint16_t port);
  // A filled capture buffer (the capture's hand-off thread); waits up to 500 ms for queue room.
  bool PushCaptured(const uint8_t* pcm, int byteCount) override;
  // Sends the key `event` (0-9, 10 "*", 11 "#", up to 15) as five telephone-event packets, on
  // the calling thread. False when not open, not in a call or for another event.
  bool SendDtmf(int event);
  // The last call has ended: stops the capture (up to 200 ms), forgets the remote and the
  // players, and asks the NAT server afresh.
  void EndRTPSession();

  // Set up by the phone module.
  void SetNatMode(bool on);
  void SetCodecTable(const CodecTable& table);
  void SetCapture(WaveCapture* capture);  // not owned; must outlive its use here or be unset
  // Where the microphone and speaker levels go as WM_LEVEL_METER (either may be null); not owned.
  void SetLevelMeters(WindowPoster* microphone, WindowPoster* speaker);
  // The probe schedule; the intervals of the NAT server's protocol unless a test shortens them
  // (to no less than 40 ms each).
  void SetNatTiming(const NatTiming& timing);

  // Read by the SDP builder.
  std::string localHost() const { return localHost_.get(); }
  uint16_t localPort() const { return localPort_; }
  bool natMode() const { return natMode_; }
  NatAddress natAddress() const { return natAddress_.get(); }  // host and port as one value
  std::string natHost() const { return natAddress().host; }
  uint16_t natPort() const { return natAddress().port; }
  CodecTable codecTable() const { return codecTable_.get(); }
  // Packets from senders other than the remote media address, dropped unheard.
  uint64_t strangerPackets() const { return strangerPackets_.load(); }

  // State, for the phone module and the tests.
  bool active() const { return active_; }
  bool sending() const { return sending_; }
  bool receiving() const { return receiving_; }
  bool remoteFixed() const { return remoteFixed_; }
  bool natQueryPending() const { return natQueryPending_; }
  uint8_t natPayloadType() const { return natPayloadType_; }
  uint8_t sendPayloadType() const { return sendPayloadType_; }
  int silenceValue() const { return silenceValue_; }
  Ipv4Endpoint natServer() const { return natServer_.load(); }
  Ipv4Endpoint probeTarget() const { return probe_.load(); }
  uint32_t ssrc() const;  // of the session; 0 when not open
  std::vector<RtpDestination> destinations() const;
  int playerCount() const;
  std::shared_ptr<const WavePlayer> player(uint32_t ssrc) const;

 private:
  using Frame = std::vector<uint8_t>;  // an empty frame only wakes the send thread
  using FrameQueue = BlockingQueue<Frame>;

  struct Media {  // what the threads and the calls share; replaced only by Open and Close
    std::shared_ptr<RtpSession> session;
    std::shared_ptr<PlayerTable> players;
    std::shared_ptr<FrameQueue> captureQueue;
  };

  void Log(const char* format, ...) const __attribute__((format(printf, 2, 3)));
  Media media() const;
  void Wake() const;
  void SendProbe(RtpSession& session, std::string_view text, Ipv4Endpoint to) const;
  void CloseLocked();

  void SendLoop(const Media& media, const std::stop_token& stop);
  void ReceiveLoop(const Media& media, const std::stop_token& stop);
  void ReceivePacket(const Media& media, const RtpPacket& packet, MediaDecoder& decoder,
                     std::vector<int16_t>& pcm);
  void HandleNatReply(std::string_view text);

  const LogSink log_;
  WindowPoster* const owner_;
  const std::shared_ptr<AudioBackend> audio_;

  std::mutex lifecycleMutex_;  // serialises Open and Close; guards the two threads
  std::jthread receiveThread_;
  std::jthread sendThread_;

  mutable std::mutex mediaMutex_;  // guards media_
  Media media_;

  std::atomic<bool> active_{false};
  Synchronized<std::string> localHost_;
  std::atomic<uint16_t> localPort_{0};
  std::atomic<uint8_t> natPayloadType_{kDefaultNatPayloadType};
  std::atomic<bool> natMode_{true};
  Synchronized<NatAddress> natAddress_;  // host and port replaced together
  AtomicEndpoint natServer_;
  std::atomic<bool> sending_{false};
  std::atomic<bool> receiving_{false};
  std::atomic<int> silenceValue_{kDefaultSilenceValue};
  std::atomic<int> playoutDelayMs_{0};  // 0: the players' default
  std::atomic<bool> remoteFixed_{false};
  std::atomic<uint8_t> sendPayloadType_{0};
  std::atomic<bool> natQueryPending_{true};
  AtomicEndpoint probe_;  // "Detect" goes to the NAT server's address at the remote media port
  Synchronized<CodecTable> codecTable_;
  Synchronized<NatTiming> timing_;
  std::atomic<WaveCapture*> capture_{nullptr};
  std::atomic<WindowPoster*> microphoneMeter_{nullptr};
  std::atomic<WindowPoster*> speakerMeter_{nullptr};
  // Until the remote is confirmed any sender triggers a learning line; a stranger's flood must
  // not fill the disk with them.
  LogThrottle learnLog_;
  std::atomic<uint64_t> strangerPackets_{0};
};

}  // namespace corvel
