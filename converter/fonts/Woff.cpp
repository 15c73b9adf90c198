// Fonts packed as WOFF and carried in data: URLs.
#include "fonts/Woff.h"

#include "base/Base64.h"
#include "fonts/BigEndian.h"

#include <zlib.h>

namespace Engine {

std::string TrueTypeToWoff(const std::string& TrueType) {
  if (TrueType.size() < 12) return TrueType;
  const uint32_t TableCount = Get16(TrueType, 4);
  if (TrueType.size() < 12 + 16 * static_cast<size_t>(TableCount)) return TrueType;
  std::string Directory, Data;
  size_t SfntSize = 12 + 16 * static_cast<size_t>(TableCount);
  const size_t DataStart = 44 + 20 * static_cast<size_t>(TableCount);
  for (uint32_t I = 0; I < TableCount; ++I) {
    const size_t Entry = 12 + 16 * static_cast<size_t>(I);
    const uint32_t Offset = Get32(TrueType, Entry + 8), Length = Get32(TrueType, Entry + 12);
    if (Offset > TrueType.size() || Length > TrueType.size() - Offset) return TrueType;
    const std::string Table = TrueType.substr(Offset, Length);
    uLongf Packed = compressBound(static_cast<uLong>(Length));
    std::string Compressed(Packed, '\0');
    const bool Smaller = compress2(reinterpret_cast<Bytef*>(Compressed.data()), &Packed,
                                   reinterpret_cast<const Bytef*>(Table.data()), static_cast<uLong>(Length),
                                   Z_BEST_COMPRESSION) == Z_OK &&
                         Packed < Length;
    Compressed.resize(Smaller ? Packed : 0);
    const std::string& Stored = Smaller ? Compressed : Table;
    Directory.append(TrueType, Entry, 4);  // tag
    Put32(Directory, static_cast<uint32_t>(DataStart + Data.size()));
    Put32(Directory, static_cast<uint32_t>(Stored.size()));
    Put32(Directory, Length);
    Put32(Directory, Get32(TrueType, Entry + 4));  // checksum
    Data += Stored;
    while (Data.size() % 4 != 0) Data += '\0';
    SfntSize += (Length + 3) / 4 * 4;
  }
  std::string Woff;
  Put32(Woff, 0x774F4646);  // wOFF
  Put32(Woff, 0x00010000);
  Put32(Woff, static_cast<uint32_t>(DataStart + Data.size()));
  Put16(Woff, TableCount);
  Put16(Woff, 0);
  Put32(Woff, static_cast<uint32_t>(SfntSize));
  for (int I = 0; I < 2; ++I) Put16(Woff, 0);  // version
  for (int I = 0; I < 5; ++I) Put32(Woff, 0);  // no metadata, no private data
  return Woff + Directory + Data;
}

std::string FontDataUrl(const std::string& TrueType) {
  const std::string Packed = TrueTypeToWoff(TrueType);
  return (Packed.compare(0, 4, "wOFF") == 0 ? "data:font/woff;base64," : "data:font/ttf;base64,") + Base64(Packed);
}

}  // namespace Engine
