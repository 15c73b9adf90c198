// Paths on this system: what the platform layer says about its paths and files, put to the
// front end's use.
#include "paths/Paths.h"

#include <vector>

#include "platform/Platform.h"

PathStyle NativePathStyle() {
  return PathStyle{Platform::PathSeparator, Platform::ColonEndsPathPrefix, Platform::IsLeadByte};
}

std::string ExeFolderFile(std::string_view Name) {
  const PathStyle Style = NativePathStyle();
  return WithTrailingBackslash(FolderPart(Platform::OwnExePath(), Style), Style) + std::string(Name);
}

bool IsExistingFile(const std::string& Path) {
  const Platform::FileLookup Entry = Platform::LookUpFile(Path);
  return Entry.Found && !Entry.IsFolder;
}

bool MakeFolderChain(const std::string& Path, const PathStyle& Style) {
  if (Path.empty()) return false;
  const std::vector<std::size_t> Delimiters = DelimiterPositions(Path, Style);

  // Walk up until a folder that needs nothing: the root, a drive, or one that exists. The
  // folder in hand is Path[0, End); the delimiters before End are the first `Above` of them.
  // Separators standing together count as one, so "out\\name\" still makes a missing "out".
  // One pass and no recursion, so a path of very many levels costs neither time nor stack.
  std::vector<std::size_t> Missing;
  std::size_t End = Path.size();
  std::size_t Above = Delimiters.size();
  for (;;) {
    while (Above > 0 && Delimiters[Above - 1] == End - 1 && Path[End - 1] == Style.Separator) {
      --End;
      --Above;
    }
    const std::size_t FolderEnd = Above > 0 ? Delimiters[Above - 1] + 1 : 0;
    if (End == 0 || FolderEnd == End || Platform::IsExistingFolder(Path.substr(0, End))) break;
    Missing.push_back(End);
    if (FolderEnd == 0) break;  // a relative name lies in the current folder
    End = FolderEnd;
  }

  for (auto Folder = Missing.rbegin(); Folder != Missing.rend(); ++Folder) {
    if (!Platform::CreateFolder(Path.substr(0, *Folder))) return false;
  }
  return true;
}
