// Path and name helpers: pieces of a path, the executable's folder, file test, folder creation.
#pragma once

#include <string>
#include <string_view>

#include "cli/CommandLine.h"

// What delimits a path: its separator, whether any colon ends a prefix too (a drive does on
// Windows), and the code page's lead bytes, whose trail bytes are never delimiters.
struct PathStyle {
  char separator;
  bool colonDelimits;
  LeadByteTest isLeadByte;
};

PathStyle NativePathStyle();

// Everything up to and including the last delimiter; empty when there is none.
std::string FolderPart(std::string_view path, const PathStyle& style);

// Everything after the last delimiter; the whole path when there is none.
std::string FileNamePart(std::string_view path, const PathStyle& style);

// From the last "." of the file name to the end; empty when the name has no ".".
std::string ExtPart(std::string_view path, const PathStyle& style);

std::string NameWithoutExt(std::string_view path, const PathStyle& style);

// The path with a separator at its end; an empty path stays empty.
std::string WithTrailingBackslash(std::string_view path, const PathStyle& style);

std::string OwnExePath();

// The named file in the folder of the running executable.
std::string ExeFolderFile(std::string_view name);

// True when the path names an entry that is not a folder.
bool IsExistingFile(const std::string& path);

// Makes sure the folder and every folder above it exist; false when one cannot be made.
bool MakeFolderChain(const std::string& path, const PathStyle& style);
