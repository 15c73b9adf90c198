// Win32 services of the front end, all through the ANSI code page: the raw command line,
// backslash and colon paths, CR LF line ends, CreateProcessA.
#include "platform/Platform.h"

#include <windows.h>

namespace Platform {

namespace {

// Closes a handle on every path out of a scope, with the function that handle's kind needs.
template <BOOL(WINAPI* Close)(HANDLE)>
class Scoped {
 public:
  explicit Scoped(HANDLE Handle) : Handle_(Handle) {}
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;
  ~Scoped() {
    if (IsValid()) Close(Handle_);
  }
  HANDLE Get() const { return Handle_; }
  bool IsValid() const { return Handle_ != nullptr && Handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE Handle_;
};

using ScopedHandle = Scoped<CloseHandle>;
using ScopedFind = Scoped<FindClose>;

}  // namespace

const char PathSeparator = '\\';
const bool ColonEndsPathPrefix = true;
const char ExecutableSuffix[] = ".exe";
const char LineEnd[] = "\r\n";

bool IsLeadByte(unsigned char C) { return IsDBCSLeadByte(C) != FALSE; }

std::optional<std::string> RawCommandLine() { return std::string(GetCommandLineA()); }

std::string OwnExePath() {
  std::string Path(MAX_PATH, '\0');
  for (;;) {
    const DWORD Length = GetModuleFileNameA(nullptr, Path.data(), static_cast<DWORD>(Path.size()));
    if (Length == 0) return std::string();
    if (Length < Path.size()) {
      Path.resize(Length);
      return Path;
    }
    if (Path.size() >= 32768) return std::string();
    Path.resize(Path.size() * 2);
  }
}

FileLookup LookUpFile(const std::string& Path) {
  WIN32_FIND_DATAA Data{};
  FileLookup Entry;
  const ScopedFind Find(FindFirstFileA(Path.c_str(), &Data));
  if (!Find.IsValid()) return Entry;
  Entry.Found = true;
  Entry.IsFolder = (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  Entry.WriteTime = (static_cast<std::int64_t>(Data.ftLastWriteTime.dwHighDateTime) << 32) |
                    Data.ftLastWriteTime.dwLowDateTime;
  return Entry;
}

bool IsExistingFolder(const std::string& Path) {
  const DWORD Attributes = GetFileAttributesA(Path.c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateFolder(const std::string& Path) { return CreateDirectoryA(Path.c_str(), nullptr) != FALSE; }

void RunAndWait(const ChildCommand& Command) {
  STARTUPINFOA Startup{};
  Startup.cb = sizeof(Startup);
  Startup.dwFlags = STARTF_USESHOWWINDOW;
  Startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION Process{};

  // CreateProcessA may write into the command line, so it gets a copy of its full length. The
  // program is named outright, so no shorter prefix of its path is ever tried.
  std::string CommandLine = Command.CommandLine;
  if (!CreateProcessA(Command.Program.c_str(), CommandLine.data(), nullptr, nullptr, FALSE,
                      CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, nullptr, nullptr, &Startup,
                      &Process)) {
    return;
  }
  // Declared in this order so that the process handle is closed first, then the thread's.
  const ScopedHandle ThreadHandle(Process.hThread);
  const ScopedHandle ProcessHandle(Process.hProcess);
  WaitForSingleObject(ProcessHandle.Get(), INFINITE);
}

void WriteOut(std::string_view Bytes) {
  const HANDLE Out = GetStdHandle(STD_OUTPUT_HANDLE);
  while (!Bytes.empty() && Out != nullptr && Out != INVALID_HANDLE_VALUE) {
    DWORD Written = 0;
    const DWORD Chunk = Bytes.size() > 0x10000 ? 0x10000 : static_cast<DWORD>(Bytes.size());
    if (!WriteFile(Out, Bytes.data(), Chunk, &Written, nullptr) || Written == 0) return;
    Bytes.remove_prefix(Written);
  }
}

void Terminate(int ExitCode) {
  // WriteFile keeps no buffer of ours, so closing is all the flushing there is; flushing a pipe
  // would wait for its reader.
  const HANDLE Out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (Out != nullptr && Out != INVALID_HANDLE_VALUE) CloseHandle(Out);
  ExitProcess(static_cast<UINT>(ExitCode));
}

}  // namespace Platform
