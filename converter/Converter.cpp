// Converts one PDF into OUTPUTBASE.html plus one SVG drawing per page, writing through temporary files.
#include "Converter.h"

#include "HtmlText.h"
#include "HtmlWriter.h"
#include "OutputFiles.h"
#include "PageDrawing.h"
#include "PageText.h"

#include <poppler.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <stdexcept>
#include <string>
#include <signal.h>
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

std::string TakeGString(char* Value) {
  if (Value == nullptr) return {};
  std::string Out = Value;
  g_free(Value);
  return Out;
}

// The input file's name without folder and extension, for the title of an untitled document.
std::string NameWithoutExt(const std::string& Path) {
  const size_t Slash = Path.rfind('/');
  std::string Name = Slash == std::string::npos ? Path : Path.substr(Slash + 1);
  const size_t Dot = Name.rfind('.');
  if (Dot != std::string::npos && Dot > 0) Name.erase(Dot);
  return Name;
}

struct Document {
  PopplerDocument* Handle = nullptr;
  ~Document() {
    if (Handle != nullptr) g_object_unref(Handle);
  }
};

struct PageHandle {
  PopplerPage* Handle = nullptr;
  explicit PageHandle(PopplerDocument* Doc, int Index) : Handle(poppler_document_get_page(Doc, Index)) {}
  ~PageHandle() {
    if (Handle != nullptr) g_object_unref(Handle);
  }
  PageHandle(const PageHandle&) = delete;
  PageHandle& operator=(const PageHandle&) = delete;
};

void OpenDocument(const std::string& Input, Document& Doc) {
  struct stat Info = {};
  if (stat(Input.c_str(), &Info) != 0) {
    throw RunFailure(ExitCannotOpen, "cannot open " + Input + ": " + std::strerror(errno));
  }
  if (S_ISDIR(Info.st_mode)) throw RunFailure(ExitCannotOpen, "cannot open " + Input + ": it is a folder");
  // A pipe or a device could block forever or never end.
  if (!S_ISREG(Info.st_mode)) throw RunFailure(ExitCannotOpen, "cannot open " + Input + ": not a regular file");
  const int Fd = open(Input.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (Fd < 0) throw RunFailure(ExitCannotOpen, "cannot open " + Input + ": " + std::strerror(errno));
  if (Info.st_size == 0) {
    close(Fd);
    throw RunFailure(ExitNotPdf, Input + " is not a PDF: the file is empty");
  }
  GError* Error = nullptr;
  // poppler owns the descriptor from here on, on success and on failure.
  Doc.Handle = poppler_document_new_from_fd(Fd, nullptr, &Error);
  if (Doc.Handle != nullptr) return;
  const bool Encrypted = Error != nullptr && Error->domain == POPPLER_ERROR && Error->code == POPPLER_ERROR_ENCRYPTED;
  const std::string Reason = Error != nullptr ? CleanUtf8(Error->message) : "unknown error";
  if (Error != nullptr) g_error_free(Error);
  if (Encrypted) throw RunFailure(ExitNeedsPassword, Input + " needs a password to open; it cannot be converted");
  throw RunFailure(ExitNotPdf, Input + " is not a PDF or is too damaged to read (" + Reason + ")");
}

// Page number (1-based) a destination leads to, or 0.
int DestinationPage(PopplerDocument* Doc, PopplerDest* Dest, int PageCount) {
  if (Dest == nullptr) return 0;
  int Page = 0;
  if (Dest->type == POPPLER_DEST_NAMED) {
    if (Dest->named_dest == nullptr) return 0;
    PopplerDest* Found = poppler_document_find_dest(Doc, Dest->named_dest);
    if (Found == nullptr) return 0;
    Page = Found->page_num;
    poppler_dest_free(Found);
  } else {
    Page = Dest->page_num;
  }
  return Page >= 1 && Page <= PageCount ? Page : 0;
}

void ReadAction(PopplerDocument* Doc, PopplerAction* Action, int PageCount, int& Page, std::string& Uri) {
  Page = 0;
  Uri.clear();
  if (Action == nullptr) return;
  if (Action->type == POPPLER_ACTION_GOTO_DEST) {
    Page = DestinationPage(Doc, Action->goto_dest.dest, PageCount);
  } else if (Action->type == POPPLER_ACTION_URI && Action->uri.uri != nullptr) {
    Uri = SafeUri(Action->uri.uri);
  }
}

// Damaged files can nest outlines absurdly deep or make them very long; the reader stops at sane limits.
constexpr int MaxOutlineDepth = 32;
constexpr size_t MaxOutlineItems = 20000;

void ReadOutline(PopplerDocument* Doc, PopplerIndexIter* Iter, int Depth, int PageCount, size_t& Count,
                 std::vector<OutlineItem>& Items) {
  do {
    if (Count >= MaxOutlineItems) return;
    ++Count;
    OutlineItem Item;
    PopplerAction* Action = poppler_index_iter_get_action(Iter);
    if (Action != nullptr) {
      if (Action->any.title != nullptr) Item.Title = Action->any.title;
      ReadAction(Doc, Action, PageCount, Item.Page, Item.Uri);
      poppler_action_free(Action);
    }
    if (Depth < MaxOutlineDepth) {
      PopplerIndexIter* Child = poppler_index_iter_get_child(Iter);
      if (Child != nullptr) {
        ReadOutline(Doc, Child, Depth + 1, PageCount, Count, Item.Children);
        poppler_index_iter_free(Child);
      }
    }
    Items.push_back(std::move(Item));
  } while (poppler_index_iter_next(Iter));
}

std::vector<OutlineItem> ReadOutline(PopplerDocument* Doc, int PageCount) {
  std::vector<OutlineItem> Items;
  PopplerIndexIter* Iter = poppler_index_iter_new(Doc);
  if (Iter == nullptr) return Items;
  size_t Count = 0;
  ReadOutline(Doc, Iter, 0, PageCount, Count, Items);
  poppler_index_iter_free(Iter);
  return Items;
}

PageContent ReadPage(PopplerDocument* Doc, PopplerPage* Page, int Number, int PageCount) {
  PageContent Content;
  Content.Number = Number;
  poppler_page_get_size(Page, &Content.Width, &Content.Height);

  char* Text = poppler_page_get_text(Page);
  PopplerRectangle* Rects = nullptr;
  guint RectCount = 0;
  if (Text != nullptr && poppler_page_get_text_layout(Page, &Rects, &RectCount)) {
    std::vector<Box> Boxes(RectCount);
    for (guint I = 0; I < RectCount; ++I) Boxes[I] = {Rects[I].x1, Rects[I].y1, Rects[I].x2, Rects[I].y2};
    Content.Lines = BuildLines(Text, Boxes);
  } else if (Text != nullptr) {
    Content.Lines = BuildLines(Text, {});
  }
  g_free(Rects);
  g_free(Text);

  GList* Links = poppler_page_get_link_mapping(Page);
  for (GList* Item = Links; Item != nullptr; Item = Item->next) {
    const auto* Mapping = static_cast<PopplerLinkMapping*>(Item->data);
    PageLink Link;
    // Link areas count from the bottom of the page, the text layer from the top.
    Link.Area = {std::min(Mapping->area.x1, Mapping->area.x2), Content.Height - std::max(Mapping->area.y1, Mapping->area.y2),
                 std::max(Mapping->area.x1, Mapping->area.x2), Content.Height - std::min(Mapping->area.y1, Mapping->area.y2)};
    ReadAction(Doc, Mapping->action, PageCount, Link.Page, Link.Uri);
    if (Link.Page > 0 || !Link.Uri.empty()) Content.Links.push_back(std::move(Link));
  }
  poppler_page_free_link_mapping(Links);
  // Later annotations lie on top in the PDF; HTML stacks later elements on top as well.
  std::reverse(Content.Links.begin(), Content.Links.end());
  return Content;
}

int SheetCountFor(int PageCount) { return (PageCount + PagesPerSheet - 1) / PagesPerSheet; }

// Writes a sheet's SVG to its temporary file. False when the file could not be written.
bool WriteSheetFile(const std::string& Svg, int Sheet, const OutputPlace& Place, long RunId) {
  const std::string Temp = TempPath(SheetPath(Place, Sheet + 1), RunId);
  unlink(Temp.c_str());
  const int Fd = CreateExclusive(Temp);
  if (Fd < 0) return false;
  const bool Written = WriteAll(Fd, Svg.data(), Svg.size());
  return close(Fd) == 0 && Written;
}

// Writes one sheet's drawing, or a blank one where poppler could not draw it.
bool WriteSheetDrawing(PopplerDocument* Doc, int Sheet, int PageCount, const OutputPlace& Place, long RunId,
                       bool& Drawn) {
  const int First = Sheet * PagesPerSheet;
  const int Last = std::min(First + PagesPerSheet, PageCount) - 1;
  std::string Svg = DrawSheetSvg(Doc, First, Last);
  Drawn = !Svg.empty();
  if (!Drawn) Svg = BlankSheetSvg(First, Last);
  return WriteSheetFile(Svg, Sheet, Place, RunId);
}

bool WriteBlankSheet(int Sheet, int PageCount, const OutputPlace& Place, long RunId) {
  const int First = Sheet * PagesPerSheet;
  return WriteSheetFile(BlankSheetSvg(First, std::min(First + PagesPerSheet, PageCount) - 1), Sheet, Place, RunId);
}

constexpr int WorkerWriteFailed = 5;
// A sheet that takes longer than this to draw is left blank rather than holding up the run.
constexpr unsigned SheetSecondsLimit = 300;

// A drawing process: draws every Stride-th sheet from First and reports each finished one on Report.
// It starts with terminating signals blocked and restores Mask once their default actions are back.
[[noreturn]] void RunWorker(PopplerDocument* Doc, int First, int Stride, int PageCount, const OutputPlace& Place,
                            long RunId, int Report, pid_t Parent, const sigset_t& Mask) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != Parent) _exit(WorkerWriteFailed);  // the main process died before the line above
  TempRegistry::Clear();
  TempRegistry::ForgetWorkers();
  for (const int Signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGALRM}) signal(Signal, SIG_DFL);
  sigprocmask(SIG_SETMASK, &Mask, nullptr);
  const int SheetCount = SheetCountFor(PageCount);
  for (int Sheet = First; Sheet < SheetCount; Sheet += Stride) {
    alarm(SheetSecondsLimit);
    bool Drawn = false;
    if (!WriteSheetDrawing(Doc, Sheet, PageCount, Place, RunId, Drawn)) _exit(WorkerWriteFailed);
    const int Done[2] = {Sheet, Drawn ? 1 : 0};
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

// Reads finished-page reports without waiting; Drawn[page] becomes 1 (drawn) or 2 (left blank).
void DrainReports(Worker& Each, std::vector<char>& Drawn, bool Wait) {
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
      if (Done[0] >= 0 && static_cast<size_t>(Done[0]) < Drawn.size()) Drawn[static_cast<size_t>(Done[0])] = Done[1] ? 1 : 2;
    }
  }
}

int WorkerCount(int SheetCount) {
  const long Cores = sysconf(_SC_NPROCESSORS_ONLN);
  const long Wanted = std::clamp(Cores, 1L, 8L);
  return static_cast<int>(std::min<long>(Wanted, SheetCount));
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

  Document Doc;
  OpenDocument(Input, Doc);
  const int PageCount = poppler_document_get_n_pages(Doc.Handle);
  if (PageCount <= 0) throw RunFailure(ExitNotPdf, Input + " has no pages that can be read");

  DocumentInfo Info;
  Info.Title = CleanUtf8(TakeGString(poppler_document_get_title(Doc.Handle)));
  if (Info.Title.find_first_not_of(" \t\n") == std::string::npos) Info.Title = NameWithoutExt(Input);
  Info.Author = TakeGString(poppler_document_get_author(Doc.Handle));
  Info.Subject = TakeGString(poppler_document_get_subject(Doc.Handle));
  Info.Keywords = TakeGString(poppler_document_get_keywords(Doc.Handle));
  const std::vector<OutlineItem> Outline = ReadOutline(Doc.Handle, PageCount);

  const long RunId = static_cast<long>(getpid());
  const int SheetCount = SheetCountFor(PageCount);
  TempRegistry::Track(Place, RunId, SheetCount);
  TempRegistry::InstallSignalHandlers();
  const std::string HtmlTemp = TempPath(HtmlPath(Place), RunId);
  HtmlFile Html(HtmlTemp);
  Html.Write(DocumentHead(Info));
  Html.Write(OutlineNav(Outline));

  // Drawing is the slow part and runs in worker processes, one per core; each has its own copy
  // of the opened document, so poppler is never shared between threads. Text is read here meanwhile.
  std::vector<Worker> Workers(static_cast<size_t>(WorkerCount(SheetCount)));
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
      RunWorker(Doc.Handle, Started, static_cast<int>(Workers.size()), PageCount, Place, RunId, Pipe[1], Parent,
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
  // Sheets with no worker (fork failed) are drawn here afterwards.
  const int Stride = static_cast<int>(Workers.size());
  std::vector<char> Drawn(static_cast<size_t>(SheetCount), 0);

  for (int Index = 0; Index < PageCount; ++Index) {
    PageHandle Page(Doc.Handle, Index);
    PageContent Content;
    if (Page.Handle != nullptr) {
      Content = ReadPage(Doc.Handle, Page.Handle, Index + 1, PageCount);
    } else {
      Content.Number = Index + 1;
      Content.Width = 612;
      Content.Height = 792;
    }
    Content.Background = UrlSegment(SheetFileName(Place, Index / PagesPerSheet + 1)) + "#" + PageViewId(Index + 1);
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
  for (int Sheet = 0; Sheet < SheetCount; ++Sheet) {
    const char State = Drawn[static_cast<size_t>(Sheet)];
    if (State != 0) {
      Blank += State == 2;
      continue;
    }
    // No worker ran for it (fork failed): draw it here. Its worker died on it (a crash or the
    // time limit): leave it blank, so that the pages' text still comes through.
    bool SheetDrawn = false;
    const bool Written = Sheet % Stride >= Started
                             ? WriteSheetDrawing(Doc.Handle, Sheet, PageCount, Place, RunId, SheetDrawn)
                             : WriteBlankSheet(Sheet, PageCount, Place, RunId);
    if (!Written) throw RunFailure(ExitCannotWrite, "cannot write the page drawings beside " + OutputBase + ".html");
    Blank += !SheetDrawn;
  }
  if (Blank > 0) {
    Say("warning: the pages of " + std::to_string(Blank) + " drawing file(s) could not be drawn; their text is kept");
  }

  Html.Finish();
  for (int Sheet = 1; Sheet <= SheetCount; ++Sheet) {
    const std::string Final = SheetPath(Place, Sheet);
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
