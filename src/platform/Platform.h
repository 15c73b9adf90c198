// The operating-system services the front end uses; the build compiles exactly one implementation.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Path and console conventions of this platform.
extern const char kPathSeparator;
extern const bool kColonEndsPathPrefix;
extern const char kExecutableSuffix[];
extern const char kLineEnd[];

// True when c opens a double-byte character in the active ANSI code page.
bool IsLeadByte(unsigned char c);

// The process's command line as one string where the platform keeps one (Windows); none where
// the program is handed ready-split arguments.
std::optional<std::string> RawCommandLine();

// Full path of the running executable; empty if the platform cannot tell.
std::string OwnExePath();

struct FileLookup {
  bool found = false;
  bool isFolder = false;
  std::int64_t writeTime = 0;  // platform units; only compared for equality
};

// Looks a path up as the platform's file search sees it (on Windows, wildcards match).
FileLookup LookUpFile(const std::string& path);
bool IsExistingFolder(const std::string& path);
bool CreateFolder(const std::string& path);

// A child program to start: Windows uses the command line, POSIX the argument vector.
struct ChildCommand {
  std::string program;
  std::string commandLine;
  std::vector<std::string> args;
};

// Starts the program with no window and no access to our console, and waits for it to end.
// A program that cannot be started is passed over in silence.
void RunAndWait(const ChildCommand& command);

// Writes bytes to standard output unchanged.
void WriteOut(std::string_view bytes);

// Flushes and closes standard output and ends the process at once.
[[noreturn]] void Terminate(int exitCode);

}  // namespace platform
