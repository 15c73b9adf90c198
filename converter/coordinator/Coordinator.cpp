// The coordinator: hands pages to worker processes, holds them to their budgets, writes the HTML in order.
#include "coordinator/Coordinator.h"

#include "base/Numbers.h"
#include "base/Text.h"
#include "coordinator/Budgets.h"
#include "coordinator/Language.h"
#include "coordinator/Losses.h"
#include "coordinator/OutputFiles.h"
#include "drawing/BlankPage.h"
#include "fonts/SharedFonts.h"
#include "html/Document.h"
#include "html/GlyphLayer.h"
#include "html/InlineDrawing.h"
#include "paths/PathPieces.h"
#include "platform/Platform.h"
#include "protocol/WorkerProtocol.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace Engine {

namespace {

using Clock = std::chrono::steady_clock;

void Say(const std::string& Line) { Platform::WriteMessage("pdf: " + Line); }

// A failure that ends the run with Status after the message has been printed.
struct RunFailure : std::runtime_error {
  int Status;
  RunFailure(int Code, const std::string& Message) : std::runtime_error(Message), Status(Code) {}
};

// Pages drawn ahead of the first page not yet written, and the bytes of their text and glyphs
// held until it is: bound the coordinator's memory when one page is slow and the others go on.
constexpr int PagesAhead = 256;
constexpr size_t MostHeldBytes = 64u << 20;
struct PageState {
  enum class Stage { Waiting, Assigned, Done };
  Stage At = Stage::Waiting;
  bool Sized = false;
  bool HasText = false;
  // A page whose size the worker could not tell stands in at the default size.
  PageSize Size;
  Loss Lost = Loss::None;
  // Some glyphs were left out: the document has more than its fonts keep.
  bool GlyphsDropped = false;
  // Bytes of its reports held until the page is written.
  size_t Held = 0;
  // Its first worker died on it, and it was given again to a worker running alone.
  bool Retried = false;
  PageDamage Damage;
  // Bytes of its drawing's file.
  uint64_t DrawingBytes = 0;
};

struct WorkerSlot {
  Platform::WorkerProcess Process;
  std::string Stream;
  bool Opened = false;  // its Opened report has come
  int Page = 0;         // the page it is reading, 0 when idle
  bool Alone = false;   // it runs alone, with the memory of all the workers
  Clock::time_point Deadline;
};

// The input's file name without extension, for the title of an untitled document. The folder
// goes by the platform's separators; the name is UTF-8, which has no lead bytes.
std::string UntitledName(const std::string& Input) {
  OutputPlace Place;
  SplitOutputBase(Input, Place, Platform::BackslashSeparates);
  return NameWithoutExt(Place.Name, PathStyle{'/', false, [](unsigned char) { return false; }});
}

class Coordinator {
 public:
  Coordinator(const std::string& Input, const std::string& OutputBase, Platform::WorkerProcess::WorkerEntry Worker)
      : Input_(Input), OutputBase_(OutputBase), Worker_(Worker) {
    Budget_ = ReadBudgets([](const char* Name) -> const char* { return std::getenv(Name); });
    Plan_ = PlanWorkers(Budget_, Platform::ProcessorCount(), Platform::PhysicalMemory(), INT_MAX);
  }

  void Run() {
    Start_ = Clock::now();
    CheckOutputFolder();
    CheckInput();
    // What the input is bounds the run, not what it claims: a few hundred bytes can declare a
    // million pages.
    DocumentDeadline_ = Start_ + Duration(Budget_.DocumentLimit(InputBytes_));
    OutputLimit_ = Budget_.OutputLimit(InputBytes_);
    TempRegistry::Start();
    OpenedReport Opened = ReadDocument();
    PageCount_ = Opened.PageCount;

    HeadInfo_ = std::move(Opened.Info);
    HeadInfo_.Title = CleanUtf8(HeadInfo_.Title);
    if (HeadInfo_.Title.find_first_not_of(" \t\n") == std::string::npos) HeadInfo_.Title = UntitledName(Input_);
    NoteHeadings(Opened.Outline, 0);
    HeadOutline_ = std::move(Opened.Outline);

    std::string Reason;
    if (!CreateTemporary(HtmlPath(Place_), 0, Html_, HtmlTemp_, Reason)) CannotWrite(HtmlPath(Place_), Reason);

    const int Wanted = std::min(Plan_.Workers, PageCount_);
    while (static_cast<int>(Workers_.size()) < Wanted) Workers_.push_back(std::make_unique<WorkerSlot>());
    ConvertPages();
    WriteHead();
    if (Converted_ < PageCount_) Write(DocumentNote(UnconvertedNote(Rest(), NamedBudgets())));
    Write(DocumentTail(Fonts_.StyleSheet()));
    if (!Html_.Write(Buffer_, Reason) || !Html_.Finish(Reason, true)) CannotWrite(HtmlPath(Place_), Reason);
    PutInPlace();
    ReportLosses();
  }

 private:
  static Clock::duration Duration(double Seconds) {
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(std::min(Seconds, 1e9)));
  }

  [[noreturn]] void CannotWrite(const std::string& Path, const std::string& Reason) {
    throw RunFailure(ExitCannotWrite, "cannot write " + Path + ": " + Reason);
  }

  void CheckOutputFolder() {
    if (!SplitOutputBase(OutputBase_, Place_, Platform::BackslashSeparates)) {
      throw RunFailure(ExitCannotWrite, "cannot write " + OutputBase_ + ".html: the output name is empty");
    }
    const std::string Folder = Place_.Folder.empty() ? "." : Place_.Folder;
    if (!Platform::IsFolder(Folder)) {
      throw RunFailure(ExitCannotWrite, "cannot write " + OutputBase_ + ".html: the folder " + Folder + " does not exist");
    }
  }

  // The coordinator only looks at the file; the workers read it.
  void CheckInput() {
    Platform::InputFile File;
    std::string Reason;
    switch (File.Open(Input_, Reason)) {
      case Platform::InputStatus::Opened: InputBytes_ = File.Size(); return;
      case Platform::InputStatus::Missing: throw RunFailure(ExitCannotOpen, "cannot open " + Input_ + ": " + Reason);
      case Platform::InputStatus::Folder: throw RunFailure(ExitCannotOpen, "cannot open " + Input_ + ": it is a folder");
      case Platform::InputStatus::NotRegular:
        // A pipe or a device could block forever or never end.
        throw RunFailure(ExitCannotOpen, "cannot open " + Input_ + ": not a regular file");
      case Platform::InputStatus::Empty: throw RunFailure(ExitNotPdf, Input_ + " is not a PDF: the file is empty");
    }
  }

  // Starts the worker of Slot, which opens the document; false when no process could be started.
  bool StartWorker(WorkerSlot& Slot, bool WithInfo) {
    std::string Reason;
    Slot.Stream.clear();
    Slot.Opened = false;
    Slot.Page = 0;
    const uint64_t Share = Slot.Alone ? Plan_.WorkerBytes * static_cast<uint64_t>(Plan_.Workers) : Plan_.WorkerBytes;
    const uint64_t Cap = Share + InputBytes_;
    if (!Slot.Process.Start(WorkerArguments(Cap, Platform::OwnId()), Worker_, Cap, Reason)) {
      StartFailure_ = Reason.empty() ? "the system gave no reason" : Reason;
      return false;
    }
    OpenCommand Open;
    Open.Path = Input_;
    Open.WithInfo = WithInfo;
    if (Slot.Process.Send(Encode(Open))) return true;
    Slot.Process.Stop();
    StartFailure_ = "it ended before it could be given the document";
    return false;
  }

  // Frames that have arrived from Slot's worker; false when its output has ended. Malformed is
  // set when the stream holds a frame of impossible length.
  bool TakeFrames(WorkerSlot& Slot, std::vector<std::string>& Frames, bool& Malformed) {
    const bool Open = Slot.Process.Receive(Slot.Stream);
    std::string Body;
    while (NextFrame(Slot.Stream, Body, Malformed)) Frames.push_back(std::move(Body));
    return Open;
  }

  // One worker opens the document and reads what concerns all of it, within a page's budget.
  // When that fails, the pages are still read, without outline and metadata.
  OpenedReport ReadDocument() {
    Workers_.push_back(std::make_unique<WorkerSlot>());
    OpenedReport Report;
    if (TryOpen(true, Report)) return Report;
    if (OpenDied_ && Plan_.Workers > 1) {
      // As a page whose worker died: once more, alone with the memory all workers share. The
      // pages then get workers with an ordinary share.
      WorkerSlot& First = *Workers_[0];
      First.Alone = true;
      const bool Opened = TryOpen(true, Report);
      First.Process.Stop();
      First.Alone = false;
      if (Opened) return Report;
    }
    InfoLost_ = OpenFailure_;
    if (TryOpen(false, Report)) return Report;
    throw RunFailure(ExitNotPdf, Input_ + " is not a PDF or is too damaged to read (" + OpenFailure_ + ")");
  }

  // True when the first worker opened the document; throws when the document cannot be
  // converted at all; false with OpenFailure_ when the worker overran or failed.
  bool TryOpen(bool WithInfo, OpenedReport& Report) {
    WorkerSlot& First = *Workers_[0];
    OpenDied_ = false;
    if (!StartWorker(First, WithInfo)) throw RunFailure(ExitInternal, "cannot start a worker process: " + StartFailure_);
    const Clock::time_point Deadline = std::min(DocumentDeadline_, Clock::now() + Duration(Budget_.PageSeconds));
    while (true) {
      const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - Clock::now()).count();
      if (Left <= 0 || Platform::WaitForWorkers({&First.Process}, Left) < 0) {
        OpenFailure_ = "not read within the time budget of " +
                       Seconds(std::min(Budget_.PageSeconds, Budget_.DocumentLimit(InputBytes_)));
        break;
      }
      std::vector<std::string> Frames;
      bool Malformed = false;
      const bool Open = TakeFrames(First, Frames, Malformed);
      if (!Frames.empty() || Malformed) {
        if (Malformed || Frames.size() != 1 || !Decode(Frames[0], Report)) {
          OpenFailure_ = "its reader sent a malformed or oversized report";
          break;
        }
        First.Opened = true;
        switch (Report.Status) {
          case OpenStatus::Opened: return true;
          case OpenStatus::CannotOpen: throw RunFailure(ExitCannotOpen, "cannot open " + Input_ + ": " + CleanUtf8(Report.Reason));
          case OpenStatus::NeedsPassword:
            throw RunFailure(ExitNeedsPassword, Input_ + " needs a password to open; it cannot be converted");
          case OpenStatus::NotPdf:
            throw RunFailure(ExitNotPdf, Input_ + " is not a PDF or is too damaged to read (" + CleanUtf8(Report.Reason) + ")");
        }
      }
      if (!Open) {
        OpenDied_ = true;
        OpenFailure_ = "its reader crashed or hit its memory cap";
        break;
      }
    }
    First.Process.Stop();
    return false;
  }

  void Write(const std::string& Text) {
    Buffer_ += Text;
    Written_ += Text.size();
    if (Buffer_.size() < (1u << 20)) return;
    std::string Reason;
    if (!Html_.Write(Buffer_, Reason)) CannotWrite(HtmlPath(Place_), Reason);
    Buffer_.clear();
  }

  PageState& State(int Page) { return Pages_[Page]; }

  // Gives the next page to Slot, starting a worker there if it has none.
  bool Assign(WorkerSlot& Slot, int Page) {
    if (!Slot.Process.Running() && !StartWorker(Slot, false)) return false;
    Platform::OutputFile File;
    std::string TempName, Reason;
    const std::string Final = PagePath(Place_, Page);
    if (!CreateTemporary(Final, static_cast<size_t>(Page), File, TempName, Reason) || !File.Finish(Reason)) {
      CannotWrite(Final, Reason);
    }
    PageCommand Command;
    Command.Number = Page;
    Command.TempPath = TempName;
    if (const auto Found = Headings_.find(Page); Found != Headings_.end()) Command.Headings = Found->second;
    State(Page).At = PageState::Stage::Assigned;
    Slot.Page = Page;
    Slot.Deadline = std::min(DocumentDeadline_, Clock::now() + Duration(Budget_.PageSeconds));
    if (!Slot.Process.Send(Encode(Command))) Fail(Slot, Loss::ReaderFailed);
    return true;
  }

  // Ends Slot's worker and finishes its page with what was got from it and a blank stand-in.
  void Fail(WorkerSlot& Slot, Loss Why) {
    Slot.Process.Stop();
    Slot.Alone = false;
    const int Page = Slot.Page;
    Slot.Page = 0;
    if (Page > 0) StandIn(Page, Why);
  }

  // A worker died on its page (a crash, or its share of the memory): the page is read again
  // from the start by a worker running alone with the memory all workers share, once. The
  // heaviest real pages need more than a share; hostile ones die again and are noted.
  void Died(WorkerSlot& Slot) {
    const int Page = Slot.Page;
    if (Page == 0 || State(Page).Retried || Plan_.Workers < 2) {
      Fail(Slot, Loss::ReaderFailed);
      return;
    }
    Slot.Process.Stop();
    Slot.Page = 0;
    PageState& Each = State(Page);
    Held_ -= Each.Held;
    const PageSize Size = Each.Size;
    Each = PageState();
    Each.Size = Size;
    Each.Retried = true;
    Texts_.erase(Page);
    Glyphs_.erase(Page);
    // The page gets a new temporary when it is handed out again.
    const std::string Temp = TempRegistry::Get(static_cast<size_t>(Page));
    if (!Temp.empty()) Platform::RemoveFile(Temp.c_str());
    TempRegistry::Set(static_cast<size_t>(Page), std::string());
    Retry_.push_back(Page);
  }

  // Gives the oldest page to read again to a worker alone, once no other is reading.
  bool AssignRetry() {
    for (auto& Slot : Workers_) {
      if (Slot->Page > 0) return true;
    }
    for (auto& Slot : Workers_) Slot->Process.Stop();
    WorkerSlot& Alone = *Workers_[0];
    Alone.Alone = true;
    const int Page = Retry_.front();
    if (!Assign(Alone, Page)) {
      Alone.Alone = false;
      return false;
    }
    Retry_.erase(Retry_.begin());
    return true;
  }

  void StandIn(int Page, Loss Why) {
    PageState& Each = State(Page);
    Each.Lost = Why;
    Each.At = PageState::Stage::Done;
    const std::string Temp = TempRegistry::Get(static_cast<size_t>(Page));
    Platform::OutputFile File;
    std::string Reason;
    bool Written = false;
    if (Temp.empty()) {
      std::string Name;
      Written = CreateTemporary(PagePath(Place_, Page), static_cast<size_t>(Page), File, Name, Reason);
    } else {
      Written = File.Rewrite(Temp, Reason);
    }
    const std::string Blank = BlankPageSvg(Each.Size);
    if (!Written || !File.Write(Blank, Reason) || !File.Finish(Reason)) CannotWrite(PagePath(Place_, Page), Reason);
    Written_ += Blank.size();
    Each.DrawingBytes = Blank.size();
  }

  // Handles one message from Slot's worker; false when the worker broke the protocol.
  bool Handle(WorkerSlot& Slot, const std::string& Body) {
    if (!Slot.Opened) {
      OpenedReport Report;
      // Every worker must find the document the first one found.
      if (!Decode(Body, Report) || Report.Status != OpenStatus::Opened || Report.PageCount != PageCount_) return false;
      Slot.Opened = true;
      return true;
    }
    if (Slot.Page == 0) return false;
    PageState& Each = State(Slot.Page);
    switch (KindOf(Body)) {
      case MessageKind::PageSize: {
        PageSizeReport Size;
        if (!Decode(Body, PageCount_, Size) || Size.Number != Slot.Page || Each.Sized) return false;
        Each.Sized = true;
        Each.Size = ShownPageSize(Size.Width, Size.Height);
        return true;
      }
      case MessageKind::PageText: {
        PageTextReport Text;
        if (!Decode(Body, PageCount_, Text) || Text.Number != Slot.Page || !Each.Sized || Each.HasText) return false;
        Each.HasText = true;
        Hold(Each, Body.size());
        Texts_[Slot.Page] = std::move(Text.Text);
        return true;
      }
      case MessageKind::PageDrawn: {
        PageDrawnReport Drawn;
        if (!Decode(Body, PageCount_, Drawn) || Drawn.Number != Slot.Page) return false;
        if (Drawn.Drawing == DrawingState::WriteFailed) CannotWrite(PagePath(Place_, Slot.Page), CleanUtf8(Drawn.Reason));
        if (Drawn.Drawing == DrawingState::Blank) Each.Lost = Loss::NotDrawn;
        if (Drawn.Drawing == DrawingState::Pictured) Each.Lost = Loss::Pictured;
        if (Slot.Alone) {
          // The next page gets a worker with an ordinary share.
          Slot.Process.Stop();
          Slot.Alone = false;
        }
        Each.Damage = Drawn.Damage;
        if (!Drawn.Glyphs.Runs.empty()) {
          Hold(Each, Body.size());
          Glyphs_[Slot.Page] = std::move(Drawn.Glyphs);
        }
        uint64_t Bytes = 0;
        if (Platform::FileSize(TempRegistry::Get(static_cast<size_t>(Slot.Page)), Bytes)) Written_ += Bytes;
        Each.DrawingBytes = Bytes;
        Each.At = PageState::Stage::Done;
        Slot.Page = 0;
        return true;
      }
      default:
        return false;
    }
  }

  void Listen(WorkerSlot& Slot) {
    std::vector<std::string> Frames;
    bool Malformed = false;
    const bool Open = TakeFrames(Slot, Frames, Malformed);
    for (const std::string& Body : Frames) {
      if (!Handle(Slot, Body)) {
        Fail(Slot, Loss::ReaderFailed);
        return;
      }
    }
    if (Malformed) {
      Fail(Slot, Loss::ReaderFailed);
      return;
    }
    // A worker whose output ended has died (a crash, or its memory cap).
    if (!Open) Died(Slot);
  }

  void Hold(PageState& Each, size_t Bytes) {
    Each.Held += Bytes;
    Held_ += Bytes;
  }

  // Whether the document's head can be written: the document states its language, or the first
  // pages that tell it are read (LanguageSampleBytes of text, or LanguageSamplePages, or all
  // there are or will be), so that the same document always gets the same language however its
  // pages arrive. Pages wait for it ahead of the head, within the bounds of pages held.
  bool HeadReady() const {
    if (!HeadInfo_.Language.empty()) return true;
    size_t Bytes = 0;
    for (int Page = 1;; ++Page) {
      if (Page > PageCount_ || Page > LanguageSamplePages || Bytes >= LanguageSampleBytes) return true;
      const auto Found = Pages_.find(Page);
      if (Found == Pages_.end()) return Cut_ != Cut::None || Held_ > MostHeldBytes;
      if (Found->second.At != PageState::Stage::Done) return false;
      if (const auto Text = Texts_.find(Page); Text != Texts_.end()) Bytes += TextBytes(Text->second, LanguageSampleBytes);
    }
  }

  // The bytes of Text's words and the spaces between them, counted up to Enough.
  static size_t TextBytes(const PageText& Text, size_t Enough) {
    size_t Bytes = 0;
    for (const Line& Each : Text.Lines) {
      for (const Word& Word : Each.Words) {
        Bytes += Word.Text.size() + 1;
        if (Bytes >= Enough) return Bytes;
      }
    }
    return Bytes;
  }

  // Writes the document's head once, with the language the document states, else the one its
  // first pages' text tells surely.
  void WriteHead() {
    if (HeadWritten_) return;
    if (HeadInfo_.Language.empty()) {
      std::string Sample;
      for (int Page = 1; Page <= LanguageSamplePages && Sample.size() < LanguageSampleBytes; ++Page) {
        const auto Text = Texts_.find(Page);
        if (Text == Texts_.end()) continue;
        for (const Line& Each : Text->second.Lines) {
          for (const Word& Word : Each.Words) {
            if (Sample.size() < LanguageSampleBytes) Sample += Word.Text + ' ';
          }
          if (!Sample.empty()) Sample.back() = '\n';
        }
      }
      HeadInfo_.Language = IdentifyLanguage(Sample);
    }
    Write(DocumentHead(HeadInfo_, HeadOutline_));
    Language_ = HeadInfo_.Language;
    HeadWritten_ = true;
    HeadOutline_ = {};
  }

  void WriteFinishedPages() {
    if (!HeadWritten_) {
      if (!HeadReady()) return;
      WriteHead();
    }
    while (true) {
      const auto Found = Pages_.find(NextToWrite_);
      if (Found == Pages_.end() || Found->second.At != PageState::Stage::Done) return;
      PageState& Each = Found->second;
      PageView Content;
      Content.Number = NextToWrite_;
      Content.Size = Each.Size;
      Content.Language = Language_;
      Content.Background = UrlSegment(PageFileName(Place_, NextToWrite_));
      Content.DrawingInPage = DrawnInPage(NextToWrite_, Content.Drawing);
      const auto Text = Texts_.find(NextToWrite_);
      if (Text != Texts_.end()) {
        Content.Text = std::move(Text->second);
        Texts_.erase(Text);
      }
      // Glyphs join the shared fonts in page order, so that the same document always gives the
      // same files however the workers' pages arrive.
      if (const auto Glyphs = Glyphs_.find(NextToWrite_); Glyphs != Glyphs_.end()) {
        size_t Dropped = 0;
        Content.GlyphLayer = GlyphLayerMarkup(Glyphs->second, Each.Size, Fonts_, Dropped);
        Each.GlyphsDropped = Dropped > 0;
        Glyphs_.erase(Glyphs);
      }
      Content.Incomplete = IncompleteNote(OutcomeOf(Each));
      Content.Deferred = ShownAtOnce_ >= ShownAtOnceBytes;
      const std::string Markup = PageMarkup(Content);
      if (!Content.Deferred) ShownAtOnce_ += Markup.size() + (Content.DrawingInPage ? 0 : Each.DrawingBytes);
      Write(Markup);
      Outcomes_.push_back(OutcomeOf(Each));
      Held_ -= Each.Held;
      Pages_.erase(Found);
      Converted_ = NextToWrite_++;
    }
  }

  // A small drawing of plain shapes is drawn in the page as well as written to its file.
  static bool DrawnInPage(int Page, std::string& Markup) {
    Platform::InputFile Drawing;
    std::string Reason;
    const Platform::InputStatus Status = Drawing.Open(TempRegistry::Get(static_cast<size_t>(Page)), Reason);
    return Status == Platform::InputStatus::Opened &&
           InlineDrawing(std::string_view(Drawing.Data(), Drawing.Size()), Markup);
  }

  // Hands pages out in order until all are written, or the run's time or output runs out: then
  // the pages not yet handed out are not converted.
  void ConvertPages() {
    int NextPage = 1;
    while (true) {
      const Clock::time_point Now = Clock::now();
      if (Cut_ != Cut::Time && Now >= DocumentDeadline_) {
        Cut_ = Cut::Time;
        for (auto& Slot : Workers_) {
          if (Slot->Page > 0) Fail(*Slot, Loss::DocumentTime);
          Slot->Process.Stop();
        }
        for (const int Page : Retry_) StandIn(Page, Loss::DocumentTime);
        Retry_.clear();
      }
      // Pages being read may finish; no more are begun.
      if (Cut_ == Cut::None && Written_ > OutputLimit_) Cut_ = Cut::Output;
      for (auto& Slot : Workers_) {
        if (Slot->Page > 0 && Now >= Slot->Deadline) Fail(*Slot, Loss::PageTime);
      }
      bool StartFailed = !Retry_.empty() && !AssignRetry();
      for (auto& Slot : Workers_) {
        if (!Retry_.empty() || Slot->Alone || Cut_ != Cut::None || NextPage > PageCount_ || NextPage >= NextToWrite_ + PagesAhead ||
            Held_ > MostHeldBytes) {
          break;
        }
        if (Slot->Page != 0) continue;
        if (Assign(*Slot, NextPage)) {
          ++NextPage;
        } else {
          StartFailed = true;
        }
      }
      WriteFinishedPages();
      if (NextToWrite_ == NextPage && (Cut_ != Cut::None || NextPage > PageCount_)) break;

      // Idle workers are watched too: one that ends between pages is replaced before its next.
      std::vector<Platform::WorkerProcess*> Watched;
      Clock::time_point Until = DocumentDeadline_;
      bool AnyBusy = false;
      for (auto& Slot : Workers_) {
        Watched.push_back(Slot->Process.Running() ? &Slot->Process : nullptr);
        if (Slot->Page > 0) Until = std::min(Until, Slot->Deadline);
        AnyBusy = AnyBusy || Slot->Page > 0;
      }
      if (!AnyBusy) {
        // Pages wait and no worker could be started for them.
        if (StartFailed) throw RunFailure(ExitInternal, "cannot start a worker process: " + StartFailure_);
        // Nothing is read, yet no start failed: every worker waited for the slow page at the
        // head of the pages ahead, which has just been written, so there is room to hand out
        // more. Each round like this writes or hands out a page, so it cannot go on for ever.
        continue;
      }
      const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(Until - Clock::now()).count() + 1;
      const int Ready = Platform::WaitForWorkers(Watched, std::max<int64_t>(Left, 0));
      if (Ready >= 0) Listen(*Workers_[static_cast<size_t>(Ready)]);
    }
    for (auto& Slot : Workers_) Slot->Process.Stop();
  }

  // The pages left unconverted, and why.
  Unconverted Rest() const {
    Unconverted Out;
    if (Converted_ >= PageCount_) return Out;
    Out.First = Converted_ + 1;
    Out.Last = PageCount_;
    Out.OutOfTime = Cut_ == Cut::Time;
    return Out;
  }

  // The headings the outline announces on each page, for the workers to find on it.
  void NoteHeadings(const std::vector<OutlineItem>& Items, int Depth) {
    for (const OutlineItem& Item : Items) {
      if (Item.Page > 0 && !Item.Title.empty()) Headings_[Item.Page].push_back({CleanUtf8(Item.Title), Depth, Item.Top});
      NoteHeadings(Item.Children, Depth + 1);
    }
  }

  static PageOutcome OutcomeOf(const PageState& Each) {
    return {Each.Lost, Each.HasText, Each.Size.OutOfRange, Each.GlyphsDropped, Each.Damage};
  }

  // One line for every page that came out incomplete, grouped by what it lost and why.
  void ReportLosses() {
    const std::string Line = LossWarning(Outcomes_, InfoLost_, NamedBudgets(), Rest());
    if (!Line.empty()) Say(Line);
  }

  LossBudgets NamedBudgets() const {
    return {Budget_.PageSeconds, Budget_.DocumentLimit(InputBytes_), OutputLimit_};
  }

  void PutInPlace() {
    std::string Reason;
    for (int Page = 1; Page <= Converted_; ++Page) {
      const std::string Final = PagePath(Place_, Page);
      if (!Platform::MoveIntoPlace(TempRegistry::Get(static_cast<size_t>(Page)), Final, Reason)) CannotWrite(Final, Reason);
    }
    // The HTML comes last: until it is in place, an earlier conversion's HTML stays as it was.
    if (!Platform::MoveIntoPlace(HtmlTemp_, HtmlPath(Place_), Reason)) CannotWrite(HtmlPath(Place_), Reason);
    TempRegistry::Clear();
  }

  std::string Input_;
  std::string OutputBase_;
  Platform::WorkerProcess::WorkerEntry Worker_;
  OutputPlace Place_;
  Budgets Budget_;
  WorkerPlan Plan_;
  size_t InputBytes_ = 0;
  int PageCount_ = 0;
  Clock::time_point Start_;
  Clock::time_point DocumentDeadline_;
  uint64_t OutputLimit_ = 0;
  // Bytes written so far, the HTML's and the drawings'.
  uint64_t Written_ = 0;
  enum class Cut { None, Time, Output };
  Cut Cut_ = Cut::None;
  Platform::OutputFile Html_;
  std::string HtmlTemp_;
  std::string Buffer_;
  // Pages handed out and not yet written.
  std::map<int, PageState> Pages_;
  // What became of each page written, page 1 first.
  std::vector<PageOutcome> Outcomes_;
  int Converted_ = 0;
  size_t Held_ = 0;
  // Pages to read again, alone.
  std::vector<int> Retry_;
  // Text and links of pages read but not yet written; kept apart so that the state of every
  // page of a long document stays small.
  std::map<int, PageText> Texts_;
  // Glyph runs of pages drawn but not yet written, to be drawn in the fonts every page shares.
  std::map<int, LiftedGlyphs> Glyphs_;
  SharedFonts Fonts_;
  std::vector<std::unique_ptr<WorkerSlot>> Workers_;
  int NextToWrite_ = 1;
  // Bytes of the pages written so far that a browser shows with the document (ShownAtOnceBytes).
  uint64_t ShownAtOnce_ = 0;
  std::string StartFailure_;
  std::string OpenFailure_;
  bool OpenDied_ = false;
  // Why the outline and metadata are missing; empty when they were read.
  std::string InfoLost_;
  // The document's title, language and outline until its head is written.
  DocumentInfo HeadInfo_;
  std::vector<OutlineItem> HeadOutline_;
  bool HeadWritten_ = false;
  // The document's language, or empty.
  std::string Language_;
  std::map<int, std::vector<HeadingHint>> Headings_;
};

}  // namespace

int Convert(const std::string& Input, const std::string& OutputBase, Platform::WorkerProcess::WorkerEntry Worker) {
  try {
    Coordinator(Input, OutputBase, Worker).Run();
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
