// Typed access to CorvelConfig.ini. Every accessor reads the file at the moment it is called,
// so a value changed while the client runs is seen by the next reader.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvel {

// The name the service link opens, relative to the working folder; everyone else uses the
// absolute ClientState::configPath.
inline constexpr const char* kServiceLinkConfigFile = "./CorvelConfig.ini";
inline constexpr const char* kConfigFileName = "CorvelConfig.ini";

// Where the service lives when the configuration does not say (deployment values).
std::string DefaultServiceHost();
std::string DefaultWebSite();

struct HostPort {
  std::string host;
  int port = 0;
  friend bool operator==(const HostPort&, const HostPort&) = default;
};

// An "enabled,payloadType" codec value.
struct CodecSetting {
  bool enabled = false;
  std::uint8_t payloadType = 0;
  friend bool operator==(const CodecSetting&, const CodecSetting&) = default;
};

// Registration timing derived from sipRegTime.
struct SipRegistration {
  bool enabled = false;  // sipRegTime >= 1
  int period = 0;        // refresh period, seconds
  int lifetime = 0;      // requested lifetime: 2 x period, at least 600
  friend bool operator==(const SipRegistration&, const SipRegistration&) = default;
};

enum class RingKind { kCallRing, kCrvtRing, kFileRing, kCallBye };

// Splits "address,port". Fields end at a comma or the end of the text; a comma at the very end
// adds no empty field. An empty or missing first field gives "127.0.0.1"; fewer than two fields
// give defaultPort.
HostPort SplitHostPort(std::string_view value, int defaultPort);

// Parses "enabled,payloadType". Without a comma the payload type is defaultPayloadType; an
// empty value leaves the format off with payload type 0.
CodecSetting ParseCodecSetting(std::string_view value, std::uint8_t defaultPayloadType);

// sipRegTime to its period and lifetime.
SipRegistration RegistrationFor(int sipRegTime);

// Capture frame size for a packet time: 16 bytes per millisecond (8000 Hz, 16 bits, mono);
// a packet time of 0 or less gives 320 bytes (20 ms).
int CaptureFrameBytes(int packetTime);

class Config {
 public:
  explicit Config(std::string path) : path_(std::move(path)) {}

  const std::string& path() const { return path_; }

  // [UDP]
  HostPort udpLocal() const;
  HostPort udpRemote() const;

  // [RTP]
  std::string rtpHost() const;
  int rtpPort() const;
  int natMode() const;
  int natType() const;
  int natSvrPort() const;
  std::string natSvrHost() const;

  // [WAVE]
  int silenceValue() const;
  int packetTime() const;
  // The player's pre-buffer in ms (600); see PlayoutLimits for what the player makes of it.
  int playoutDelay() const;
  int captureFrameBytes() const { return CaptureFrameBytes(packetTime()); }
  CodecSetting dtmf() const;
  CodecSetting samr() const;
  CodecSetting g729() const;
  CodecSetting pcma() const;
  CodecSetting pcmu() const;
  // Optional audio backend choice ("portaudio", "file:in.wav,outdir", "null"); none when absent.
  std::optional<std::string> audioDevice() const;

  // [SIP]
  std::string sipHost() const;
  int sipPort() const;
  std::string sipSvrHost() const;
  int sipSvrPort() const;
  int sipRegTime() const;
  SipRegistration sipRegistration() const { return RegistrationFor(sipRegTime()); }
  // The configured sound file when it exists, else programFolder + "Wave/<default name>".
  std::string ringFile(RingKind kind, const std::string& programFolder) const;

  // [WEB] full page addresses; a configured value of 6 characters or fewer counts as absent.
  std::string rechargeHttp() const;
  std::string callRecordHttp() const;
  std::string tipHttp() const;
  // Ends so that the agent identifier can follow.
  std::string registerHttp() const;
  std::string lookupHttp() const;

  // Raw reads in a section's buffer size, for keys without an accessor.
  std::string text(std::string_view section, std::string_view key,
                   std::string_view defaultValue) const;
  int integer(std::string_view section, std::string_view key, int defaultValue) const;

 private:
  CodecSetting codec(std::string_view key, std::string_view defaultValue,
                     std::uint8_t defaultPayloadType) const;
  std::string web(std::string_view key, std::string_view defaultPath) const;

  std::string path_;
};

// The profile buffer size of a section: 60 for UDP, 1024 for WEB, 256 otherwise.
std::size_t ProfileBufferSize(std::string_view section);

// A path from a configuration file with Windows separators turned into '/'.
std::string NativePath(std::string_view configuredPath);

}  // namespace corvel
