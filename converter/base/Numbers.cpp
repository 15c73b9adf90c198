// Numbers written the same on every platform, and numbers read from the SVG that cairo writes.
#include "base/Numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace Engine {

namespace {

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

bool IsSeparator(char C) { return C == ',' || C == ' ' || C == '\n' || C == '\t' || C == '\r'; }

}  // namespace

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

bool ReadNumberAt(std::string_view Text, size_t& Pos, double& Value) {
  if (Pos >= Text.size()) return false;
  const char* Begin = Text.data() + Pos;
  const char* End = Text.data() + Text.size();
  // from_chars takes no plus sign, where strtod does.
  const char* First = Begin + (*Begin == '+' && Begin + 1 < End && Begin[1] != '-' ? 1 : 0);
  const auto [Past, Error] = std::from_chars(First, End, Value);
  if (Error == std::errc::invalid_argument) return false;
  if (Error == std::errc::result_out_of_range) {
    // Beyond a double's range: infinite, or zero when too small, as strtod makes it.
    const std::string Copy(Begin, Past);
    Value = std::strtod(Copy.c_str(), nullptr);
  }
  Pos = static_cast<size_t>(Past - Text.data());
  return true;
}

bool ReadNumbers(std::string_view Text, double* Values, int Count, double Limit) {
  size_t Pos = 0;
  for (int I = 0; I < Count; ++I) {
    while (Pos < Text.size() && IsSeparator(Text[Pos])) ++Pos;
    if (!ReadNumberAt(Text, Pos, Values[I]) || !std::isfinite(Values[I]) || std::fabs(Values[I]) > Limit) return false;
  }
  return true;
}

bool ReadMatrix(std::string_view Text, Matrix& Out) {
  double V[6];
  if (!ReadNumbers(Text, V, 6, MaxPageCoordinate)) return false;
  Out = {V[0], V[1], V[2], V[3], V[4], V[5]};
  return true;
}

}  // namespace Engine
