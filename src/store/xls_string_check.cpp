#include "store/xls_string_check.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

namespace corvel {
namespace {

constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::size_t kMaxFile = 256u << 20;

std::uint16_t U16(const std::string& b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(b[at]) |
                                    (static_cast<std::uint8_t>(b[at + 1]) << 8));
}
std::uint32_t U32(const std::string& b, std::size_t at) {
  return static_cast<std::uint32_t>(U16(b, at)) |
         (static_cast<std::uint32_t>(U16(b, at + 2)) << 16);
}

// The workbook stream of the compound file, when it lies in ordinary sectors (streams below
// 4096 bytes are too short to hold a string over three records anyway).
std::optional<std::string> WorkbookStream(const std::string& file) {
  if (file.size() < 512 || U16(file, 28) != 0xFFFE) return std::nullopt;
  const unsigned shift = U16(file, 30);
  if (shift != 9 && shift != 12) return std::nullopt;
  const std::size_t sector = std::size_t{1} << shift;
  const std::size_t sectors = (file.size() - 512 + sector - 1) / sector + 1;
  const auto sectorAt = [&](std::uint32_t id) -> std::optional<std::size_t> {
    const std::size_t offset = (static_cast<std::size_t>(id) + 1) * sector;
    if (id >= sectors || offset >= file.size()) return std::nullopt;
    return offset;
  };
  // FAT sector ids: 109 in the header, the rest in the DIFAT chain.
  std::vector<std::uint32_t> fatIds;
  const std::uint32_t fatCount = U32(file, 44);
  for (std::size_t i = 0; i < 109 && fatIds.size() < fatCount; ++i)
    fatIds.push_back(U32(file, 76 + 4 * i));
  std::uint32_t difat = U32(file, 68);
  for (std::size_t guard = 0; fatIds.size() < fatCount && difat < kEndOfChain && guard < sectors;
       ++guard) {
    const auto at = sectorAt(difat);
    if (!at || *at + sector > file.size()) return std::nullopt;
    for (std::size_t k = 0; k + 1 < sector / 4 && fatIds.size() < fatCount; ++k)
      fatIds.push_back(U32(file, *at + 4 * k));
    difat = U32(file, *at + sector - 4);
  }
  std::vector<std::uint32_t> fat;
  for (std::uint32_t id : fatIds) {
    const auto at = sectorAt(id);
    if (!at || *at + sector > file.size()) return std::nullopt;
    for (std::size_t k = 0; k < sector / 4; ++k)
      fat.push_back(U32(file, *at + 4 * k));
  }
  const auto chain = [&](std::uint32_t first, std::size_t limit) -> std::optional<std::string> {
    std::string out;
    for (std::uint32_t id = first; id < kEndOfChain && out.size() < limit;) {
      const auto at = sectorAt(id);
      if (!at || id >= fat.size() || out.size() > sectors * sector) return std::nullopt;
      out.append(file, *at, std::min(sector, file.size() - *at));
      id = fat[id];
    }
    if (out.size() > limit) out.resize(limit);
    return out;
  };
  const auto directory = chain(U32(file, 48), sectors * sector);
  if (!directory) return std::nullopt;
  for (std::size_t e = 0; e + 128 <= directory->size(); e += 128) {
    std::u16string name;
    for (std::size_t i = 0; i < 32; ++i) {
      const char16_t c = U16(*directory, e + 2 * i);
      if (c == 0) break;
      name += c;
    }
    if ((name != u"Workbook" && name != u"Book") || (*directory)[e + 66] != 2) continue;
    const std::uint32_t size = U32(*directory, e + 120);
    if (size < U32(file, 56)) return std::nullopt;  // in the mini stream
    return chain(U32(*directory, e + 116), size);
  }
  return std::nullopt;
}

// Whether a string of the SST and its CONTINUE records has its characters in more than two.
bool HasLongString(const std::vector<std::string>& records) {
  std::size_t record = 0, at = 8;  // past the two counts
  std::uint32_t remaining = records.empty() ? 0 : U32(records[0], 4);
  while (remaining-- > 0) {
    if (at >= records[record].size()) {
      if (++record >= records.size()) return false;
      at = 0;
    }
    const std::string* r = &records[record];
    if (at + 3 > r->size()) return false;
    std::size_t chars = U16(*r, at);
    std::uint8_t flags = static_cast<std::uint8_t>((*r)[at + 2]);
    at += 3;
    std::size_t extra = 0;
    if (flags & 0x08) {
      if (at + 2 > r->size()) return false;
      extra += 4 * std::size_t{U16(*r, at)};
      at += 2;
    }
    if (flags & 0x04) {
      if (at + 4 > r->size()) return false;
      extra += U32(*r, at);
      at += 4;
    }
    const std::size_t first = record;
    while (chars > 0) {
      const std::size_t width = (flags & 0x01) ? 2 : 1;
      const std::size_t fit =
          (records[record].size() - std::min(at, records[record].size())) / width;
      const std::size_t n = std::min(fit, chars);
      chars -= n;
      at += n * width;
      if (chars == 0) break;
      if (++record >= records.size()) return false;
      if (record - first >= 2) return true;
      flags = static_cast<std::uint8_t>(records[record].empty() ? 0 : records[record][0]);
      at = 1;
    }
    // Formatting runs and extended data follow the characters, crossing records freely.
    while (extra > 0) {
      const std::size_t n =
          std::min(extra, records[record].size() - std::min(at, records[record].size()));
      extra -= n;
      at += n;
      if (extra > 0) {
        if (++record >= records.size()) return false;
        at = 0;
      }
    }
  }
  return false;
}

}  // namespace

bool SharedStringsReadableByFreeXl(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return true;
  std::string file;
  file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (file.size() > kMaxFile) return true;
  const auto stream = WorkbookStream(file);
  if (!stream) return true;
  std::vector<std::string> sst;
  for (std::size_t at = 0; at + 4 <= stream->size();) {
    const std::uint16_t type = U16(*stream, at);
    const std::size_t size = U16(*stream, at + 2);
    if (at + 4 + size > stream->size()) break;
    if (type == 0x00FC && sst.empty()) {
      sst.push_back(stream->substr(at + 4, size));
    } else if (type == 0x003C && !sst.empty()) {
      sst.push_back(stream->substr(at + 4, size));
    } else if (!sst.empty()) {
      break;
    }
    at += 4 + size;
  }
  if (sst.empty() || sst[0].size() < 8) return true;
  return !HasLongString(sst);
}

}  // namespace corvel
