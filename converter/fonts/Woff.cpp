// Fonts packed as WOFF and carried in data: URLs.
#include "fonts/Woff.h"

#include "base/Base64.h"
#include "fonts/BigEndian.h"

#include <zlib.h>

namespace Engine {

namespace {

// Setting zlib up allocates and clears some 270 KB, which cost more than compressing a small
// table, so every table of every font goes through one compressor.
class Deflater {
 public:
  Deflater() { Ready_ = deflateInit(&Stream_, Z_BEST_COMPRESSION) == Z_OK; }
  ~Deflater() {
    if (Ready_) deflateEnd(&Stream_);
  }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // Data compressed, or empty when that is not smaller.
  std::string Pack(const std::string& Data) {
    if (!Ready_ || Data.empty() || deflateReset(&Stream_) != Z_OK) return {};
    std::string Packed(compressBound(static_cast<uLong>(Data.size())), '\0');
    Stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data()));
    Stream_.avail_in = static_cast<uInt>(Data.size());
    Stream_.next_out = reinterpret_cast<Bytef*>(Packed.data());
    Stream_.avail_out = static_cast<uInt>(Packed.size());
    if (deflate(&Stream_, Z_FINISH) != Z_STREAM_END || Stream_.total_out >= Data.size()) return {};
    Packed.resize(Stream_.total_out);
    return Packed;
  }

 private:
  z_stream Stream_ = {};
  bool Ready_ = false;
};

}  // namespace

std::string TrueTypeToWoff(const std::string& TrueType) {
  static Deflater Compressor;
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
    const std::string Compressed = Compressor.Pack(Table);
    const std::string& Stored = Compressed.empty() ? Table : Compressed;
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
