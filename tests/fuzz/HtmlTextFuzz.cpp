// Fuzzes the engine's text cleaning, escaping and link filtering with what a PDF may hold.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "base/Text.h"

namespace {

using namespace Engine;

// True when Text is valid UTF-8 holding no code point the cleaning drops.
bool IsCleanUtf8(std::string_view Text) {
  std::size_t Pos = 0;
  while (Pos < Text.size()) {
    const auto Byte = [&](std::size_t At) { return static_cast<unsigned char>(Text[At]); };
    const unsigned char Lead = Byte(Pos);
    std::size_t Length = Lead < 0x80 ? 1 : Lead < 0xC2 ? 0 : Lead < 0xE0 ? 2 : Lead < 0xF0 ? 3 : Lead < 0xF5 ? 4 : 0;
    if (Length == 0 || Pos + Length > Text.size()) return false;
    std::uint32_t CodePoint = Length == 1 ? Lead : Lead & (0x7F >> Length);
    for (std::size_t Index = 1; Index < Length; ++Index) {
      if ((Byte(Pos + Index) & 0xC0) != 0x80) return false;
      CodePoint = (CodePoint << 6) | (Byte(Pos + Index) & 0x3F);
    }
    const std::uint32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (CodePoint < Least[Length] || CodePoint > 0x10FFFF || (CodePoint >= 0xD800 && CodePoint <= 0xDFFF)) return false;
    if ((CodePoint < 0x20 && CodePoint != '\t' && CodePoint != '\n') || (CodePoint >= 0x7F && CodePoint <= 0x9F)) {
      return false;
    }
    if ((CodePoint >= 0xFDD0 && CodePoint <= 0xFDEF) || (CodePoint & 0xFFFE) == 0xFFFE) return false;
    Pos += Length;
  }
  return true;
}

std::string Unescape(std::string_view Text, bool& Valid) {
  static const struct {
    std::string_view Entity;
    char Plain;
  } Entities[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#39;", '\''}};
  std::string Out;
  Valid = true;
  for (std::size_t Pos = 0; Pos < Text.size();) {
    if (Text[Pos] != '&') {
      Out += Text[Pos++];
      continue;
    }
    bool Known = false;
    for (const auto& Each : Entities) {
      if (Text.substr(Pos, Each.Entity.size()) == Each.Entity) {
        Out += Each.Plain;
        Pos += Each.Entity.size();
        Known = true;
        break;
      }
    }
    if (!Known) {
      Valid = false;
      return Out;
    }
  }
  return Out;
}

bool StartsWithNoCase(std::string_view Text, std::string_view Lower) {
  if (Text.size() < Lower.size()) return false;
  for (std::size_t Index = 0; Index < Lower.size(); ++Index) {
    const char C = Text[Index] >= 'A' && Text[Index] <= 'Z' ? static_cast<char>(Text[Index] - 'A' + 'a') : Text[Index];
    if (C != Lower[Index]) return false;
  }
  return true;
}

int HexValue(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string_view In(reinterpret_cast<const char*>(Data), Size);

  const std::string Clean = CleanUtf8(In);
  Check(IsCleanUtf8(Clean), "cleaned text is not clean UTF-8");
  Check(CleanUtf8(Clean) == Clean, "cleaning twice changes the text");

  const std::string Escaped = EscapeHtml(In);
  Check(IsCleanUtf8(Escaped), "escaped text is not clean UTF-8");
  Check(Escaped.find_first_of("<>\"'") == std::string::npos, "a markup character left raw");
  bool Valid = false;
  Check(Unescape(Escaped, Valid) == Clean && Valid, "escaping loses or adds text");

  const std::string Uri = SafeUri(In);
  if (!Uri.empty()) {
    Check(IsCleanUtf8(Uri), "a link that is not clean UTF-8");
    Check((StartsWithNoCase(Uri, "http://") && Uri.size() > 7) || (StartsWithNoCase(Uri, "https://") && Uri.size() > 8) ||
              (StartsWithNoCase(Uri, "mailto:") && Uri.size() > 7),
          "a link without an allowed scheme");
    for (const char C : Uri) {
      Check(static_cast<unsigned char>(C) > 0x20 && C != 0x7F, "a blank or control character in a link");
    }
    Check(SafeUri(Uri) == Uri, "a kept link changes when filtered again");
  }

  const std::string Segment = UrlSegment(In);
  std::string Decoded;
  for (std::size_t Pos = 0; Pos < Segment.size(); ++Pos) {
    const char C = Segment[Pos];
    if (C == '%') {
      Check(Pos + 2 < Segment.size() && HexValue(Segment[Pos + 1]) >= 0 && HexValue(Segment[Pos + 2]) >= 0,
            "a percent sign without two hexadecimal digits");
      Decoded += static_cast<char>(HexValue(Segment[Pos + 1]) * 16 + HexValue(Segment[Pos + 2]));
      Pos += 2;
      continue;
    }
    const bool Plain = (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '-' ||
                       C == '.' || C == '_' || C == '~';
    Check(Plain, "a byte in a URL segment that a URL may read otherwise");
    Decoded += C;
  }
  Check(Decoded == In, "a URL segment that does not decode to the name");
  return 0;
}
