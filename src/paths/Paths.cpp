// Path and name helpers. Paths are stepped one character at a time so that the trail byte of a
// double-byte character is never taken for a separator.
#include "paths/Paths.h"

#include <vector>

#include "platform/Platform.h"

namespace {

constexpr std::size_t kNone = std::string_view::npos;

bool IsDelimiter(char c, const PathStyle& style) {
  return c == style.separator || (style.colonDelimits && c == ':');
}

std::size_t CharWidth(std::string_view path, std::size_t pos, const PathStyle& style) {
  return style.isLeadByte(static_cast<unsigned char>(path[pos])) && pos + 1 < path.size() ? 2 : 1;
}

// Position of the last delimiter, and of the last character, in one pass from the start.
struct Landmarks {
  std::size_t lastDelimiter = kNone;
  std::size_t lastChar = kNone;
};

Landmarks FindLandmarks(std::string_view path, const PathStyle& style) {
  Landmarks marks;
  for (std::size_t pos = 0; pos < path.size(); pos += CharWidth(path, pos, style)) {
    marks.lastChar = pos;
    if (IsDelimiter(path[pos], style)) marks.lastDelimiter = pos;
  }
  return marks;
}

bool EndsWithSeparator(std::string_view path, const PathStyle& style) {
  const std::size_t last = FindLandmarks(path, style).lastChar;
  return last != kNone && path[last] == style.separator;
}

}  // namespace

PathStyle NativePathStyle() {
  return PathStyle{platform::kPathSeparator, platform::kColonEndsPathPrefix, platform::IsLeadByte};
}

std::string FolderPart(std::string_view path, const PathStyle& style) {
  const std::size_t delimiter = FindLandmarks(path, style).lastDelimiter;
  return delimiter == kNone ? std::string() : std::string(path.substr(0, delimiter + 1));
}

std::string FileNamePart(std::string_view path, const PathStyle& style) {
  const std::size_t delimiter = FindLandmarks(path, style).lastDelimiter;
  return std::string(delimiter == kNone ? path : path.substr(delimiter + 1));
}

std::string ExtPart(std::string_view path, const PathStyle& style) {
  // A "." is never a trail byte, but a name is still stepped whole to find where it begins.
  const std::string name = FileNamePart(path, style);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string NameWithoutExt(std::string_view path, const PathStyle& style) {
  const std::string name = FileNamePart(path, style);
  return name.substr(0, name.size() - ExtPart(name, style).size());
}

std::string WithTrailingBackslash(std::string_view path, const PathStyle& style) {
  std::string result(path);
  if (!result.empty() && !EndsWithSeparator(result, style)) result += style.separator;
  return result;
}

std::string OwnExePath() { return platform::OwnExePath(); }

std::string ExeFolderFile(std::string_view name) {
  const PathStyle style = NativePathStyle();
  return WithTrailingBackslash(FolderPart(OwnExePath(), style), style) + std::string(name);
}

bool IsExistingFile(const std::string& path) {
  const platform::FileLookup entry = platform::LookUpFile(path);
  return entry.found && !entry.isFolder;
}

bool MakeFolderChain(const std::string& path, const PathStyle& style) {
  if (path.empty()) return false;

  std::vector<std::size_t> delimiters;
  for (std::size_t pos = 0; pos < path.size(); pos += CharWidth(path, pos, style)) {
    if (IsDelimiter(path[pos], style)) delimiters.push_back(pos);
  }

  // Walk up until a folder that needs nothing: the root, a drive, or one that exists. The
  // folder in hand is path[0, end); the delimiters before end are the first `above` of them.
  // Separators standing together count as one, so "out\\name\" still makes a missing "out".
  // One pass and no recursion, so a path of very many levels costs neither time nor stack.
  std::vector<std::size_t> missing;
  std::size_t end = path.size();
  std::size_t above = delimiters.size();
  for (;;) {
    while (above > 0 && delimiters[above - 1] == end - 1 && path[end - 1] == style.separator) {
      --end;
      --above;
    }
    const std::size_t folderEnd = above > 0 ? delimiters[above - 1] + 1 : 0;
    if (end == 0 || folderEnd == end || platform::IsExistingFolder(path.substr(0, end))) break;
    missing.push_back(end);
    if (folderEnd == 0) break;  // a relative name lies in the current folder
    end = folderEnd;
  }

  for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder) {
    if (!platform::CreateFolder(path.substr(0, *folder))) return false;
  }
  return true;
}
