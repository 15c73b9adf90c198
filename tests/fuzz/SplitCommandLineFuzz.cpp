// Fuzzes the splitting of raw command lines, without and with a double-byte code page.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "support/CodePages.h"
#include "cli/CommandLine.h"

namespace {

// True unless the word ends in a lead byte with no trail byte, which only the line's end gives.
bool EndsWhole(const std::string& Word, LeadByteTest IsLeadByte) {
  std::size_t Pos = 0;
  while (Pos < Word.size()) Pos += IsLeadByte(static_cast<unsigned char>(Word[Pos])) ? 2 : 1;
  return Pos == Word.size();
}

}  // namespace

// The first byte picks the code page; the rest is the command line.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (Size == 0) return 0;
  const LeadByteTest IsLeadByte = (Data[0] & 1) != 0 ? ShiftJisLeadByte : NoLeadBytes;
  const std::string Line(reinterpret_cast<const char*>(Data) + 1, Size - 1);
  const std::vector<std::string> Words = SplitCommandLine(Line, IsLeadByte);

  std::size_t Bytes = 0;
  for (const std::string& Word : Words) {
    Check(!Word.empty(), "an empty word");
    Check(Word.find('\0') == std::string::npos, "a NUL inside a word");
    Bytes += Word.size();
  }
  Check(Bytes <= Line.size(), "more bytes in the words than in the line");

  const std::size_t Nul = Line.find('\0');
  if (Nul != std::string::npos) {
    Check(SplitCommandLine(Line.substr(0, Nul), IsLeadByte) == Words, "bytes after a NUL counted");
  }

  // Each word in quotes of its own reads back as itself: quotes, blanks and trail bytes inside a
  // word stay where they were.
  std::string Quoted;
  bool Whole = true;
  for (const std::string& Word : Words) {
    Whole = Whole && EndsWhole(Word, IsLeadByte);
    Quoted += " \"" + Word + "\"";
  }
  if (Whole) Check(SplitCommandLine(Quoted, IsLeadByte) == Words, "quoted words read back otherwise");
  return 0;
}
