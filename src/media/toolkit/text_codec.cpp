#include "media/toolkit/text_codec.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace corvel {
namespace {

// Windows code page 936 is what the service and the Windows client wrote; glibc names it CP936.
constexpr const char* kGbkName = "CP936";

std::size_t Utf8SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// Length of the well-formed UTF-8 sequence at the start of bytes, or 0 when there is none.
std::size_t ValidUtf8SequenceAt(std::string_view bytes) {
  const auto lead = static_cast<unsigned char>(bytes[0]);
  const std::size_t length = Utf8SequenceLength(lead);
  if (length == 0 || length > bytes.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(bytes[i]) & 0xC0) != 0x80) return 0;
  }
  if (length >= 3) {
    const auto second = static_cast<unsigned char>(bytes[1]);
    if (lead == 0xE0 && second < 0xA0) return 0;  // overlong
    if (lead == 0xED && second > 0x9F) return 0;  // surrogate
    if (lead == 0xF0 && second < 0x90) return 0;  // overlong
    if (lead == 0xF4 && second > 0x8F) return 0;  // above U+10FFFF
  }
  return length;
}

bool IsGbkLead(unsigned char byte) {
  return byte >= 0x81 && byte <= 0xFE;
}

class Iconv {
 public:
  Iconv(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
  ~Iconv() {
    if (valid()) iconv_close(handle_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as much as it can; on an unconvertible or invalid sequence it appends
  // `replacement`, skips `skip(input)` bytes and goes on.
  template <typename Skip>
  std::string Convert(std::string_view input, std::string_view replacement, Skip skip) {
    std::string out;
    out.reserve(input.size() * 2);
    char buffer[512];
    auto* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    while (inLeft > 0) {
      char* outPtr = buffer;
      std::size_t outLeft = sizeof buffer;
      const std::size_t rc = iconv(handle_, &in, &inLeft, &outPtr, &outLeft);
      out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
      if (rc != static_cast<std::size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: a sequence that cannot be converted, or one cut off at the end.
      const std::size_t n = std::min(inLeft, skip(std::string_view(in, inLeft)));
      if (errno == EINVAL && n >= inLeft) {
        inLeft = 0;  // a partial character at the end is dropped
        break;
      }
      out.append(replacement);
      in += n;
      inLeft -= n;
      iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t handle_;
};

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  while (!bytes.empty()) {
    const std::size_t n = ValidUtf8SequenceAt(bytes);
    if (n == 0) return false;
    bytes.remove_prefix(n);
  }
  return true;
}

std::string GbkToUtf8(std::string_view gbk) {
  Iconv converter("UTF-8", kGbkName);
  if (!converter.valid()) return std::string(gbk);
  return converter.Convert(gbk, "\xEF\xBF\xBD", [](std::string_view rest) -> std::size_t {
    return IsGbkLead(static_cast<unsigned char>(rest[0])) && rest.size() >= 2 ? 2 : 1;
  });
}

std::string Utf8ToGbk(std::string_view utf8) {
  Iconv converter(kGbkName, "UTF-8");
  if (!converter.valid()) return std::string(utf8);
  return converter.Convert(utf8, "?", [](std::string_view rest) -> std::size_t {
    const std::size_t n = ValidUtf8SequenceAt(rest);
    return n == 0 ? 1 : n;
  });
}

std::string_view CutGbk(std::string_view gbk, std::size_t maxBytes) {
  std::size_t end = 0;
  while (end < gbk.size()) {
    const std::size_t width = IsGbkLead(static_cast<unsigned char>(gbk[end])) ? 2 : 1;
    if (end + width > maxBytes || end + width > gbk.size()) break;
    end += width;
  }
  return gbk.substr(0, end);
}

std::string_view CutUtf8(std::string_view utf8, std::size_t maxBytes) {
  if (utf8.size() <= maxBytes) return utf8;
  std::size_t end = maxBytes;
  // Step back over continuation bytes to the start of the character that does not fit.
  while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80)
    --end;
  return utf8.substr(0, end);
}

std::string_view CutUtf8ToGbkWidth(std::string_view utf8, std::size_t maxBytes) {
  std::size_t end = 0;
  std::size_t width = 0;
  while (end < utf8.size()) {
    const std::size_t valid = ValidUtf8SequenceAt(utf8.substr(end));
    const std::size_t length = valid == 0 ? 1 : valid;
    const std::size_t charWidth = length == 1 ? 1 : 2;
    if (width + charWidth > maxBytes) break;
    width += charWidth;
    end += length;
  }
  return utf8.substr(0, end);
}

std::string GbkField(std::string_view utf8, std::size_t width, char pad) {
  const std::string gbk = Utf8ToGbk(utf8);
  std::string field(CutGbk(gbk, width));
  field.resize(width, pad);
  return field;
}

}  // namespace corvel
