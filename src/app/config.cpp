#include "app/config.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>

#include "app/profile_file.h"

#ifndef CORVEL_SERVICE_HOST
#define CORVEL_SERVICE_HOST "127.0.0.1"
#endif
#ifndef CORVEL_WEB_SITE
#define CORVEL_WEB_SITE "http://127.0.0.1:8080"
#endif

namespace corvel {
namespace {

constexpr int kMinimumRegistrationLifetime = 600;
constexpr std::size_t kMinimumWebAddressLength = 7;

bool IsFile(const std::string& path) {
  struct stat info {};
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return lower(x) == lower(y);
  });
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
    text.remove_suffix(1);
  return text;
}

}  // namespace

std::string DefaultServiceHost() {
  return CORVEL_SERVICE_HOST;
}
std::string DefaultWebSite() {
  return CORVEL_WEB_SITE;
}

std::size_t ProfileBufferSize(std::string_view section) {
  if (EqualsIgnoreCase(section, "UDP")) return 60;
  if (EqualsIgnoreCase(section, "WEB")) return 1024;
  return 256;
}

std::string NativePath(std::string_view configuredPath) {
  std::string path(configuredPath);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

HostPort SplitHostPort(std::string_view value, int defaultPort) {
  std::string_view fields[2];
  std::size_t count = 0;
  while (!value.empty() && count < 2) {
    const std::size_t comma = value.find(',');
    fields[count++] = value.substr(0, comma);
    value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
  }
  HostPort result;
  const std::string_view host = count >= 1 ? TrimBlanks(fields[0]) : std::string_view();
  result.host = host.empty() ? "127.0.0.1" : std::string(host);
  result.port = count >= 2 ? LeadingDecimal(fields[1]) : defaultPort;
  return result;
}

CodecSetting ParseCodecSetting(std::string_view value, std::uint8_t defaultPayloadType) {
  CodecSetting setting;
  if (TrimBlanks(value).empty()) return setting;
  const std::size_t comma = value.find(',');
  setting.enabled = LeadingDecimal(value.substr(0, comma)) != 0;
  setting.payloadType = comma == std::string_view::npos
                            ? defaultPayloadType
                            : static_cast<std::uint8_t>(LeadingDecimal(value.substr(comma + 1)));
  return setting;
}

SipRegistration RegistrationFor(int sipRegTime) {
  SipRegistration registration;
  registration.period = sipRegTime;
  if (sipRegTime < 1) return registration;
  registration.enabled = true;
  const long long twice = 2LL * sipRegTime;
  registration.lifetime =
      static_cast<int>(std::clamp<long long>(twice, kMinimumRegistrationLifetime, INT_MAX));
  return registration;
}

int CaptureFrameBytes(int packetTime) {
  constexpr int kBytesPerMillisecond = 16;
  constexpr int kDefaultFrameBytes = 320;
  // Zero would ask the device for empty buffers; it is treated like a negative value.
  if (packetTime <= 0 || packetTime > INT_MAX / kBytesPerMillisecond) return kDefaultFrameBytes;
  return packetTime * kBytesPerMillisecond;
}

std::string Config::text(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const {
  return ReadProfileString(path_, section, key, defaultValue, ProfileBufferSize(section));
}

int Config::integer(std::string_view section, std::string_view key, int defaultValue) const {
  return ReadProfileInt(path_, section, key, defaultValue);
}

HostPort Config::udpLocal() const {
  return SplitHostPort(text("UDP", "Local", ""), 6000);
}

HostPort Config::udpRemote() const {
  return SplitHostPort(text("UDP", "Remote", DefaultServiceHost() + ",3905"), 3905);
}

std::string Config::rtpHost() const {
  return text("RTP", "rtpHost", "");
}
int Config::rtpPort() const {
  return integer("RTP", "rtpPort", 10000);
}
int Config::natMode() const {
  return integer("RTP", "natMode", 1);
}
int Config::natType() const {
  return integer("RTP", "natType", 120);
}
int Config::natSvrPort() const {
  return integer("RTP", "natSvrPort", 10000);
}
std::string Config::natSvrHost() const {
  return text("RTP", "natSvrHost", DefaultServiceHost());
}

int Config::silenceValue() const {
  return integer("WAVE", "silenceValue", 100);
}
int Config::packetTime() const {
  return integer("WAVE", "packetTime", 20);
}
int Config::playoutDelay() const {
  return integer("WAVE", "playoutDelay", 600);
}

CodecSetting Config::codec(std::string_view key, std::string_view defaultValue,
                           std::uint8_t defaultPayloadType) const {
  return ParseCodecSetting(text("WAVE", key, defaultValue), defaultPayloadType);
}

CodecSetting Config::dtmf() const {
  return codec("dtmf", "1,101", 101);
}
CodecSetting Config::samr() const {
  return codec("samr", "0,98", 98);
}
CodecSetting Config::g729() const {
  return codec("g729", "1,18", 18);
}
CodecSetting Config::pcma() const {
  return codec("pcma", "1,8", 8);
}
CodecSetting Config::pcmu() const {
  return codec("pcmu", "1,0", 0);
}

std::optional<std::string> Config::audioDevice() const {
  // A default that no real value can be tells "absent" from "empty".
  constexpr std::string_view kAbsent = "\x01";
  std::string value = text("WAVE", "audioDevice", kAbsent);
  if (value == kAbsent || value.empty()) return std::nullopt;
  return value;
}

std::string Config::sipHost() const {
  return text("SIP", "sipHost", "");
}
int Config::sipPort() const {
  return integer("SIP", "sipPort", 5060);
}
std::string Config::sipSvrHost() const {
  return text("SIP", "sipSvrHost", DefaultServiceHost());
}
int Config::sipSvrPort() const {
  return integer("SIP", "sipSvrPort", 5060);
}
int Config::sipRegTime() const {
  return integer("SIP", "sipRegTime", 40);
}

std::string Config::ringFile(RingKind kind, const std::string& programFolder) const {
  std::string_view key;
  std::string_view fileName;
  switch (kind) {
    case RingKind::kCallRing:
      key = "callRing", fileName = "RingCall.wav";
      break;
    case RingKind::kCrvtRing:
      key = "crvtRing", fileName = "RingCRVT.wav";
      break;
    case RingKind::kFileRing:
      key = "fileRing", fileName = "RingFile.wav";
      break;
    case RingKind::kCallBye:
      key = "callBye", fileName = "Bye.wav";
      break;
  }
  const std::string fallback = programFolder + "Wave/" + std::string(fileName);
  const std::string configured = NativePath(text("SIP", key, fallback));
  return IsFile(configured) ? configured : fallback;
}

std::string Config::web(std::string_view key, std::string_view defaultPath) const {
  const std::string fallback = DefaultWebSite() + std::string(defaultPath);
  std::string value = text("WEB", key, fallback);
  return value.size() < kMinimumWebAddressLength ? fallback : value;
}

std::string Config::rechargeHttp() const {
  return web("rechargeHttp", "/recharge.do");
}
std::string Config::callRecordHttp() const {
  return web("callRecordHttp", "/user/login.do");
}
std::string Config::tipHttp() const {
  return web("tipHttp", "/user/login.do");
}
std::string Config::lookupHttp() const {
  return web("lookupHttp", "/getPwd.do");
}

std::string Config::registerHttp() const {
  std::string value = web("registerHttp", "/reg.do?t=client&id=");
  if (value.find("client") == std::string::npos) value += "?t=client&id=";
  return value;
}

}  // namespace corvel
