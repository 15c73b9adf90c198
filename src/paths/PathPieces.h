// Pieces of a path (folder, file name, extension), stepped by character; no system calls, so
// the conversion engine links them too.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/LeadByte.h"

// What delimits a path: its separator, whether any colon ends a prefix too (a drive does on
// Windows), and the code page's lead bytes, whose trail bytes are never delimiters.
struct PathStyle {
  char Separator;
  bool ColonDelimits;
  LeadByteTest IsLeadByte;
};

// Where each delimiter stands, in order; trail bytes of double-byte characters are passed over.
std::vector<std::size_t> DelimiterPositions(std::string_view Path, const PathStyle& Style);

// Everything up to and including the last delimiter; empty when there is none.
std::string FolderPart(std::string_view Path, const PathStyle& Style);

// Everything after the last delimiter; the whole path when there is none.
std::string FileNamePart(std::string_view Path, const PathStyle& Style);

// From the last "." of the file name to the end; empty when the name has no ".".
std::string ExtPart(std::string_view Path, const PathStyle& Style);

std::string NameWithoutExt(std::string_view Path, const PathStyle& Style);

// The path with a separator at its end; an empty path stays empty.
std::string WithTrailingBackslash(std::string_view Path, const PathStyle& Style);
