// CorvelConfig.ini as any bytes: every accessor of Config reads it, and the profile calls under
// it must agree with each other. A value fits its buffer in GBK widths and is UTF-8 whatever the
// file's encoding; a missing key gives the default; names compare case-insensitively; the
// number of a key is the leading number of its text.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/config.h"
#include "app/profile_file.h"
#include "fuzz_check.h"
#include "fuzz_file.h"
#include "media/toolkit/text_codec.h"

namespace {

// Bytes the text takes in GBK: one for ASCII, two for any other character.
std::size_t GbkWidth(std::string_view utf8) {
  std::size_t width = 0;
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      ++width;
    } else if (byte >= 0xC0) {
      width += 2;
    }
  }
  return width;
}

// A line never holds a line break, so no key of a file is named like this.
constexpr std::string_view kMissingKey = "no\nsuch key";
// Larger than any file the reader takes, so no value is cut.
constexpr std::size_t kUncut = 64 * 1024 * 1024;

// The keys the client reads, with their sections.
struct Key {
  std::string_view section;
  std::string_view name;
};
constexpr Key kKeys[] = {
    {"UDP", "Local"},        {"UDP", "Remote"},       {"RTP", "rtpHost"},
    {"RTP", "rtpPort"},      {"RTP", "natMode"},      {"RTP", "natType"},
    {"RTP", "natSvrPort"},   {"RTP", "natSvrHost"},   {"WAVE", "silenceValue"},
    {"WAVE", "packetTime"},  {"WAVE", "dtmf"},        {"WAVE", "samr"},
    {"WAVE", "g729"},        {"WAVE", "pcma"},        {"WAVE", "pcmu"},
    {"WAVE", "audioDevice"}, {"SIP", "sipHost"},      {"SIP", "sipPort"},
    {"SIP", "sipSvrHost"},   {"SIP", "sipSvrPort"},   {"SIP", "sipRegTime"},
    {"SIP", "callRing"},     {"WEB", "rechargeHttp"}, {"WEB", "registerHttp"},
};

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

void CheckProfileCalls(const std::string& path) {
  for (const Key& key : kKeys) {
    const std::size_t buffer = corvel::ProfileBufferSize(key.section);
    const std::string value = corvel::ReadProfileString(path, key.section, key.name, "", buffer);
    FUZZ_REQUIRE(corvel::IsValidUtf8(value) && GbkWidth(value) < buffer);
    FUZZ_REQUIRE(value ==
                 corvel::ReadProfileString(path, Upper(key.section), Upper(key.name), "", buffer));

    // A default that no value can be tells a missing key from a present one.
    const std::string whole =
        corvel::ReadProfileString(path, key.section, key.name, kMissingKey, kUncut);
    const int number = corvel::ReadProfileInt(path, key.section, key.name, INT_MIN);
    if (whole == kMissingKey) {
      FUZZ_REQUIRE(value.empty() && number == INT_MIN);
    } else {
      FUZZ_REQUIRE(value == corvel::CutUtf8ToGbkWidth(whole, buffer - 1));
      FUZZ_REQUIRE(number == (whole.empty() ? INT_MIN : corvel::LeadingDecimal(whole)));
    }
  }
  FUZZ_REQUIRE(corvel::ReadProfileString(path, "WAVE", kMissingKey, "default \t ", 256) ==
               "default");
  FUZZ_REQUIRE(corvel::ReadProfileInt(path, "WAVE", kMissingKey, -7) == -7);
  FUZZ_REQUIRE(corvel::ReadProfileString(path, "WAVE", "packetTime", "x", 0).empty());
}

void CheckConfig(const std::string& path) {
  const corvel::Config config(path);
  FUZZ_REQUIRE(!config.udpLocal().host.empty() && !config.udpRemote().host.empty());
  (void)config.rtpHost();
  (void)config.rtpPort();
  (void)config.natMode();
  (void)config.natType();
  (void)config.natSvrPort();
  (void)config.natSvrHost();
  (void)config.silenceValue();
  const int frame = config.captureFrameBytes();
  FUZZ_REQUIRE(frame > 0 && frame % 16 == 0);
  // A format the file does not name has the client's default.
  const struct {
    std::string_view key;
    corvel::CodecSetting value;
    corvel::CodecSetting byDefault;
  } codecs[] = {
      {"dtmf", config.dtmf(), {true, 101}}, {"samr", config.samr(), {false, 98}},
      {"g729", config.g729(), {true, 18}},  {"pcma", config.pcma(), {true, 8}},
      {"pcmu", config.pcmu(), {true, 0}},
  };
  for (const auto& codec : codecs) {
    if (corvel::ReadProfileString(path, "WAVE", codec.key, kMissingKey, kUncut) == kMissingKey)
      FUZZ_REQUIRE(codec.value == codec.byDefault);
  }
  if (const std::optional<std::string> device = config.audioDevice())
    FUZZ_REQUIRE(!device->empty());
  (void)config.sipHost();
  (void)config.sipPort();
  (void)config.sipSvrHost();
  (void)config.sipSvrPort();
  const corvel::SipRegistration registration = config.sipRegistration();
  FUZZ_REQUIRE(registration.enabled == (registration.period >= 1));
  FUZZ_REQUIRE(!registration.enabled || registration.lifetime >= 600);
  for (const corvel::RingKind kind : {corvel::RingKind::kCallRing, corvel::RingKind::kCrvtRing,
                                      corvel::RingKind::kFileRing, corvel::RingKind::kCallBye}) {
    FUZZ_REQUIRE(!config.ringFile(kind, "/nonexistent-corvel-folder/").empty());
  }
  for (const std::string& page :
       {config.rechargeHttp(), config.callRecordHttp(), config.tipHttp(), config.lookupHttp()}) {
    FUZZ_REQUIRE(page.size() >= 7 && corvel::IsValidUtf8(page));
  }
  FUZZ_REQUIRE(config.registerHttp().find("client") != std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const corvel::fuzz::MemoryFile file(data, size);
  if (!file.ok()) return 0;
  CheckProfileCalls(file.path());
  CheckConfig(file.path());
  return 0;
}
