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

namespace platform {

const char kPathSeparator = '/';
const bool kColonEndsPathPrefix = false;
const char kExecutableSuffix[] = "";
const char kLineEnd[] = "\n";

bool IsLeadByte(unsigned char) { return false; }

std::optional<std::string> RawCommandLine() { return std::nullopt; }

std::string OwnExePath() {
  std::string path(256, '\0');
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length < 0) return std::string();
    if (static_cast<std::size_t>(length) < path.size()) {
      path.resize(static_cast<std::size_t>(length));
      return path;
    }
    path.resize(path.size() * 2);
  }
}

FileLookup LookUpFile(const std::string& path) {
  struct stat info {};
  FileLookup entry;
  if (path.empty() || stat(path.c_str(), &info) != 0) return entry;
  entry.found = true;
  entry.isFolder = S_ISDIR(info.st_mode);
  entry.writeTime = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return entry;
}

bool IsExistingFolder(const std::string& path) {
  const FileLookup entry = LookUpFile(path);
  return entry.found && entry.isFolder;
}

bool CreateFolder(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

void RunAndWait(const ChildCommand& command) {
  std::vector<char*> argv;
  for (const std::string& arg : command.args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  // The engine gets no part of our terminal, like a hidden console, and the default signal
  // handling that we may have changed for ourselves.
  posix_spawn_file_actions_t files;
  posix_spawnattr_t attributes;
  if (posix_spawn_file_actions_init(&files) != 0) return;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&files);
    return;
  }
  for (int fd = 0; fd <= 2; ++fd) {
    posix_spawn_file_actions_addopen(&files, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  }
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

  pid_t child = 0;
  const int started = posix_spawn(&child, command.program.c_str(), &files, &attributes,
                                  argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&files);
  if (started != 0) return;

  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}

void WriteOut(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(STDOUT_FILENO, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // nowhere left to say anything
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

void Terminate(int exitCode) {
  close(STDOUT_FILENO);
  _exit(exitCode);
}

}  // namespace platform
