// Fuzzes the path pieces in every path style: the pieces add up to the path and never cut a
// double-byte character.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "support/CodePages.h"
#include "paths/PathPieces.h"

namespace {

// Where each character of Text begins, stepped from its start, and Text's size last.
std::vector<std::size_t> CharStarts(const std::string& Text, const PathStyle& Style) {
  std::vector<std::size_t> Starts;
  std::size_t Pos = 0;
  while (Pos < Text.size()) {
    Starts.push_back(Pos);
    Pos += Style.IsLeadByte(static_cast<unsigned char>(Text[Pos])) && Pos + 1 < Text.size() ? 2 : 1;
  }
  Starts.push_back(Text.size());
  return Starts;
}

bool IsStart(const std::vector<std::size_t>& Starts, std::size_t Pos) {
  for (const std::size_t Start : Starts) {
    if (Start == Pos) return true;
  }
  return false;
}

// Where the characters that are Wanted stand, single-byte characters only.
std::vector<std::size_t> Find(const std::string& Text, const PathStyle& Style, bool Delimiters, char Wanted) {
  std::vector<std::size_t> Found;
  const std::vector<std::size_t> Starts = CharStarts(Text, Style);
  for (std::size_t Index = 0; Index + 1 < Starts.size(); ++Index) {
    const char C = Text[Starts[Index]];
    const bool Match = Delimiters ? C == Style.Separator || (Style.ColonDelimits && C == ':') : C == Wanted;
    if (Match && Starts[Index + 1] == Starts[Index] + 1) Found.push_back(Starts[Index]);
  }
  return Found;
}

}  // namespace

// The first byte picks the separator, whether a colon delimits, and the code page.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  if (Size == 0) return 0;
  const PathStyle Style{(Data[0] & 1) != 0 ? '\\' : '/', (Data[0] & 2) != 0,
                        (Data[0] & 4) != 0 ? ShiftJisLeadByte : NoLeadBytes};
  const std::string Path(reinterpret_cast<const char*>(Data) + 1, Size - 1);
  const std::vector<std::size_t> Starts = CharStarts(Path, Style);

  const std::vector<std::size_t> Delimiters = DelimiterPositions(Path, Style);
  Check(Delimiters == Find(Path, Style, true, 0), "delimiters found otherwise");

  const std::string Folder = FolderPart(Path, Style);
  const std::string Name = FileNamePart(Path, Style);
  Check(Folder + Name == Path, "folder and file name do not add up to the path");
  Check(Delimiters.empty() ? Folder.empty() : Folder.size() == Delimiters.back() + 1,
        "the folder does not end at the last delimiter");

  const std::string Ext = ExtPart(Path, Style);
  const std::string Bare = NameWithoutExt(Path, Style);
  Check(Bare + Ext == Name, "name and extension do not add up to the file name");
  const std::vector<std::size_t> Dots = Find(Name, Style, false, '.');
  Check(Dots.empty() ? Ext.empty() : Bare.size() == Dots.back(), "the extension does not begin at the last dot");
  Check(IsStart(CharStarts(Name, Style), Bare.size()), "the extension cuts a character");

  const std::string Trailing = WithTrailingBackslash(Path, Style);
  if (Path.empty()) {
    Check(Trailing.empty(), "an empty path grew");
  } else {
    const std::size_t LastChar = Starts[Starts.size() - 2];
    const bool EndsInSeparator = LastChar + 1 == Path.size() && Path[LastChar] == Style.Separator;
    Check(Trailing == (EndsInSeparator ? Path : Path + Style.Separator), "trailing separator misplaced");
  }
  return 0;
}
