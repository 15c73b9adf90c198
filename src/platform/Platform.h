// The operating-system services the front end uses; the build compiles exactly one implementation.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {

// Path and console conventions of this platform.
extern const char PathSeparator;
extern const bool ColonEndsPathPrefix;
extern const char ExecutableSuffix[];
extern const char LineEnd[];

// True when C opens a double-byte character in the active ANSI code page.
bool IsLeadByte(unsigned char C);

// The process's command line as one string where the platform keeps one (Windows); none where
// the program is handed ready-split arguments.
std::optional<std::string> RawCommandLine();

// Full path of the running executable; empty if the platform cannot tell.
std::string OwnExePath();

struct FileLookup {
  bool Found = false;
  bool IsFolder = false;
  std::int64_t WriteTime = 0;  // platform units; only compared for equality
};

// Looks a path up as the platform's file search sees it (on Windows, wildcards match).
FileLookup LookUpFile(const std::string& Path);
bool IsExistingFolder(const std::string& Path);
bool CreateFolder(const std::string& Path);

// A child program to start: Windows uses the command line, POSIX the argument vector.
struct ChildCommand {
  std::string Program;
  std::string CommandLine;
  std::vector<std::string> Arguments;
};

// Starts the program with no window and no access to our console, and waits for it to end.
// A program that cannot be started is passed over in silence.
void RunAndWait(const ChildCommand& Command);

// Writes bytes to standard output unchanged.
void WriteOut(std::string_view Bytes);

// Flushes and closes standard output and ends the process at once.
[[noreturn]] void Terminate(int ExitCode);

}  // namespace Platform
