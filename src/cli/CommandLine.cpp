// Command-line splitting, argument access, option lookup and integer parsing.
#include "cli/CommandLine.h"

#include <limits>

#include "common/Failure.h"
#include "platform/Platform.h"

namespace {

bool IsBlank(unsigned char C) { return C <= 32; }

// Reads the argument that begins at or after Pos and leaves Pos just past it. An empty result
// means the line has ended.
std::string ReadArg(std::string_view Line, std::size_t& Pos, LeadByteTest IsLeadByte) {
  const auto At = [&](std::size_t Index) -> unsigned char {
    return Index < Line.size() ? static_cast<unsigned char>(Line[Index]) : 0;
  };
  for (;;) {
    while (At(Pos) >= 1 && At(Pos) <= 32) ++Pos;
    if (At(Pos) != '"' || At(Pos + 1) != '"') break;
    Pos += 2;
  }
  std::string Arg;
  bool Quoted = false;
  while (Pos < Line.size()) {
    const unsigned char C = At(Pos);
    if (!Quoted && IsBlank(C)) break;
    if (C == '"') {
      Quoted = !Quoted;
      ++Pos;
      continue;
    }
    const std::size_t Width = IsLeadByte(C) && At(Pos + 1) != 0 ? 2 : 1;
    Arg.append(Line.substr(Pos, Width));
    Pos += Width;
  }
  return Arg;
}

int DigitValue(char C, int Base) {
  int Value = -1;
  if (C >= '0' && C <= '9') Value = C - '0';
  else if (C >= 'a' && C <= 'f') Value = C - 'a' + 10;
  else if (C >= 'A' && C <= 'F') Value = C - 'A' + 10;
  return Value < Base ? Value : -1;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view Line, LeadByteTest IsLeadByte) {
  // The line is a C string to the platform: nothing after a NUL belongs to it.
  Line = Line.substr(0, Line.find('\0'));
  std::vector<std::string> Words;
  std::size_t Pos = 0;
  for (std::string Arg = ReadArg(Line, Pos, IsLeadByte); !Arg.empty();
       Arg = ReadArg(Line, Pos, IsLeadByte)) {
    Words.push_back(std::move(Arg));
  }
  return Words;
}

Args ProcessArgs(int Argc, char** Argv) {
  if (const auto Raw = Platform::RawCommandLine()) {
    std::vector<std::string> All = SplitCommandLine(*Raw, Platform::IsLeadByte);
    return All.empty() ? Args{} : Args(All.begin() + 1, All.end());
  }
  // Splitting a command line never yields an empty argument, so neither does argv here.
  Args Arguments;
  for (int Index = 1; Index < Argc; ++Index) {
    if (Argv[Index][0] != '\0') Arguments.emplace_back(Argv[Index]);
  }
  return Arguments;
}

int ArgCount(const Args& Arguments) { return static_cast<int>(Arguments.size()); }

std::string ArgText(const Args& Arguments, int Index) {
  return Index >= 1 && Index <= ArgCount(Arguments) ? Arguments[Index - 1] : std::string();
}

std::string NormalizeArg(std::string_view Text) {
  std::string Lowered(Text);
  for (char& C : Lowered) {
    if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
  }
  std::size_t First = 0;
  std::size_t Last = Lowered.size();
  while (First < Last && IsBlank(Lowered[First])) ++First;
  while (Last > First && IsBlank(Lowered[Last - 1])) --Last;
  return Lowered.substr(First, Last - First);
}

std::string FirstTwoChars(std::string_view Text) {
  return Text.size() < 2 ? std::string() : std::string(Text.substr(0, 2));
}

std::string AfterFirstTwoChars(std::string_view Text) {
  return Text.size() < 2 ? std::string() : std::string(Text.substr(2));
}

bool HasOption(const Args& Arguments, std::string_view Name) {
  const std::string Wanted = NormalizeArg(Name);
  for (const std::string& Arg : Arguments) {
    if (NormalizeArg(Arg).compare(0, Wanted.size(), Wanted) == 0) return true;
  }
  return false;
}

std::string OptionValue(const Args& Arguments, std::string_view Name) {
  const std::string Wanted = NormalizeArg(Name);
  for (const std::string& Arg : Arguments) {
    if (NormalizeArg(FirstTwoChars(Arg)) == Wanted) return AfterFirstTwoChars(Arg);
  }
  return std::string();
}

std::int32_t TextToInt(const std::string& Text) {
  const auto Fail = [&Text]() { throw Failure("'" + Text + "' is not a valid integer value"); };
  const std::size_t Size = Text.size();
  std::size_t Pos = 0;
  while (Pos < Size && Text[Pos] == ' ') ++Pos;
  bool Negative = false;
  if (Pos < Size && (Text[Pos] == '+' || Text[Pos] == '-')) Negative = Text[Pos++] == '-';
  int Base = 10;
  if (Pos < Size && (Text[Pos] == '$' || Text[Pos] == 'x' || Text[Pos] == 'X')) {
    Base = 16;
    Pos += 1;
  } else if (Pos + 1 < Size && Text[Pos] == '0' && (Text[Pos + 1] == 'x' || Text[Pos + 1] == 'X')) {
    Base = 16;
    Pos += 2;
  }
  if (Pos == Size) Fail();

  // Decimal stops one past INT32_MAX, the magnitude of INT32_MIN; hexadecimal at 32 bits.
  const std::uint64_t Limit = Base == 10 ? 2147483648ULL : 0xFFFFFFFFULL;
  std::uint64_t Magnitude = 0;
  for (; Pos < Size; ++Pos) {
    const int Digit = DigitValue(Text[Pos], Base);
    if (Digit < 0) Fail();
    Magnitude = Magnitude * Base + Digit;
    if (Magnitude > Limit) Fail();
  }
  if (Base == 16) {
    // All 32 bits are the number's own; a minus sign negates with wrap-around.
    std::uint32_t Bits = static_cast<std::uint32_t>(Magnitude);
    if (Negative) Bits = 0U - Bits;
    return static_cast<std::int32_t>(Bits);
  }
  if (!Negative && Magnitude > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) Fail();
  return static_cast<std::int32_t>(Negative ? -static_cast<std::int64_t>(Magnitude)
                                            : static_cast<std::int64_t>(Magnitude));
}
