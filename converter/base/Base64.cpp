// Base64, as data: URLs carry pictures and fonts.
#include "base/Base64.h"

#include <cstdint>

namespace Engine {

namespace {

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int ValueOf(char C) {
  if (C >= 'A' && C <= 'Z') return C - 'A';
  if (C >= 'a' && C <= 'z') return C - 'a' + 26;
  if (C >= '0' && C <= '9') return C - '0' + 52;
  if (C == '+') return 62;
  if (C == '/') return 63;
  return -1;
}

}  // namespace

std::string Base64(std::string_view Data) {
  std::string Out;
  Out.reserve((Data.size() + 2) / 3 * 4);
  for (size_t I = 0; I < Data.size(); I += 3) {
    const uint32_t B0 = static_cast<unsigned char>(Data[I]);
    const uint32_t B1 = I + 1 < Data.size() ? static_cast<unsigned char>(Data[I + 1]) : 0;
    const uint32_t B2 = I + 2 < Data.size() ? static_cast<unsigned char>(Data[I + 2]) : 0;
    const uint32_t Triple = (B0 << 16) | (B1 << 8) | B2;
    Out += Alphabet[(Triple >> 18) & 63];
    Out += Alphabet[(Triple >> 12) & 63];
    Out += I + 1 < Data.size() ? Alphabet[(Triple >> 6) & 63] : '=';
    Out += I + 2 < Data.size() ? Alphabet[Triple & 63] : '=';
  }
  return Out;
}

bool FromBase64(std::string_view Text, std::string& Out) {
  Out.clear();
  Out.reserve(Text.size() / 4 * 3);
  uint32_t Bits = 0;
  int Count = 0;
  for (const char C : Text) {
    if (C == '=') break;
    const int Value = ValueOf(C);
    if (Value < 0) return false;
    Bits = (Bits << 6) | static_cast<uint32_t>(Value);
    Count += 6;
    if (Count >= 8) {
      Count -= 8;
      Out += static_cast<char>((Bits >> Count) & 0xff);
    }
  }
  return true;
}

}  // namespace Engine
