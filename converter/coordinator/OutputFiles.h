// Names and safe writing of the engine's output files: temporary files renamed into place at the end.
#pragma once

#include "platform/Platform.h"

#include <string>

namespace Engine {

// Where the output goes: OUTPUTBASE split into its folder and its file name.
struct OutputPlace {
  std::string Folder;  // with its trailing separator, or empty for the current folder
  std::string Name;    // never empty, never contains a separator
};

// Splits OUTPUTBASE; returns false when it has no file name part ("", "dir/", ".", "..").
// With BackslashSeparates (Windows), "\" separates too and "d:" ends a drive prefix.
bool SplitOutputBase(const std::string& OutputBase, OutputPlace& Place, bool BackslashSeparates);

// Final names. Every file begins with Place.Name so that it stays recognisable beside the HTML.
std::string HtmlPath(const OutputPlace& Place);
// Page drawings, numbered from 1.
std::string PagePath(const OutputPlace& Place, int Page);
std::string PageFileName(const OutputPlace& Place, int Page);
// A temporary name beside Final: Final + ".part" + twelve hex digits of Random.
std::string TempPath(const std::string& Final, uint64_t Random);

// Creates a new temporary file beside Final under a name nobody can guess, trying other names
// while something (a file, a folder, a link) is in the way. Slot says where TempRegistry keeps the
// name for the clean-up. Returns false, with Reason, when the file cannot be created at all.
// Random gives the names' random parts.
bool CreateTemporary(const std::string& Final, size_t Slot, Platform::OutputFile& File, std::string& TempName,
                     std::string& Reason, uint64_t (*Random)() = Platform::RandomNumber);

// Temporary files of this run, removed on failure and when the process is ended by the user or
// the system. Slot 0 is the HTML's, slot N page N's drawing.
class TempRegistry {
 public:
  // Forgets earlier names and has the names set from now on removed when the process is ended.
  static void Start();
  static void Set(size_t Slot, const std::string& Name);
  static std::string Get(size_t Slot);
  // Removes every recorded temporary that exists.
  static void RemoveAll();
  // Forgets the files once they have been renamed into place.
  static void Clear();
};

}  // namespace Engine
