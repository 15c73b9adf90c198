// POSIX services of the engine: mapped input, exclusive files, signals, workers forked from the engine.
#include "platform/Platform.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <poll.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace Engine::Platform {

namespace {

int MessageFd = 2;

std::string SystemMessage(int Error) { return std::strerror(Error); }

void SendToNull(int Fd) {
  const int Null = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (Null < 0) return;
  dup2(Null, Fd);
  close(Null);
}

// Workers to kill before a terminating signal removes the files they write. Read by the signal
// handler, so plain memory only; a terminating signal is held while the table changes.
constexpr int MaxWorkers = 64;
volatile pid_t Workers[MaxWorkers] = {};
void (*volatile CleanUp)() = nullptr;

sigset_t TerminatingSignals() {
  sigset_t Set;
  sigemptyset(&Set);
  for (const int Signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&Set, Signal);
  return Set;
}

void Record(pid_t Pid, pid_t Replaced) {
  for (int I = 0; I < MaxWorkers; ++I) {
    if (Workers[I] == Replaced) {
      Workers[I] = Pid;
      return;
    }
  }
}

void OnTerminatingSignal(int Signal) {
  for (int I = 0; I < MaxWorkers; ++I) {
    const pid_t Worker = Workers[I];
    if (Worker <= 0) continue;
    kill(Worker, SIGKILL);
    waitpid(Worker, nullptr, 0);
    Workers[I] = 0;
  }
  if (CleanUp != nullptr) CleanUp();
  // Die of the same signal so that whoever started the engine sees how the run ended.
  signal(Signal, SIG_DFL);
  sigset_t Own;
  sigemptyset(&Own);
  sigaddset(&Own, Signal);
  raise(Signal);
  sigprocmask(SIG_UNBLOCK, &Own, nullptr);
  _exit(128 + Signal);
}

bool WriteAllFd(int Fd, std::string_view Bytes) {
  const char* Data = Bytes.data();
  size_t Size = Bytes.size();
  while (Size > 0) {
    const ssize_t Written = write(Fd, Data, Size);
    if (Written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    Data += Written;
    Size -= static_cast<size_t>(Written);
  }
  return true;
}

// The child of a worker's fork: standard input and output become its pipes, standard error
// leads nowhere, and nothing else of the engine stays open or handled, as in a program just
// started; then it runs the worker, which finds poppler and the other libraries already loaded.
[[noreturn]] void RunForked(int Commands, int Results, const std::vector<std::string>& Args,
                            WorkerProcess::WorkerEntry Entry) {
  dup2(Commands, 0);
  dup2(Results, 1);
  SendToNull(2);
  if (close_range(3, ~0u, 0) != 0) {
    for (int Fd = 3; Fd < 65536; ++Fd) close(Fd);
  }
  struct sigaction Default = {};
  Default.sa_handler = SIG_DFL;
  for (const int Signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(Signal, &Default, nullptr);
  sigset_t Empty;
  sigemptyset(&Empty);
  sigprocmask(SIG_SETMASK, &Empty, nullptr);
  int Status = 1;
  try {
    Status = Entry(Args);
  } catch (...) {
  }
  // The engine's buffers and exit handlers belong to the coordinator.
  _exit(Status);
}

}  // namespace

const bool BackslashSeparates = false;

std::vector<std::string> Arguments(int Argc, char** Argv) { return std::vector<std::string>(Argv, Argv + Argc); }

void QuietLibraryMessages() {
  const int Saved = fcntl(2, F_DUPFD_CLOEXEC, 3);
  if (Saved < 0) return;
  MessageFd = Saved;
  SendToNull(1);
  SendToNull(2);
}

void WriteMessage(std::string_view Line) { WriteAllFd(MessageFd, std::string(Line) + "\n"); }

#if defined(__SANITIZE_ADDRESS__)
#define ENGINE_CHECKS_LEAKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ENGINE_CHECKS_LEAKS 1
#endif
#endif

void EndProcess(int Status) {
#if defined(ENGINE_CHECKS_LEAKS)
  std::exit(Status);
#else
  std::fflush(nullptr);
  _exit(Status);
#endif
}

InputFile::~InputFile() {
  if (Data_ != nullptr) munmap(const_cast<char*>(Data_), Size_);
}

InputStatus InputFile::Open(const std::string& Path, std::string& Reason) {
  struct stat Info = {};
  if (stat(Path.c_str(), &Info) != 0) {
    Reason = SystemMessage(errno);
    return InputStatus::Missing;
  }
  if (S_ISDIR(Info.st_mode)) return InputStatus::Folder;
  if (!S_ISREG(Info.st_mode)) return InputStatus::NotRegular;
  // Not blocking, and checked again once open: the name may have been swapped for a pipe.
  const int Fd = open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (Fd < 0) {
    Reason = SystemMessage(errno);
    return InputStatus::Missing;
  }
  if (fstat(Fd, &Info) != 0 || !S_ISREG(Info.st_mode)) {
    close(Fd);
    return InputStatus::NotRegular;
  }
  if (Info.st_size == 0) {
    close(Fd);
    return InputStatus::Empty;
  }
  void* Mapped = mmap(nullptr, static_cast<size_t>(Info.st_size), PROT_READ, MAP_PRIVATE, Fd, 0);
  const int Error = errno;
  close(Fd);
  if (Mapped == MAP_FAILED) {
    Reason = SystemMessage(Error);
    return InputStatus::Missing;
  }
  Data_ = static_cast<const char*>(Mapped);
  Size_ = static_cast<size_t>(Info.st_size);
  return InputStatus::Opened;
}

OutputFile::~OutputFile() {
  if (Handle_ != -1) close(static_cast<int>(Handle_));
}

CreateStatus OutputFile::CreateNew(const std::string& Path, std::string& Reason) {
  const int Fd = open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (Fd < 0) {
    Reason = SystemMessage(errno);
    return errno == EEXIST ? CreateStatus::Exists : CreateStatus::Failed;
  }
  Handle_ = Fd;
  return CreateStatus::Created;
}

bool OutputFile::Rewrite(const std::string& Path, std::string& Reason) {
  const int Fd = open(Path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
  if (Fd < 0) {
    Reason = SystemMessage(errno);
    return false;
  }
  Handle_ = Fd;
  return true;
}

bool OutputFile::Write(std::string_view Bytes, std::string& Reason) {
  if (WriteAllFd(static_cast<int>(Handle_), Bytes)) return true;
  Reason = SystemMessage(errno);
  return false;
}

bool OutputFile::Finish(std::string& Reason, bool ToDisk) {
  const int Fd = static_cast<int>(Handle_);
  Handle_ = -1;
  const bool Synced = !ToDisk || fsync(Fd) == 0;
  int Error = errno;
  const bool Closed = close(Fd) == 0;
  if (!Closed) Error = errno;
  if (Synced && Closed) return true;
  Reason = SystemMessage(Error);
  return false;
}

bool MoveIntoPlace(const std::string& From, const std::string& To, std::string& Reason) {
  if (rename(From.c_str(), To.c_str()) == 0) return true;
  Reason = SystemMessage(errno);
  return false;
}

void RemoveFile(const char* Path) { unlink(Path); }

bool IsFolder(const std::string& Path) {
  struct stat Info = {};
  return stat(Path.c_str(), &Info) == 0 && S_ISDIR(Info.st_mode);
}

bool FileSize(const std::string& Path, uint64_t& Bytes) {
  struct stat Info = {};
  if (stat(Path.c_str(), &Info) != 0 || !S_ISREG(Info.st_mode)) return false;
  Bytes = static_cast<uint64_t>(Info.st_size);
  return true;
}

uint64_t RandomNumber() {
  uint64_t Value = 0;
  if (getrandom(&Value, sizeof Value, 0) == static_cast<ssize_t>(sizeof Value)) return Value;
  // No entropy source: still differs between runs and processes.
  return static_cast<uint64_t>(getpid()) * 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(time(nullptr));
}

void OnTermination(void (*Clean)()) {
  CleanUp = Clean;
  for (const int Signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    struct sigaction Action = {};
    Action.sa_handler = OnTerminatingSignal;
    // One clean-up at a time: a second signal waits for the first to finish and end the process.
    Action.sa_mask = TerminatingSignals();
    sigaction(Signal, &Action, nullptr);
  }
}

WorkerProcess::~WorkerProcess() { Stop(); }

bool WorkerProcess::Start(const std::vector<std::string>& Args, WorkerEntry Entry,
                          uint64_t /*MemoryCap: the worker caps itself*/, std::string& Reason) {
  int ToWorker[2], FromWorker[2];
  if (pipe2(ToWorker, O_CLOEXEC) != 0) {
    Reason = SystemMessage(errno);
    return false;
  }
  if (pipe2(FromWorker, O_CLOEXEC) != 0) {
    Reason = SystemMessage(errno);
    close(ToWorker[0]);
    close(ToWorker[1]);
    return false;
  }
  std::vector<std::string> Argv = {"pdf"};
  Argv.insert(Argv.end(), Args.begin(), Args.end());

  // A terminating signal waits until the worker is on record, so that the clean-up stops it
  // before removing the files it might write.
  const sigset_t Terminating = TerminatingSignals();
  sigset_t Previous;
  sigprocmask(SIG_BLOCK, &Terminating, &Previous);
  const pid_t Pid = fork();
  if (Pid == 0) RunForked(ToWorker[0], FromWorker[1], Argv, Entry);
  const int Error = errno;
  if (Pid > 0) Record(Pid, 0);
  sigprocmask(SIG_SETMASK, &Previous, nullptr);
  close(ToWorker[0]);
  close(FromWorker[1]);
  if (Pid < 0) {
    Reason = SystemMessage(Error);
    close(ToWorker[1]);
    close(FromWorker[0]);
    return false;
  }
  fcntl(FromWorker[0], F_SETFL, O_NONBLOCK);
  Handle_ = Pid;
  Input_ = ToWorker[1];
  Output_ = FromWorker[0];
  return true;
}

bool WorkerProcess::Send(std::string_view Bytes) {
  if (Input_ == -1) return false;
  // A worker that died leaves a pipe without reader: that must not end the engine with SIGPIPE.
  sigset_t Pipe, Previous;
  sigemptyset(&Pipe);
  sigaddset(&Pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &Pipe, &Previous);
  const bool Sent = WriteAllFd(static_cast<int>(Input_), Bytes);
  if (!Sent) {
    // Take the pending SIGPIPE away before the mask comes back.
    const struct timespec Zero = {0, 0};
    sigtimedwait(&Pipe, nullptr, &Zero);
  }
  pthread_sigmask(SIG_SETMASK, &Previous, nullptr);
  return Sent;
}

bool WorkerProcess::Receive(std::string& Into) {
  if (Output_ == -1) return false;
  char Chunk[65536];
  while (true) {
    const ssize_t Got = read(static_cast<int>(Output_), Chunk, sizeof Chunk);
    if (Got > 0) {
      Into.append(Chunk, static_cast<size_t>(Got));
      continue;
    }
    if (Got < 0 && errno == EINTR) continue;
    if (Got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    close(static_cast<int>(Output_));
    Output_ = -1;
    return false;
  }
}

void WorkerProcess::Stop() {
  if (Handle_ != -1) {
    const pid_t Pid = static_cast<pid_t>(Handle_);
    kill(Pid, SIGKILL);
    while (waitpid(Pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    const sigset_t Terminating = TerminatingSignals();
    sigset_t Previous;
    sigprocmask(SIG_BLOCK, &Terminating, &Previous);
    Record(0, Pid);
    sigprocmask(SIG_SETMASK, &Previous, nullptr);
    Handle_ = -1;
  }
  if (Input_ != -1) close(static_cast<int>(Input_));
  if (Output_ != -1) close(static_cast<int>(Output_));
  Input_ = Output_ = -1;
}

int WaitForWorkers(const std::vector<WorkerProcess*>& Workers, int64_t Milliseconds) {
  std::vector<pollfd> Polled;
  std::vector<int> Index;
  for (size_t I = 0; I < Workers.size(); ++I) {
    if (Workers[I] == nullptr) continue;
    if (Workers[I]->Output_ == -1) {
      if (Workers[I]->Handle_ != -1) return static_cast<int>(I);  // ended: nothing left to wait for
      continue;
    }
    Polled.push_back({static_cast<int>(Workers[I]->Output_), POLLIN, 0});
    Index.push_back(static_cast<int>(I));
  }
  const int Timeout = Milliseconds < 0 ? -1 : static_cast<int>(std::min<int64_t>(Milliseconds, 1 << 30));
  while (true) {
    const int Ready = poll(Polled.data(), Polled.size(), Timeout);
    if (Ready < 0 && errno == EINTR) continue;
    if (Ready <= 0) return -1;
    for (size_t I = 0; I < Polled.size(); ++I) {
      if (Polled[I].revents != 0) return Index[I];
    }
    return -1;
  }
}

WorkerChannels TakeWorkerChannels(const std::string& ParentId) {
  // The kernel kills this worker when the coordinator ends, whatever ends it; a coordinator that
  // ended before this line was reached leaves this process to another parent.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (std::to_string(getppid()) != ParentId) _exit(1);
  WorkerChannels Channels;
  Channels.Commands = fcntl(0, F_DUPFD_CLOEXEC, 3);
  Channels.Results = fcntl(1, F_DUPFD_CLOEXEC, 3);
  SendToNull(0);
  SendToNull(1);
  SendToNull(2);
  signal(SIGPIPE, SIG_IGN);
  return Channels;
}

size_t ReadChannel(intptr_t Channel, char* Buffer, size_t Size) {
  while (true) {
    const ssize_t Got = read(static_cast<int>(Channel), Buffer, Size);
    if (Got < 0 && errno == EINTR) continue;
    return Got > 0 ? static_cast<size_t>(Got) : 0;
  }
}

bool WriteChannel(intptr_t Channel, std::string_view Bytes) { return WriteAllFd(static_cast<int>(Channel), Bytes); }

void LimitOwnMemory(uint64_t Bytes) {
#if defined(__SANITIZE_ADDRESS__)
  // AddressSanitizer reserves terabytes of address space for its shadow memory.
  (void)Bytes;
#else
  struct rlimit Limit = {};
  Limit.rlim_cur = Limit.rlim_max = static_cast<rlim_t>(Bytes);
  setrlimit(RLIMIT_AS, &Limit);
#endif
}

void KeepFreedMemory() {
#if defined(__GLIBC__)
  // The heap grows, and is trimmed back, 16 MB past what is in use. A page's drawing goes
  // through strings of megabytes that are made, grown and freed; trimmed at once, the memory was
  // faulted in again for each (a beamer talk: 46000 page faults, 10000 with the pad, and a
  // tenth less time). glibc still places blocks of many megabytes apart and gives them back.
  mallopt(M_TOP_PAD, 16 << 20);
#endif
}

std::string OwnId() { return std::to_string(getpid()); }

int ProcessorCount() {
  const long Cores = sysconf(_SC_NPROCESSORS_ONLN);
  return Cores > 0 ? static_cast<int>(Cores) : 1;
}

uint64_t PhysicalMemory() {
  const long Pages = sysconf(_SC_PHYS_PAGES), PageSize = sysconf(_SC_PAGESIZE);
  return Pages > 0 && PageSize > 0 ? static_cast<uint64_t>(Pages) * static_cast<uint64_t>(PageSize) : 0;
}

}  // namespace Engine::Platform
