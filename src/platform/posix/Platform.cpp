// POSIX services of the front end: argv, "/" paths, LF line ends, posix_spawn.
#include "platform/Platform.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace Platform {

const char PathSeparator = '/';
const bool ColonEndsPathPrefix = false;
const char ExecutableSuffix[] = "";
const char LineEnd[] = "\n";

bool IsLeadByte(unsigned char) { return false; }

std::optional<std::string> RawCommandLine() { return std::nullopt; }

std::string OwnExePath() {
  std::string Path(256, '\0');
  for (;;) {
    const ssize_t Length = readlink("/proc/self/exe", Path.data(), Path.size());
    if (Length < 0) return std::string();
    if (static_cast<std::size_t>(Length) < Path.size()) {
      Path.resize(static_cast<std::size_t>(Length));
      return Path;
    }
    Path.resize(Path.size() * 2);
  }
}

FileLookup LookUpFile(const std::string& Path) {
  struct stat Info {};
  FileLookup Entry;
  if (Path.empty() || stat(Path.c_str(), &Info) != 0) return Entry;
  Entry.Found = true;
  Entry.IsFolder = S_ISDIR(Info.st_mode);
  Entry.WriteTime = static_cast<std::int64_t>(Info.st_mtim.tv_sec) * 1000000000 + Info.st_mtim.tv_nsec;
  return Entry;
}

bool IsExistingFolder(const std::string& Path) {
  const FileLookup Entry = LookUpFile(Path);
  return Entry.Found && Entry.IsFolder;
}

bool CreateFolder(const std::string& Path) { return mkdir(Path.c_str(), 0777) == 0; }

void RunAndWait(const ChildCommand& Command) {
  std::vector<char*> Argv;
  for (const std::string& Arg : Command.Arguments) Argv.push_back(const_cast<char*>(Arg.c_str()));
  Argv.push_back(nullptr);

  // The engine gets no part of our terminal, like a hidden console, and the default signal
  // handling that we may have changed for ourselves.
  posix_spawn_file_actions_t Files;
  posix_spawnattr_t Attributes;
  if (posix_spawn_file_actions_init(&Files) != 0) return;
  if (posix_spawnattr_init(&Attributes) != 0) {
    posix_spawn_file_actions_destroy(&Files);
    return;
  }
  for (int Fd = 0; Fd <= 2; ++Fd) {
    posix_spawn_file_actions_addopen(&Files, Fd, "/dev/null", Fd == 0 ? O_RDONLY : O_WRONLY, 0);
  }
  sigset_t Defaults;
  sigemptyset(&Defaults);
  sigaddset(&Defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&Attributes, &Defaults);
  posix_spawnattr_setflags(&Attributes, POSIX_SPAWN_SETSIGDEF);

  pid_t Child = 0;
  const int Started = posix_spawn(&Child, Command.Program.c_str(), &Files, &Attributes,
                                  Argv.data(), environ);
  posix_spawnattr_destroy(&Attributes);
  posix_spawn_file_actions_destroy(&Files);
  if (Started != 0) return;

  int Status = 0;
  while (waitpid(Child, &Status, 0) < 0 && errno == EINTR) {
  }
}

void WriteOut(std::string_view Bytes) {
  while (!Bytes.empty()) {
    const ssize_t Written = write(STDOUT_FILENO, Bytes.data(), Bytes.size());
    if (Written < 0 && errno == EINTR) continue;
    if (Written <= 0) return;  // nowhere left to say anything
    Bytes.remove_prefix(static_cast<std::size_t>(Written));
  }
}

void Terminate(int ExitCode) {
  close(STDOUT_FILENO);
  _exit(ExitCode);
}

}  // namespace Platform
