#include "store/compound_file.h"

#include <cstdint>
#include <vector>

namespace corvel {
namespace {

constexpr std::size_t kSector = 512;
constexpr std::size_t kMiniCutoff = 4096;
constexpr std::size_t kHeaderDifat = 109;
constexpr std::uint32_t kFree = 0xFFFFFFFF;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
constexpr std::uint32_t kDifatSector = 0xFFFFFFFC;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;

void Put16(std::string& out, std::size_t at, std::uint16_t v) {
  out[at] = static_cast<char>(v & 0xFF);
  out[at + 1] = static_cast<char>(v >> 8);
}

void Put32(std::string& out, std::size_t at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k)
    out[at + k] = static_cast<char>((v >> (8 * k)) & 0xFF);
}

std::size_t SectorsFor(std::size_t bytes) {
  return (bytes + kSector - 1) / kSector;
}

// A 128-byte directory entry.
std::string DirectoryEntry(std::u16string_view name, std::uint8_t type, std::uint32_t child,
                           std::uint32_t start, std::uint32_t size) {
  std::string entry(128, '\0');
  const std::size_t units = name.size() > 31 ? 31 : name.size();
  for (std::size_t i = 0; i < units; ++i)
    Put16(entry, 2 * i, name[i]);
  if (units > 0 || type != 0) Put16(entry, 64, static_cast<std::uint16_t>(2 * (units + 1)));
  entry[66] = static_cast<char>(type);
  entry[67] = 1;  // black
  Put32(entry, 68, kNoStream);
  Put32(entry, 72, kNoStream);
  Put32(entry, 76, child);
  Put32(entry, 116, start);
  Put32(entry, 120, size);
  return entry;
}

}  // namespace

std::string BuildCompoundFile(std::u16string_view streamName, std::string_view stream) {
  std::string data(stream);
  if (data.size() < kMiniCutoff) data.resize(kMiniCutoff, '\0');
  const std::size_t streamSectors = SectorsFor(data.size());
  const std::size_t dirSectors = 1;
  // FAT and DIFAT sectors describe themselves too: grow them until they cover everything.
  std::size_t fatSectors = 1;
  std::size_t difatSectors = 0;
  for (;;) {
    const std::size_t total = streamSectors + dirSectors + fatSectors + difatSectors;
    const std::size_t needFat = (total + 127) / 128;
    const std::size_t needDifat = needFat > kHeaderDifat ? (needFat - kHeaderDifat + 126) / 127 : 0;
    if (needFat == fatSectors && needDifat == difatSectors) break;
    fatSectors = needFat;
    difatSectors = needDifat;
  }
  const std::uint32_t dirStart = static_cast<std::uint32_t>(streamSectors);
  const std::uint32_t fatStart = dirStart + static_cast<std::uint32_t>(dirSectors);
  const std::uint32_t difatStart = fatStart + static_cast<std::uint32_t>(fatSectors);
  const std::size_t totalSectors = streamSectors + dirSectors + fatSectors + difatSectors;

  std::vector<std::uint32_t> fat(fatSectors * 128, kFree);
  for (std::size_t i = 0; i < streamSectors; ++i) {
    fat[i] = i + 1 < streamSectors ? static_cast<std::uint32_t>(i + 1) : kEndOfChain;
  }
  fat[dirStart] = kEndOfChain;
  for (std::size_t i = 0; i < fatSectors; ++i)
    fat[fatStart + i] = kFatSector;
  for (std::size_t i = 0; i < difatSectors; ++i)
    fat[difatStart + i] = kDifatSector;

  std::string header(kSector, '\0');
  const unsigned char signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  for (int i = 0; i < 8; ++i)
    header[i] = static_cast<char>(signature[i]);
  Put16(header, 24, 0x003E);  // minor version
  Put16(header, 26, 0x0003);  // major version 3
  Put16(header, 28, 0xFFFE);  // little-endian
  Put16(header, 30, 9);       // 512-byte sectors
  Put16(header, 32, 6);       // 64-byte mini sectors
  Put32(header, 44, static_cast<std::uint32_t>(fatSectors));
  Put32(header, 48, dirStart);
  Put32(header, 56, static_cast<std::uint32_t>(kMiniCutoff));
  Put32(header, 60, kEndOfChain);  // no mini FAT
  Put32(header, 64, 0);
  Put32(header, 68, difatSectors > 0 ? difatStart : kEndOfChain);
  Put32(header, 72, static_cast<std::uint32_t>(difatSectors));
  for (std::size_t i = 0; i < kHeaderDifat; ++i) {
    Put32(header, 76 + 4 * i, i < fatSectors ? fatStart + static_cast<std::uint32_t>(i) : kFree);
  }

  std::string file;
  file.reserve((totalSectors + 1) * kSector);
  file += header;
  file += data;
  file.resize(kSector * (1 + streamSectors), '\0');

  std::string directory;
  directory += DirectoryEntry(u"Root Entry", 5, 1, kEndOfChain, 0);
  directory += DirectoryEntry(streamName, 2, kNoStream, 0, static_cast<std::uint32_t>(data.size()));
  directory += DirectoryEntry(u"", 0, kNoStream, 0, 0);
  directory += DirectoryEntry(u"", 0, kNoStream, 0, 0);
  file += directory;

  std::string fatBytes(fat.size() * 4, '\0');
  for (std::size_t i = 0; i < fat.size(); ++i)
    Put32(fatBytes, 4 * i, fat[i]);
  file += fatBytes;

  for (std::size_t d = 0; d < difatSectors; ++d) {
    std::string sector(kSector, '\0');
    for (std::size_t k = 0; k < 127; ++k) {
      const std::size_t index = kHeaderDifat + d * 127 + k;
      Put32(sector, 4 * k,
            index < fatSectors ? fatStart + static_cast<std::uint32_t>(index) : kFree);
    }
    Put32(sector, 508,
          d + 1 < difatSectors ? difatStart + static_cast<std::uint32_t>(d + 1) : kEndOfChain);
    file += sector;
  }
  return file;
}

}  // namespace corvel
