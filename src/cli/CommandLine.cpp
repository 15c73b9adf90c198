// Command-line splitting, argument access, option lookup and integer parsing.
#include "cli/CommandLine.h"

#include <limits>

#include "app/Failure.h"
#include "platform/Platform.h"

namespace {

bool IsBlank(unsigned char c) { return c <= 32; }

// Reads the argument that begins at or after pos and leaves pos just past it. An empty result
// means the line has ended.
std::string ReadArg(std::string_view line, std::size_t& pos, LeadByteTest isLeadByte) {
  const auto at = [&](std::size_t i) -> unsigned char {
    return i < line.size() ? static_cast<unsigned char>(line[i]) : 0;
  };
  for (;;) {
    while (at(pos) >= 1 && at(pos) <= 32) ++pos;
    if (at(pos) != '"' || at(pos + 1) != '"') break;
    pos += 2;
  }
  std::string arg;
  bool quoted = false;
  while (pos < line.size()) {
    const unsigned char c = at(pos);
    if (!quoted && IsBlank(c)) break;
    if (c == '"') {
      quoted = !quoted;
      ++pos;
      continue;
    }
    const std::size_t width = isLeadByte(c) && at(pos + 1) != 0 ? 2 : 1;
    arg.append(line.substr(pos, width));
    pos += width;
  }
  return arg;
}

int DigitValue(char c, int base) {
  int value = -1;
  if (c >= '0' && c <= '9') value = c - '0';
  else if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
  return value < base ? value : -1;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view line, LeadByteTest isLeadByte) {
  // The line is a C string to the platform: nothing after a NUL belongs to it.
  line = line.substr(0, line.find('\0'));
  std::vector<std::string> args;
  std::size_t pos = 0;
  for (std::string arg = ReadArg(line, pos, isLeadByte); !arg.empty();
       arg = ReadArg(line, pos, isLeadByte)) {
    args.push_back(std::move(arg));
  }
  return args;
}

Args ProcessArgs(int argc, char** argv) {
  if (const auto raw = platform::RawCommandLine()) {
    std::vector<std::string> all = SplitCommandLine(*raw, platform::IsLeadByte);
    return all.empty() ? Args{} : Args(all.begin() + 1, all.end());
  }
  // Splitting a command line never yields an empty argument, so neither does argv here.
  Args args;
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] != '\0') args.emplace_back(argv[i]);
  }
  return args;
}

int ArgCount(const Args& args) { return static_cast<int>(args.size()); }

std::string ArgText(const Args& args, int i) {
  return i >= 1 && i <= ArgCount(args) ? args[i - 1] : std::string();
}

std::string NormalizeArg(std::string_view text) {
  std::string lowered(text);
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  std::size_t first = 0;
  std::size_t last = lowered.size();
  while (first < last && IsBlank(lowered[first])) ++first;
  while (last > first && IsBlank(lowered[last - 1])) --last;
  return lowered.substr(first, last - first);
}

std::string FirstTwoChars(std::string_view text) {
  return text.size() < 2 ? std::string() : std::string(text.substr(0, 2));
}

std::string AfterFirstTwoChars(std::string_view text) {
  return text.size() < 2 ? std::string() : std::string(text.substr(2));
}

bool HasOption(const Args& args, std::string_view name) {
  const std::string wanted = NormalizeArg(name);
  for (const std::string& arg : args) {
    if (NormalizeArg(arg).compare(0, wanted.size(), wanted) == 0) return true;
  }
  return false;
}

std::string OptionValue(const Args& args, std::string_view name) {
  const std::string wanted = NormalizeArg(name);
  for (const std::string& arg : args) {
    if (NormalizeArg(FirstTwoChars(arg)) == wanted) return AfterFirstTwoChars(arg);
  }
  return std::string();
}

std::int32_t TextToInt(const std::string& text) {
  const auto fail = [&text]() { throw Failure("'" + text + "' is not a valid integer value"); };
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n && text[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    i += 1;
  } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == n) fail();

  // Decimal stops one past INT32_MAX, the magnitude of INT32_MIN; hexadecimal at 32 bits.
  const std::uint64_t limit = base == 10 ? 2147483648ULL : 0xFFFFFFFFULL;
  std::uint64_t magnitude = 0;
  for (; i < n; ++i) {
    const int digit = DigitValue(text[i], base);
    if (digit < 0) fail();
    magnitude = magnitude * base + digit;
    if (magnitude > limit) fail();
  }
  if (base == 16) {
    // All 32 bits are the number's own; a minus sign negates with wrap-around.
    std::uint32_t bits = static_cast<std::uint32_t>(magnitude);
    if (negative) bits = 0U - bits;
    return static_cast<std::int32_t>(bits);
  }
  if (!negative && magnitude > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) fail();
  return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(magnitude)
                                            : static_cast<std::int64_t>(magnitude));
}
