// Converts one PDF into OUTPUTBASE.html plus one SVG drawing per page, writing through temporary files.
#include "Converter.h"

#include "HtmlText.h"
#include "HtmlWriter.h"
#include "OutputFiles.h"
#include "PageDrawing.h"
#include "PageText.h"
#include "PdfDocument.h"
#include "paths/PathPieces.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace Engine {

namespace {

// poppler reports every oddity of a damaged file on standard error; the engine keeps that quiet
// and says what matters in one line of its own on the original standard error.
int MessageFd = 2;

void Say(const std::string& Line) {
  const std::string Text = "pdf: " + Line + "\n";
  WriteAll(MessageFd, Text.data(), Text.size());
}

// A failure that ends the run with Status after the message has been printed.
struct RunFailure : std::runtime_error {
  int Status;
  RunFailure(int Code, const std::string& Message) : std::runtime_error(Message), Status(Code) {}
};

void QuietPopplerMessages() {
  MessageFd = fcntl(2, F_DUPFD_CLOEXEC, 3);
  if (MessageFd < 0) {
    MessageFd = 2;
    return;
  }
  const int Null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (Null >= 0) {
    dup2(Null, 2);
    close(Null);
  }
}

// Paths as this system writes them; the engine's arguments are UTF-8, which has no lead bytes.
const PathStyle InputPathStyle = {'/', false, [](unsigned char) { return false; }};

// The input file, mapped read-only: poppler reads it from memory, and the drawing workers share
// the pages of the mapping.
class MappedInput {
 public:
  explicit MappedInput(const std::string& Input) {
    struct stat Info = {};
    if (stat(Input.c_str(), &Info) != 0) {
      throw RunFailure(ExitCannotOpen, "cannot open " + Input + ": " + std::strerror(errno));
    }
    if (S_ISDIR(Info.st_mode)) throw RunFailure(ExitCannotOpen, "cannot open " + Input + ": it is a folder");
    // A pipe or a device could block forever or never end.
    if (!S_ISREG(Info.st_mode)) throw RunFailure(ExitCannotOpen, "cannot open " + Input + ": not a regular file");
    const int Fd = open(Input.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (Fd < 0) throw RunFailure(ExitCannotOpen, "cannot open " + Input + ": " + std::strerror(errno));
    if (fstat(Fd, &Info) != 0 || !S_ISREG(Info.st_mode) || Info.st_size == 0) {
      close(Fd);
      throw RunFailure(ExitNotPdf, Input + " is not a PDF: the file is empty");
    }
    Size_ = static_cast<size_t>(Info.st_size);
    void* Mapped = mmap(nullptr, Size_, PROT_READ, MAP_PRIVATE, Fd, 0);
    const int MapError = errno;
    close(Fd);
    if (Mapped == MAP_FAILED) throw RunFailure(ExitCannotOpen, "cannot open " + Input + ": " + std::strerror(MapError));
    Data_ = static_cast<const char*>(Mapped);
  }
  ~MappedInput() { munmap(const_cast<char*>(Data_), Size_); }
  MappedInput(const MappedInput&) = delete;
  MappedInput& operator=(const MappedInput&) = delete;
  std::string_view Bytes() const { return {Data_, Size_}; }

 private:
  const char* Data_ = nullptr;
  size_t Size_ = 0;
};

// Writes a page's SVG to its temporary file. False when the file could not be written.
bool WritePageFile(const std::string& Svg, int Index, const OutputPlace& Place, long RunId) {
  const std::string Temp = TempPath(PagePath(Place, Index + 1), RunId);
  unlink(Temp.c_str());
  const int Fd = CreateExclusive(Temp);
  if (Fd < 0) return false;
  const bool Written = WriteAll(Fd, Svg.data(), Svg.size());
  return close(Fd) == 0 && Written;
}

// What became of a page's drawing.
enum class DrawState : char { Pending, Drawn, Blank };

// Writes a blank page of the page's size, for a page whose drawing failed.
bool WriteBlankPage(const PdfDocument& Doc, int Index, const OutputPlace& Place, long RunId, DrawState& State) {
  PageContent Size;
  if (!Doc.ReadPage(Index, Size)) Size.Width = 612, Size.Height = 792;
  State = DrawState::Blank;
  return WritePageFile(BlankPageSvg(Size.Width, Size.Height), Index, Place, RunId);
}

// Writes one page's drawing, or a blank one where poppler could not draw it.
bool WritePageDrawing(const PdfDocument& Doc, int Index, const OutputPlace& Place, long RunId, DrawState& State) {
  const std::string Svg = Doc.DrawPage(Index);
  if (Svg.empty()) return WriteBlankPage(Doc, Index, Place, RunId, State);
  State = DrawState::Drawn;
  return WritePageFile(Svg, Index, Place, RunId);
}

constexpr int WorkerWriteFailed = 5;
// A page that takes longer than this to draw is left blank rather than holding up the run.
constexpr unsigned PageSecondsLimit = 300;

// A drawing process: draws every Stride-th page from First and reports each finished one on Report.
// It starts with terminating signals blocked and restores Mask once their default actions are back.
[[noreturn]] void RunWorker(const PdfDocument& Doc, int First, int Stride, int PageCount, const OutputPlace& Place,
                            long RunId, int Report, pid_t Parent, const sigset_t& Mask) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != Parent) _exit(WorkerWriteFailed);  // the main process died before the line above
  TempRegistry::Clear();
  TempRegistry::ForgetWorkers();
  for (const int Signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGALRM}) signal(Signal, SIG_DFL);
  sigprocmask(SIG_SETMASK, &Mask, nullptr);
  for (int Index = First; Index < PageCount; Index += Stride) {
    alarm(PageSecondsLimit);
    DrawState State = DrawState::Pending;
    if (!WritePageDrawing(Doc, Index, Place, RunId, State)) _exit(WorkerWriteFailed);
    const int Done[2] = {Index, State == DrawState::Drawn ? 1 : 0};
    if (!WriteAll(Report, reinterpret_cast<const char*>(Done), sizeof Done)) _exit(WorkerWriteFailed);
  }
  _exit(0);
}

struct Worker {
  pid_t Pid = -1;
  int Report = -1;
  std::string Pending;
};

class HtmlFile {
 public:
  HtmlFile(const std::string& Path) : Path_(Path) {
    unlink(Path.c_str());
    Fd_ = CreateExclusive(Path);
    if (Fd_ < 0) throw RunFailure(ExitCannotWrite, "cannot write " + Path + ": " + std::strerror(errno));
  }
  ~HtmlFile() {
    if (Fd_ >= 0) close(Fd_);
  }
  void Write(const std::string& Text) {
    Buffer_ += Text;
    if (Buffer_.size() >= (1u << 20)) Flush();
  }
  void Finish() {
    Flush();
    const bool Synced = fsync(Fd_) == 0;
    const int Closed = close(Fd_);
    Fd_ = -1;
    if (!Synced || Closed != 0) throw RunFailure(ExitCannotWrite, "cannot write " + Path_ + ": " + std::strerror(errno));
  }

 private:
  void Flush() {
    if (!WriteAll(Fd_, Buffer_.data(), Buffer_.size())) {
      throw RunFailure(ExitCannotWrite, "cannot write " + Path_ + ": " + std::strerror(errno));
    }
    Buffer_.clear();
  }
  std::string Path_;
  int Fd_ = -1;
  std::string Buffer_;
};

// Reads finished-page reports; with Wait, until the worker has ended, else only what is there.
void DrainReports(Worker& Each, std::vector<DrawState>& Drawn, bool Wait) {
  if (Each.Report < 0) return;
  if (Wait) fcntl(Each.Report, F_SETFL, 0);
  char Chunk[4096];
  while (true) {
    const ssize_t Got = read(Each.Report, Chunk, sizeof Chunk);
    if (Got < 0 && errno == EINTR) continue;
    if (Got < 0 && errno == EAGAIN && !Wait) return;
    if (Got <= 0) {
      close(Each.Report);
      Each.Report = -1;
      return;
    }
    Each.Pending.append(Chunk, static_cast<size_t>(Got));
    int Done[2];
    while (Each.Pending.size() >= sizeof Done) {
      std::memcpy(Done, Each.Pending.data(), sizeof Done);
      Each.Pending.erase(0, sizeof Done);
      if (Done[0] >= 0 && static_cast<size_t>(Done[0]) < Drawn.size()) {
        Drawn[static_cast<size_t>(Done[0])] = Done[1] ? DrawState::Drawn : DrawState::Blank;
      }
    }
  }
}

int WorkerCount(int PageCount) {
  const long Cores = sysconf(_SC_NPROCESSORS_ONLN);
  const long Wanted = std::clamp(Cores, 1L, 8L);
  return static_cast<int>(std::min<long>(Wanted, PageCount));
}

void Convert(const std::string& Input, const std::string& OutputBase) {
  OutputPlace Place;
  if (!SplitOutputBase(OutputBase, Place)) {
    throw RunFailure(ExitCannotWrite, "cannot write " + OutputBase + ".html: the output name is empty");
  }
  const std::string Folder = Place.Folder.empty() ? "." : Place.Folder;
  struct stat FolderInfo = {};
  if (stat(Folder.c_str(), &FolderInfo) != 0 || !S_ISDIR(FolderInfo.st_mode)) {
    throw RunFailure(ExitCannotWrite, "cannot write " + OutputBase + ".html: the folder " + Folder + " does not exist");
  }

  const MappedInput Bytes(Input);
  std::unique_ptr<PdfDocument> Opened;
  try {
    Opened = std::make_unique<PdfDocument>(Bytes.Bytes());
  } catch (const OpenError& Error) {
    if (Error.NeedsPassword) throw RunFailure(ExitNeedsPassword, Input + " needs a password to open; it cannot be converted");
    throw RunFailure(ExitNotPdf, Input + " is not a PDF or is too damaged to read (" + Error.what() + ")");
  }
  const PdfDocument& Doc = *Opened;
  const int PageCount = Doc.PageCount();
  if (PageCount <= 0) throw RunFailure(ExitNotPdf, Input + " has no pages that can be read");

  DocumentInfo Info = Doc.Info();
  Info.Title = CleanUtf8(Info.Title);
  if (Info.Title.find_first_not_of(" \t\n") == std::string::npos) Info.Title = NameWithoutExt(Input, InputPathStyle);
  const std::vector<OutlineItem> Outline = Doc.Outline();

  const long RunId = static_cast<long>(getpid());
  TempRegistry::Track(Place, RunId, PageCount);
  TempRegistry::InstallSignalHandlers();
  const std::string HtmlTemp = TempPath(HtmlPath(Place), RunId);
  HtmlFile Html(HtmlTemp);
  Html.Write(DocumentHead(Info));
  Html.Write(OutlineNav(Outline));

  // Drawing is the slow part and runs in worker processes, one per core; each has its own copy
  // of the opened document, so poppler is never shared between threads. Text is read here meanwhile.
  std::vector<Worker> Workers(static_cast<size_t>(WorkerCount(PageCount)));
  int Started = 0;
  // A terminating signal waits while a worker is forked and put on record: the clean-up it
  // triggers must stop every worker before removing their files, or a late one writes anew.
  sigset_t Terminating;
  sigemptyset(&Terminating);
  for (const int Signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&Terminating, Signal);
  const pid_t Parent = getpid();
  for (Worker& Each : Workers) {
    int Pipe[2];
    if (pipe2(Pipe, O_CLOEXEC) != 0) break;
    sigset_t Previous;
    sigprocmask(SIG_BLOCK, &Terminating, &Previous);
    const pid_t Pid = fork();
    if (Pid == 0) {
      close(Pipe[0]);
      RunWorker(Doc, Started, static_cast<int>(Workers.size()), PageCount, Place, RunId, Pipe[1], Parent,
                Previous);
    }
    if (Pid > 0) TempRegistry::TrackWorker(Pid);
    sigprocmask(SIG_SETMASK, &Previous, nullptr);
    close(Pipe[1]);
    if (Pid < 0) {
      close(Pipe[0]);
      break;
    }
    fcntl(Pipe[0], F_SETFL, O_NONBLOCK);
    Each.Pid = Pid;
    Each.Report = Pipe[0];
    ++Started;
  }
  // Pages with no worker (fork failed) are drawn here afterwards.
  const int Stride = static_cast<int>(Workers.size());
  std::vector<DrawState> Drawn(static_cast<size_t>(PageCount), DrawState::Pending);

  for (int Index = 0; Index < PageCount; ++Index) {
    PageContent Content;
    if (!Doc.ReadPage(Index, Content)) {
      Content.Width = 612;
      Content.Height = 792;
    }
    Content.Background = UrlSegment(PageFileName(Place, Index + 1));
    Html.Write(PageMarkup(Content));
    for (Worker& Each : Workers) DrainReports(Each, Drawn, false);
  }
  Html.Write(DocumentTail());

  bool WriteFailed = false;
  for (Worker& Each : Workers) {
    if (Each.Pid < 0) continue;
    DrainReports(Each, Drawn, true);
    int Status = 0;
    while (waitpid(Each.Pid, &Status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(Status) && WEXITSTATUS(Status) == WorkerWriteFailed) WriteFailed = true;
  }
  TempRegistry::ForgetWorkers();
  if (WriteFailed) throw RunFailure(ExitCannotWrite, "cannot write the page drawings beside " + OutputBase + ".html");

  int Blank = 0;
  for (int Index = 0; Index < PageCount; ++Index) {
    DrawState& State = Drawn[static_cast<size_t>(Index)];
    // No worker ran for it (fork failed): draw it here. Its worker died on it (a crash or the
    // time limit): leave it blank, so that the page's text still comes through.
    if (State == DrawState::Pending) {
      const bool Written = Index % Stride >= Started
                               ? WritePageDrawing(Doc, Index, Place, RunId, State)
                               : WriteBlankPage(Doc, Index, Place, RunId, State);
      if (!Written) throw RunFailure(ExitCannotWrite, "cannot write the page drawings beside " + OutputBase + ".html");
    }
    Blank += State == DrawState::Blank;
  }
  if (Blank > 0) {
    Say("warning: " + std::to_string(Blank) + " page(s) could not be drawn; their text is kept");
  }

  Html.Finish();
  for (int Page = 1; Page <= PageCount; ++Page) {
    const std::string Final = PagePath(Place, Page);
    if (rename(TempPath(Final, RunId).c_str(), Final.c_str()) != 0) {
      throw RunFailure(ExitCannotWrite, "cannot write " + Final + ": " + std::strerror(errno));
    }
  }
  // The HTML comes last: until it is in place, an earlier conversion's HTML stays as it was.
  if (rename(HtmlTemp.c_str(), HtmlPath(Place).c_str()) != 0) {
    throw RunFailure(ExitCannotWrite, "cannot write " + HtmlPath(Place) + ": " + std::strerror(errno));
  }
  TempRegistry::Clear();
}

}  // namespace

int RunEngine(int Argc, char** Argv) {
  if (Argc != 3) {
    Say("usage: pdf INPUT OUTPUTBASE (converts the PDF INPUT into OUTPUTBASE.html)");
    return ExitUsage;
  }
  QuietPopplerMessages();
  try {
    Convert(Argv[1], Argv[2]);
    return ExitSuccess;
  } catch (const RunFailure& Failure) {
    TempRegistry::RemoveAll();
    Say(Failure.what());
    return Failure.Status;
  } catch (const std::bad_alloc&) {
    TempRegistry::RemoveAll();
    Say("out of memory");
    return ExitInternal;
  } catch (const std::exception& Failure) {
    TempRegistry::RemoveAll();
    Say(std::string("unexpected error: ") + Failure.what());
    return ExitInternal;
  }
}

}  // namespace Engine
