// corvel-codec: turns an 8 kHz mono 16-bit WAV into the payload stream one of the client's codecs
// puts on the wire, and such a stream back into a WAV. For tests, benchmarks and support.
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "payload_stream.h"
#include "wav_file.h"

namespace {

using corvel::codec_tool::Codec;

constexpr int kUsage = 1;
constexpr int kFailed = 2;
constexpr int kDefaultPacketMs = 20;

int Usage() {
  std::fputs(
      "usage: corvel-codec encode CODEC IN.wav OUT [--ptime MS]\n"
      "       corvel-codec decode CODEC IN OUT.wav\n"
      "CODEC is pcmu or pcma (raw G.711 bytes), g729 (raw 10-byte frames) or amr (an .amr\n"
      "file). IN.wav must be 8000 Hz mono 16-bit PCM; MS is the packet time, 20 by default.\n",
      stderr);
  return kUsage;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "corvel-codec: %s\n", message.c_str());
  return kFailed;
}

bool ReadBytes(const std::string& path, std::vector<uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

int Encode(Codec codec, const std::string& in, const std::string& out, int packetMs) {
  std::vector<int16_t> pcm;
  std::string error;
  if (!corvel::codec_tool::ReadWav(in, pcm, error)) return Fail(error);
  std::vector<uint8_t> stream;
  const auto result = corvel::codec_tool::EncodeStream(codec, pcm, packetMs, stream);
  if (!result.ok) return Fail(result.error);
  if (!WriteBytes(out, stream)) return Fail(out + ": cannot write");
  std::printf("%d packets of %d ms, %zu bytes\n", result.packets, packetMs, stream.size());
  return 0;
}

int Decode(Codec codec, const std::string& in, const std::string& out) {
  std::vector<uint8_t> stream;
  if (!ReadBytes(in, stream)) return Fail(in + ": cannot read");
  std::vector<int16_t> pcm;
  const auto result = corvel::codec_tool::DecodeStream(codec, stream, pcm);
  if (!result.ok) return Fail(in + ": " + result.error);
  std::string error;
  if (!corvel::codec_tool::WriteWav(out, pcm, error)) return Fail(error);
  std::printf("%zu samples\n", pcm.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  if (args.size() != 4 && args.size() != 6) return Usage();
  const std::optional<Codec> codec = corvel::codec_tool::CodecFromName(args[1]);
  if (!codec) return Usage();
  const std::string in(args[2]);
  const std::string out(args[3]);
  try {
    if (args[0] == "encode") {
      int packetMs = kDefaultPacketMs;
      if (args.size() == 6) {
        const std::string_view value = args[5];
        const auto parsed = std::from_chars(value.data(), value.data() + value.size(), packetMs);
        if (args[4] != "--ptime" || parsed.ec != std::errc() ||
            parsed.ptr != value.data() + value.size()) {
          return Usage();
        }
      }
      return Encode(*codec, in, out, packetMs);
    }
    if (args[0] == "decode" && args.size() == 4) return Decode(*codec, in, out);
  } catch (const std::exception& failure) {
    return Fail(failure.what());
  }
  return Usage();
}
