// Fuzzes integer parsing against a reference that reads the same format by other means.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "cli/CommandLine.h"
#include "common/Failure.h"

namespace {

// Spaces, a sign, a hexadecimal prefix ("$", "x", "X", "0x", "0X") or none, then digits. Where
// the parser under test stops on a running limit, this one drops leading zeros and counts the
// digits that are left.
std::optional<std::int32_t> ReferenceTextToInt(std::string_view Text) {
  const std::size_t Start = Text.find_first_not_of(' ');
  if (Start == std::string_view::npos) return std::nullopt;
  Text.remove_prefix(Start);
  bool Negative = false;
  if (Text[0] == '+' || Text[0] == '-') {
    Negative = Text[0] == '-';
    Text.remove_prefix(1);
  }
  int Base = 10;
  if (!Text.empty() && (Text[0] == '$' || Text[0] == 'x' || Text[0] == 'X')) {
    Base = 16;
    Text.remove_prefix(1);
  } else if (Text.size() >= 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X')) {
    Base = 16;
    Text.remove_prefix(2);
  }
  if (Text.empty()) return std::nullopt;
  const char* const Digits = Base == 10 ? "0123456789" : "0123456789abcdefABCDEF";
  for (const char C : Text) {
    if (C == '\0' || std::strchr(Digits, C) == nullptr) return std::nullopt;
  }
  const std::size_t FirstSignificant = Text.find_first_not_of('0');
  const std::string_view Significant =
      FirstSignificant == std::string_view::npos ? std::string_view() : Text.substr(FirstSignificant);
  if (Significant.size() > (Base == 10 ? 10U : 8U)) return std::nullopt;
  std::uint64_t Value = 0;
  for (const char C : Significant) {
    const int Digit = C <= '9' ? C - '0' : (C | 0x20) - 'a' + 10;
    Value = Value * static_cast<std::uint64_t>(Base) + static_cast<std::uint64_t>(Digit);
  }
  if (Base == 16) {
    // Hexadecimal gives all 32 bits; a minus sign takes the two's complement.
    std::uint32_t Bits = static_cast<std::uint32_t>(Value);
    if (Negative) Bits = ~Bits + 1U;
    std::int32_t Result;
    std::memcpy(&Result, &Bits, sizeof Result);
    return Result;
  }
  if (Value > (Negative ? 2147483648ULL : 2147483647ULL)) return std::nullopt;
  return static_cast<std::int32_t>(Negative ? -static_cast<std::int64_t>(Value) : static_cast<std::int64_t>(Value));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string Text(reinterpret_cast<const char*>(Data), Size);
  const std::optional<std::int32_t> Expected = ReferenceTextToInt(Text);
  try {
    const std::int32_t Value = TextToInt(Text);
    Check(Expected.has_value(), "accepted a text the reference rejects");
    Check(Value == *Expected, "a value other than the reference's");
  } catch (const Failure& Caught) {
    Check(!Expected.has_value(), "rejected a text the reference accepts");
    // The message is read as a C string, so it ends at a NUL; no argument holds one.
    const std::string Message = "'" + Text + "' is not a valid integer value";
    Check(Caught.what() == Message.substr(0, Message.find('\0')), "another message");
  }
  return 0;
}
