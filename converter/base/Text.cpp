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

// An unsigned integer wide enough for any double times 10^MaxDecimals, so that numbers are
// rounded from their exact value: the C runtimes' printf functions round halves differently.
constexpr int MaxDecimals = 30;
class ExactInteger {
 public:
  explicit ExactInteger(uint64_t Value) {
    Limbs_[0] = static_cast<uint32_t>(Value);
    Limbs_[1] = static_cast<uint32_t>(Value >> 32);
    Size_ = Limbs_[1] != 0 ? 2 : Limbs_[0] != 0 ? 1 : 0;
  }
  void Multiply(uint32_t Factor) {
    uint64_t Carry = 0;
    for (int I = 0; I < Size_; ++I) {
      const uint64_t Product = static_cast<uint64_t>(Limbs_[I]) * Factor + Carry;
      Limbs_[I] = static_cast<uint32_t>(Product);
      Carry = Product >> 32;
    }
    if (Carry != 0) Limbs_[Size_++] = static_cast<uint32_t>(Carry);
  }
  // Returns the remainder.
  uint32_t Divide(uint32_t Divisor) {
    uint64_t Remainder = 0;
    for (int I = Size_ - 1; I >= 0; --I) {
      const uint64_t Current = (Remainder << 32) | Limbs_[I];
      Limbs_[I] = static_cast<uint32_t>(Current / Divisor);
      Remainder = Current % Divisor;
    }
    Trim();
    return static_cast<uint32_t>(Remainder);
  }
  void ShiftLeft(int Bits) {
    const int Whole = Bits / 32, Part = Bits % 32;
    uint32_t Result[LimbCount] = {};
    for (int I = 0; I < Size_; ++I) {
      const uint64_t Moved = static_cast<uint64_t>(Limbs_[I]) << Part;
      Result[I + Whole] |= static_cast<uint32_t>(Moved);
      if (I + Whole + 1 < LimbCount) Result[I + Whole + 1] |= static_cast<uint32_t>(Moved >> 32);
    }
    std::copy(Result, Result + LimbCount, Limbs_);
    Size_ = std::min(Size_ + Whole + 1, LimbCount);
    Trim();
  }
  void ShiftRight(int Bits) {
    const int Whole = Bits / 32, Part = Bits % 32;
    uint32_t Result[LimbCount] = {};
    for (int I = Whole; I < Size_; ++I) {
      const uint64_t Pair = (I + 1 < Size_ ? static_cast<uint64_t>(Limbs_[I + 1]) << 32 : 0) | Limbs_[I];
      Result[I - Whole] = static_cast<uint32_t>(Pair >> Part);
    }
    std::copy(Result, Result + LimbCount, Limbs_);
    Size_ = std::max(Size_ - Whole, 0);
    Trim();
  }
  void AddOne() {
    for (int I = 0; I < Size_; ++I) {
      if (++Limbs_[I] != 0) return;
    }
    Limbs_[Size_++] = 1;
  }
  bool Bit(int Index) const {
    const int Limb = Index / 32;
    return Index >= 0 && Limb < Size_ && ((Limbs_[Limb] >> (Index % 32)) & 1) != 0;
  }
  bool AnyBitBelow(int Index) const {
    for (int I = 0; I < Size_ && I * 32 < Index; ++I) {
      const int Count = std::min(32, Index - I * 32);
      const uint32_t Mask = Count == 32 ? 0xFFFFFFFFu : (1u << Count) - 1;
      if ((Limbs_[I] & Mask) != 0) return true;
    }
    return false;
  }
  bool IsZero() const { return Size_ == 0; }

 private:
  void Trim() {
    while (Size_ > 0 && Limbs_[Size_ - 1] == 0) --Size_;
  }
  // 2^1024 times 10^30 needs 1124 bits.
  static constexpr int LimbCount = 40;
  uint32_t Limbs_[LimbCount] = {};
  int Size_ = 0;
};

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

std::string SafeUri(std::string_view Uri) {
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
      return Cleaned.size() > Scheme.size() ? Cleaned : std::string();
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

std::string FormatNumber(double Value, int Decimals) {
  if (!std::isfinite(Value) || Value == 0) return "0";
  Decimals = std::clamp(Decimals, 0, MaxDecimals);
  int Exponent = 0;
  const double Fraction = std::frexp(std::fabs(Value), &Exponent);
  // |Value| is exactly Mantissa * 2^Power.
  const auto Mantissa = static_cast<uint64_t>(std::ldexp(Fraction, 53));
  const int Power = Exponent - 53;
  // Below 2^-11 units of the last decimal: rounds to nothing.
  if (Power < -(64 + 4 * Decimals)) return "0";
  ExactInteger Units(Mantissa);
  for (int I = 0; I < Decimals; ++I) Units.Multiply(10);
  if (Power >= 0) {
    Units.ShiftLeft(Power);
  } else {
    // Halves go to the even neighbour, as the exact decimal value rounds in glibc's printf.
    const int Shift = -Power;
    const bool Half = Units.Bit(Shift - 1);
    const bool Beyond = Units.AnyBitBelow(Shift - 1);
    Units.ShiftRight(Shift);
    if (Half && (Beyond || Units.Bit(0))) Units.AddOne();
  }
  std::string Digits;
  while (!Units.IsZero()) Digits += static_cast<char>('0' + Units.Divide(10));
  if (Digits.empty()) return "0";
  while (Digits.size() <= static_cast<size_t>(Decimals)) Digits += '0';
  std::reverse(Digits.begin(), Digits.end());
  std::string Out = Value < 0 ? "-" : "";
  Out += Digits.substr(0, Digits.size() - static_cast<size_t>(Decimals));
  std::string Tail = Digits.substr(Digits.size() - static_cast<size_t>(Decimals));
  while (!Tail.empty() && Tail.back() == '0') Tail.pop_back();
  if (!Tail.empty()) Out += "." + Tail;
  return Out;
}

}  // namespace Engine
