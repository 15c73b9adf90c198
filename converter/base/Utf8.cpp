// UTF-8 decoding and encoding shared by the text layer, the HTML writer and the glyph fonts.
#include "base/Utf8.h"

namespace Engine {

size_t DecodeUtf8(std::string_view Text, size_t Pos, char32_t& CodePoint) {
  const auto Byte = [&](size_t I) { return static_cast<unsigned char>(Text[I]); };
  const unsigned char Lead = Byte(Pos);
  size_t Length = 0;
  char32_t Min = 0;
  if (Lead < 0x80) {
    CodePoint = Lead;
    return 1;
  } else if ((Lead & 0xE0) == 0xC0) {
    Length = 2;
    Min = 0x80;
    CodePoint = Lead & 0x1F;
  } else if ((Lead & 0xF0) == 0xE0) {
    Length = 3;
    Min = 0x800;
    CodePoint = Lead & 0x0F;
  } else if ((Lead & 0xF8) == 0xF0) {
    Length = 4;
    Min = 0x10000;
    CodePoint = Lead & 0x07;
  } else {
    return 0;
  }
  if (Pos + Length > Text.size()) return 0;
  for (size_t I = 1; I < Length; ++I) {
    if ((Byte(Pos + I) & 0xC0) != 0x80) return 0;
    CodePoint = (CodePoint << 6) | (Byte(Pos + I) & 0x3F);
  }
  // Overlong forms, surrogates and values past Unicode are not valid UTF-8.
  if (CodePoint < Min || CodePoint > 0x10FFFF || (CodePoint >= 0xD800 && CodePoint <= 0xDFFF)) return 0;
  return Length;
}

void AppendUtf8(std::string& Out, char32_t CodePoint) {
  if (CodePoint > 0x10FFFF || (CodePoint >= 0xD800 && CodePoint <= 0xDFFF)) CodePoint = 0xFFFD;
  if (CodePoint < 0x80) {
    Out += static_cast<char>(CodePoint);
  } else if (CodePoint < 0x800) {
    Out += static_cast<char>(0xC0 | (CodePoint >> 6));
    Out += static_cast<char>(0x80 | (CodePoint & 0x3F));
  } else if (CodePoint < 0x10000) {
    Out += static_cast<char>(0xE0 | (CodePoint >> 12));
    Out += static_cast<char>(0x80 | ((CodePoint >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (CodePoint & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (CodePoint >> 18));
    Out += static_cast<char>(0x80 | ((CodePoint >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((CodePoint >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (CodePoint & 0x3F));
  }
}

size_t CodePointCount(std::string_view Text) {
  size_t Count = 0;
  for (const char C : Text) Count += (static_cast<unsigned char>(C) & 0xC0) != 0x80;
  return Count;
}

}  // namespace Engine
