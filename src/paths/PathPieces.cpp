// Pieces of a path. Paths are stepped one character at a time so that the trail byte of a
// double-byte character is never taken for a separator.
#include "paths/PathPieces.h"

namespace {

constexpr std::size_t None = std::string_view::npos;

bool IsDelimiter(char C, const PathStyle& Style) {
  return C == Style.Separator || (Style.ColonDelimits && C == ':');
}

std::size_t CharWidth(std::string_view Path, std::size_t Pos, const PathStyle& Style) {
  return Style.IsLeadByte(static_cast<unsigned char>(Path[Pos])) && Pos + 1 < Path.size() ? 2 : 1;
}

// Position of the last delimiter, and of the last character, in one pass from the start.
struct Landmarks {
  std::size_t LastDelimiter = None;
  std::size_t LastChar = None;
};

Landmarks FindLandmarks(std::string_view Path, const PathStyle& Style) {
  Landmarks Marks;
  for (std::size_t Pos = 0; Pos < Path.size(); Pos += CharWidth(Path, Pos, Style)) {
    Marks.LastChar = Pos;
    if (IsDelimiter(Path[Pos], Style)) Marks.LastDelimiter = Pos;
  }
  return Marks;
}

}  // namespace

std::vector<std::size_t> DelimiterPositions(std::string_view Path, const PathStyle& Style) {
  std::vector<std::size_t> Positions;
  for (std::size_t Pos = 0; Pos < Path.size(); Pos += CharWidth(Path, Pos, Style)) {
    if (IsDelimiter(Path[Pos], Style)) Positions.push_back(Pos);
  }
  return Positions;
}

std::string FolderPart(std::string_view Path, const PathStyle& Style) {
  const std::size_t Delimiter = FindLandmarks(Path, Style).LastDelimiter;
  return Delimiter == None ? std::string() : std::string(Path.substr(0, Delimiter + 1));
}

std::string FileNamePart(std::string_view Path, const PathStyle& Style) {
  const std::size_t Delimiter = FindLandmarks(Path, Style).LastDelimiter;
  return std::string(Delimiter == None ? Path : Path.substr(Delimiter + 1));
}

std::string ExtPart(std::string_view Path, const PathStyle& Style) {
  // Stepped like the rest: a byte after a lead byte is never the dot, whatever its value.
  const std::string Name = FileNamePart(Path, Style);
  std::size_t Dot = None;
  for (std::size_t Pos = 0; Pos < Name.size(); Pos += CharWidth(Name, Pos, Style)) {
    if (Name[Pos] == '.') Dot = Pos;
  }
  return Dot == None ? std::string() : Name.substr(Dot);
}

std::string NameWithoutExt(std::string_view Path, const PathStyle& Style) {
  const std::string Name = FileNamePart(Path, Style);
  return Name.substr(0, Name.size() - ExtPart(Name, Style).size());
}

std::string WithTrailingBackslash(std::string_view Path, const PathStyle& Style) {
  std::string Result(Path);
  const std::size_t Last = FindLandmarks(Path, Style).LastChar;
  if (Last != None && Path[Last] != Style.Separator) Result += Style.Separator;
  return Result;
}
