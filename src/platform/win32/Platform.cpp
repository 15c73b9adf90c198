// Win32 services of the front end, all through the ANSI code page: the raw command line,
// backslash and colon paths, CR LF line ends, CreateProcessA.
#include "platform/Platform.h"

#include <windows.h>

namespace platform {

namespace {

// Closes a handle on every path out of a scope, with the function that handle's kind needs.
template <BOOL(WINAPI* Close)(HANDLE)>
class Scoped {
 public:
  explicit Scoped(HANDLE handle) : handle_(handle) {}
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;
  ~Scoped() {
    if (valid()) Close(handle_);
  }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

using ScopedHandle = Scoped<CloseHandle>;
using ScopedFind = Scoped<FindClose>;

}  // namespace

const char kPathSeparator = '\\';
const bool kColonEndsPathPrefix = true;
const char kExecutableSuffix[] = ".exe";
const char kLineEnd[] = "\r\n";

bool IsLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }

std::optional<std::string> RawCommandLine() { return std::string(GetCommandLineA()); }

std::string OwnExePath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::string();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    if (path.size() >= 32768) return std::string();
    path.resize(path.size() * 2);
  }
}

FileLookup LookUpFile(const std::string& path) {
  WIN32_FIND_DATAA data{};
  FileLookup entry;
  const ScopedFind find(FindFirstFileA(path.c_str(), &data));
  if (!find.valid()) return entry;
  entry.found = true;
  entry.isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry.writeTime = (static_cast<std::int64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                    data.ftLastWriteTime.dwLowDateTime;
  return entry;
}

bool IsExistingFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateFolder(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != FALSE; }

void RunAndWait(const ChildCommand& command) {
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process{};

  // CreateProcessA may write into the command line, so it gets a copy of its full length. The
  // program is named outright, so no shorter prefix of its path is ever tried.
  std::string commandLine = command.commandLine;
  if (!CreateProcessA(command.program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                      CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                      &process)) {
    return;
  }
  // Declared in this order so that the process handle is closed first, then the thread's.
  const ScopedHandle threadHandle(process.hThread);
  const ScopedHandle processHandle(process.hProcess);
  WaitForSingleObject(processHandle.get(), INFINITE);
}

void WriteOut(std::string_view bytes) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  while (!bytes.empty() && out != nullptr && out != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    const DWORD chunk = bytes.size() > 0x10000 ? 0x10000 : static_cast<DWORD>(bytes.size());
    if (!WriteFile(out, bytes.data(), chunk, &written, nullptr) || written == 0) return;
    bytes.remove_prefix(written);
  }
}

void Terminate(int exitCode) {
  // WriteFile keeps no buffer of ours, so closing is all the flushing there is; flushing a pipe
  // would wait for its reader.
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out != nullptr && out != INVALID_HANDLE_VALUE) CloseHandle(out);
  ExitProcess(static_cast<UINT>(exitCode));
}

}  // namespace platform
