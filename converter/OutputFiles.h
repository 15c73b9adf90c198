// Names and safe writing of the engine's output files: temporary files renamed into place at the end.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace Engine {

// Where the output goes: OUTPUTBASE split into its folder and its file name.
struct OutputPlace {
  std::string Folder;  // with a trailing slash, or empty for the current folder
  std::string Name;    // never empty, never contains a slash
};

// Splits OUTPUTBASE; returns false when it has no file name part ("", "dir/", ".", "..").
bool SplitOutputBase(const std::string& OutputBase, OutputPlace& Place);

// Final names. Every file begins with Place.Name so that it stays recognisable beside the HTML.
std::string HtmlPath(const OutputPlace& Place);
// The drawing of page Page, counting from 1.
std::string PagePath(const OutputPlace& Place, int Page);
std::string PageFileName(const OutputPlace& Place, int Page);
// A temporary name beside Final, unique to this run.
std::string TempPath(const std::string& Final, long RunId);

// Creates Path for writing without following a link there and without reusing an existing file.
// Returns the descriptor or -1 with errno set.
int CreateExclusive(const std::string& Path);

// Writes all of Data to Fd; false on any error (disk full, I/O error).
bool WriteAll(int Fd, const char* Data, size_t Size);

// Temporary files of this run, removed on failure and on a terminating signal.
class TempRegistry {
 public:
  // Installs the handlers for SIGINT, SIGTERM, SIGHUP and SIGPIPE that remove the files and end the process.
  static void InstallSignalHandlers();
  // Records the HTML temporary file and the pattern of the page temporaries (PagePath + suffix).
  static void Track(const OutputPlace& Place, long RunId, int PageCount);
  // Stops the drawing processes, then removes every tracked temporary that exists.
  static void RemoveAll();
  // Forgets the files once they have been renamed into place.
  static void Clear();
  // A drawing process to kill before the clean-up, so that it cannot write after it.
  static void TrackWorker(pid_t Worker);
  static void ForgetWorkers();
};

}  // namespace Engine
