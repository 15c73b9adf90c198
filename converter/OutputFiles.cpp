// Output naming and crash-safe writing: temporary names, exclusive creation, clean-up on signals.
#include "OutputFiles.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace Engine {

bool SplitOutputBase(const std::string& OutputBase, OutputPlace& Place) {
  const size_t Slash = OutputBase.rfind('/');
  Place.Folder = Slash == std::string::npos ? std::string() : OutputBase.substr(0, Slash + 1);
  Place.Name = Slash == std::string::npos ? OutputBase : OutputBase.substr(Slash + 1);
  return !Place.Name.empty() && Place.Name != "." && Place.Name != "..";
}

std::string HtmlPath(const OutputPlace& Place) { return Place.Folder + Place.Name + ".html"; }

std::string PageFileName(const OutputPlace& Place, int Page) {
  return Place.Name + "-" + std::to_string(Page) + ".svg";
}

std::string PagePath(const OutputPlace& Place, int Page) { return Place.Folder + PageFileName(Place, Page); }

std::string TempPath(const std::string& Final, long RunId) { return Final + ".part" + std::to_string(RunId); }

int CreateExclusive(const std::string& Path) {
  return open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
}

bool WriteAll(int Fd, const char* Data, size_t Size) {
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

namespace {

// Read by the signal handler, so it is filled before handlers can see it and only plain memory is used.
struct TrackedRun {
  std::string HtmlTemp;
  std::string PagePrefix;  // folder + name + "-"
  std::string PageSuffix;  // ".svg.part<run>"
  int PageCount = 0;
  // Scratch space for building page names in the handler, where allocation is not allowed.
  std::vector<char> Scratch;
};

TrackedRun* Tracked = nullptr;
volatile sig_atomic_t Tracking = 0;

constexpr int MaxWorkers = 16;
volatile pid_t Workers[MaxWorkers] = {};

// Writes Number in decimal at Out and returns the position after it; async-signal-safe.
char* AppendDecimal(char* Out, int Number) {
  char Digits[16];
  int Count = 0;
  do {
    Digits[Count++] = static_cast<char>('0' + Number % 10);
    Number /= 10;
  } while (Number > 0 && Count < 16);
  while (Count > 0) *Out++ = Digits[--Count];
  return Out;
}

void StopWorkers() {
  for (int I = 0; I < MaxWorkers; ++I) {
    const pid_t Worker = Workers[I];
    if (Worker <= 0) continue;
    kill(Worker, SIGKILL);
    waitpid(Worker, nullptr, 0);
    Workers[I] = 0;
  }
}

void RemoveTracked() {
  if (!Tracking || Tracked == nullptr) return;
  unlink(Tracked->HtmlTemp.c_str());
  char* Buffer = Tracked->Scratch.data();
  for (int Page = 1; Page <= Tracked->PageCount; ++Page) {
    char* Out = Buffer;
    for (const char C : Tracked->PagePrefix) *Out++ = C;
    Out = AppendDecimal(Out, Page);
    for (const char C : Tracked->PageSuffix) *Out++ = C;
    *Out = '\0';
    unlink(Buffer);
  }
}

void OnTerminatingSignal(int Signal) {
  StopWorkers();
  RemoveTracked();
  // Die of the same signal so the parent sees how the run ended.
  signal(Signal, SIG_DFL);
  raise(Signal);
  _exit(128 + Signal);
}

}  // namespace

void TempRegistry::InstallSignalHandlers() {
  for (const int Signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    struct sigaction Action = {};
    Action.sa_handler = OnTerminatingSignal;
    sigemptyset(&Action.sa_mask);
    sigaction(Signal, &Action, nullptr);
  }
}

void TempRegistry::Track(const OutputPlace& Place, long RunId, int PageCount) {
  auto* Run = new TrackedRun;
  Run->HtmlTemp = TempPath(HtmlPath(Place), RunId);
  Run->PagePrefix = Place.Folder + Place.Name + "-";
  Run->PageSuffix = ".svg.part" + std::to_string(RunId);
  Run->PageCount = PageCount;
  Run->Scratch.resize(Run->PagePrefix.size() + Run->PageSuffix.size() + 32);
  Tracked = Run;
  Tracking = 1;
}

void TempRegistry::RemoveAll() {
  StopWorkers();
  RemoveTracked();
}

void TempRegistry::Clear() { Tracking = 0; }

void TempRegistry::TrackWorker(pid_t Worker) {
  for (int I = 0; I < MaxWorkers; ++I) {
    if (Workers[I] == 0) {
      Workers[I] = Worker;
      return;
    }
  }
}

void TempRegistry::ForgetWorkers() {
  for (int I = 0; I < MaxWorkers; ++I) Workers[I] = 0;
}

}  // namespace Engine
