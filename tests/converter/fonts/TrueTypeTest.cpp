// The fonts' tables are consistent and checksummed, as browsers' font checkers demand.
#include "fonts/TrueType.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace Engine;

uint32_t Read32(const std::string& Data, size_t At) {
  uint32_t Value = 0;
  for (size_t I = 0; I < 4; ++I) Value = (Value << 8) | static_cast<unsigned char>(Data[At + I]);
  return Value;
}
uint16_t Read16(const std::string& Data, size_t At) {
  return static_cast<uint16_t>((static_cast<unsigned char>(Data[At]) << 8) | static_cast<unsigned char>(Data[At + 1]));
}

TEST(BuildTrueType, TablesAreConsistentAndChecksummed) {
  FontGlyph Square, Space;
  ASSERT_TRUE(OutlineFromPath("M 0 -7 L 5 -7 L 5 0 L 0 0 Z", Square));
  const std::string Font = BuildTrueType({Square, Space, Square});
  ASSERT_GE(Font.size(), 12u);
  EXPECT_EQ(Read32(Font, 0), 0x00010000u);
  const uint16_t TableCount = Read16(Font, 4);
  ASSERT_EQ(TableCount, 10);
  std::string LastTag;
  size_t MaxpAt = 0, LocaAt = 0, LocaLength = 0, HeadAt = 0;
  for (size_t I = 0; I < TableCount; ++I) {
    const size_t Record = 12 + 16 * I;
    const std::string Tag = Font.substr(Record, 4);
    EXPECT_LT(LastTag, Tag) << "table records are sorted by tag";
    LastTag = Tag;
    const uint32_t Offset = Read32(Font, Record + 8);
    const uint32_t Length = Read32(Font, Record + 12);
    EXPECT_EQ(Offset % 4, 0u) << Tag;
    EXPECT_LE(Offset + Length, Font.size()) << Tag;
    if (Tag == "maxp") {
      MaxpAt = Offset;
      EXPECT_EQ(Length, 32u) << "maxp version 1.0 is 32 bytes";
    }
    if (Tag == "loca") {
      LocaAt = Offset;
      LocaLength = Length;
    }
    if (Tag == "head") {
      HeadAt = Offset;
      EXPECT_EQ(Length, 54u);
    }
    if (Tag == "hhea") {
      EXPECT_EQ(Length, 36u);
    }
    if (Tag == "OS/2") {
      EXPECT_EQ(Length, 96u);
    }
  }
  const uint16_t GlyphCount = Read16(Font, MaxpAt + 4);
  EXPECT_EQ(GlyphCount, 4) << ".notdef and three glyphs";
  EXPECT_EQ(LocaLength, 4u * (GlyphCount + 1u)) << "long loca has one entry more than glyphs";
  EXPECT_EQ(Read32(Font, LocaAt), 0u);
  EXPECT_EQ(Read32(Font, LocaAt + 4), 0u) << ".notdef is empty";
  EXPECT_EQ(Read32(Font, LocaAt + 8), Read32(Font, LocaAt + 12)) << "the glyph after the first square is empty";
  EXPECT_EQ(Read32(Font, HeadAt + 12), 0x5F0F3CF5u);
  uint32_t Sum = 0;
  for (size_t I = 0; I + 3 < Font.size(); I += 4) Sum += Read32(Font, I);
  EXPECT_EQ(Sum, 0xB1B0AFBAu) << "checksum adjustment balances the whole font";
}

}  // namespace
