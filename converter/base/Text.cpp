// Escaping, UTF-8 cleaning and link filtering for everything the engine copies from a PDF into HTML.
#include "base/Text.h"

#include "base/Utf8.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace Engine {

namespace {

constexpr std::string_view ReplacementCharacter = "\xEF\xBF\xBD";

bool IsDroppedCodePoint(char32_t CodePoint) {
  if (CodePoint == '\t' || CodePoint == '\n') return false;
  if (CodePoint < 0x20 || (CodePoint >= 0x7F && CodePoint <= 0x9F)) return true;
  // Bidi embeddings, overrides and isolates can make a title or a link read backwards; the
  // text layer is already in logical order and needs none of them.
  if ((CodePoint >= 0x202A && CodePoint <= 0x202E) || (CodePoint >= 0x2066 && CodePoint <= 0x2069)) return true;
  // Noncharacters are parse errors in HTML and carry no text.
  return (CodePoint >= 0xFDD0 && CodePoint <= 0xFDEF) || (CodePoint & 0xFFFE) == 0xFFFE;
}

bool IsBlank(char C) { return C == ' ' || C == '\t' || C == '\n' || C == '\r' || C == '\f' || C == '\v'; }

bool StartsWithNoCase(std::string_view Text, std::string_view Prefix) {
  if (Text.size() < Prefix.size()) return false;
  for (size_t I = 0; I < Prefix.size(); ++I) {
    char C = Text[I];
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
    if (C != Prefix[I]) return false;
  }
  return true;
}

}  // namespace

std::string CleanUtf8(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  size_t Pos = 0;
  while (Pos < Text.size()) {
    char32_t CodePoint = 0;
    const size_t Length = DecodeUtf8(Text, Pos, CodePoint);
    if (Length == 0) {
      Out += ReplacementCharacter;
      ++Pos;
      continue;
    }
    if (!IsDroppedCodePoint(CodePoint)) Out.append(Text.substr(Pos, Length));
    Pos += Length;
  }
  return Out;
}

std::string EscapeHtml(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size() + Text.size() / 8);
  for (const char C : CleanUtf8(Text)) {
    switch (C) {
      case '&': Out += "&amp;"; break;
      case '<': Out += "&lt;"; break;
      case '>': Out += "&gt;"; break;
      case '"': Out += "&quot;"; break;
      case '\'': Out += "&#39;"; break;
      default: Out += C;
    }
  }
  return Out;
}

std::string CutText(std::string_view Text, size_t MostBytes) {
  if (Text.size() <= MostBytes) return std::string(Text);
  static constexpr std::string_view Ellipsis = "\u2026";
  if (MostBytes < Ellipsis.size()) return {};
  size_t End = MostBytes - Ellipsis.size();
  // Back to the start of a character: continuation bytes are 10xxxxxx.
  while (End > 0 && (static_cast<unsigned char>(Text[End]) & 0xC0) == 0x80) --End;
  return std::string(Text.substr(0, End)) + std::string(Ellipsis);
}

std::string SafeUri(std::string_view Uri) {
  // Far past the longest target that browsers, servers and search engines take (some 2 to 64 KB).
  constexpr size_t MaxUriBytes = 64 * 1024;
  if (Uri.size() > 4 * MaxUriBytes) return {};
  size_t Begin = 0;
  size_t End = Uri.size();
  // Browsers strip leading and trailing C0 controls and spaces before they read the scheme.
  while (Begin < End && static_cast<unsigned char>(Uri[Begin]) <= 0x20) ++Begin;
  while (End > Begin && static_cast<unsigned char>(Uri[End - 1]) <= 0x20) --End;
  std::string Trimmed;
  for (size_t I = Begin; I < End; ++I) {
    if (Uri[I] == '\t' || Uri[I] == '\n' || Uri[I] == '\r') continue;
    Trimmed += Uri[I];
  }
  for (const std::string_view Scheme : {"http://", "https://", "mailto:"}) {
    if (StartsWithNoCase(Trimmed, Scheme) && Trimmed.size() > Scheme.size()) {
      for (const char C : Trimmed) {
        // A control character or a blank inside is never part of a working link.
        if (static_cast<unsigned char>(C) < 0x20 || C == 0x7F || IsBlank(C)) return {};
      }
      // Cleaning drops C1 controls, which may be all that followed the scheme.
      std::string Cleaned = CleanUtf8(Trimmed);
      return Cleaned.size() > Scheme.size() && Cleaned.size() <= MaxUriBytes ? Cleaned : std::string();
    }
  }
  return {};
}

std::string UrlSegment(std::string_view Name) {
  static const char Hex[] = "0123456789ABCDEF";
  std::string Out;
  for (const char C : Name) {
    const auto Byte = static_cast<unsigned char>(C);
    const bool Plain = (Byte >= 'a' && Byte <= 'z') || (Byte >= 'A' && Byte <= 'Z') || (Byte >= '0' && Byte <= '9') ||
                       Byte == '-' || Byte == '.' || Byte == '_' || Byte == '~';
    if (Plain) {
      Out += C;
    } else {
      Out += '%';
      Out += Hex[Byte >> 4];
      Out += Hex[Byte & 15];
    }
  }
  return Out;
}

}  // namespace Engine
