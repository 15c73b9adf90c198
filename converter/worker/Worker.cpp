// A worker process: opens the input itself, answers the coordinator's commands, writes page drawings.
#include "worker/Worker.h"

#include "drawing/BlankPage.h"
#include "platform/Platform.h"
#include "protocol/WorkerProtocol.h"
#include "worker/PdfCore.h"
#include "worker/PdfDocument.h"

#include <memory>

namespace Engine {

namespace {

class Session {
 public:
  explicit Session(const Platform::WorkerChannels& Channels) : Channels_(Channels) {}

  // Serves commands until the coordinator closes the channel; false on a broken channel.
  bool Serve() {
    std::string Stream, Body;
    char Chunk[4096];
    while (true) {
      bool Invalid = false;
      while (NextFrame(Stream, Body, Invalid)) {
        if (!Handle(Body)) return false;
      }
      if (Invalid) return false;
      const size_t Got = Platform::ReadChannel(Channels_.Commands, Chunk, sizeof Chunk);
      if (Got == 0) return true;
      Stream.append(Chunk, Got);
    }
  }

 private:
  bool Send(const std::string& Frame) { return Platform::WriteChannel(Channels_.Results, Frame); }

  bool Handle(const std::string& Body) {
    switch (KindOf(Body)) {
      case MessageKind::Open: {
        OpenCommand Command;
        return Decode(Body, Command) && Send(Encode(Open(Command)));
      }
      case MessageKind::Page: {
        PageCommand Command;
        return Decode(Body, Command) && Doc_ != nullptr && Command.Number <= Doc_->PageCount() && Page(Command);
      }
      default:
        return false;
    }
  }

  OpenedReport Open(const OpenCommand& Command) {
    OpenedReport Report;
    Report.WithInfo = Command.WithInfo;
    std::string Reason;
    const Platform::InputStatus Status = Input_.Open(Command.Path, Reason);
    if (Status == Platform::InputStatus::Empty) {
      Report.Status = OpenStatus::NotPdf;
      Report.Reason = "the file is empty";
    } else if (Status != Platform::InputStatus::Opened) {
      Report.Status = OpenStatus::CannotOpen;
      Report.Reason = Status == Platform::InputStatus::Folder       ? "it is a folder"
                      : Status == Platform::InputStatus::NotRegular ? "not a regular file"
                                                                    : Reason;
    } else {
      try {
        Doc_ = std::make_unique<PdfDocument>(std::string_view(Input_.Data(), Input_.Size()));
      } catch (const OpenError& Error) {
        Report.Status = Error.NeedsPassword ? OpenStatus::NeedsPassword : OpenStatus::NotPdf;
        Report.Reason = Error.what();
      }
    }
    if (Doc_ == nullptr) {
      Report.WithInfo = false;
      return Report;
    }
    Report.PageCount = Doc_->PageCount();
    if (Report.PageCount <= 0) {
      Report.Status = OpenStatus::NotPdf;
      Report.Reason = "it has no pages that can be read";
      Report.WithInfo = false;
      Report.PageCount = 0;
      return Report;
    }
    if (Command.WithInfo) {
      Report.Info = Doc_->Info();
      Report.Outline = Doc_->Outline();
    }
    return Report;
  }

  // Size first, then text and links, then the drawing: whatever is reported before the
  // coordinator runs out of patience with this page is kept. A page that poppler cannot give
  // reports nothing but a blank drawing.
  bool Page(const PageCommand& Command) {
    // What poppler says it lost of the page, in any of its readings.
    const DamageWatch Watch;
    const std::unique_ptr<PdfPage> Page = Doc_->OpenPage(Command.Number - 1);
    PageSize Size;
    bool HasWords = false;
    if (Page != nullptr) {
      PageSizeReport Raw;
      Raw.Number = Command.Number;
      Raw.Width = Page->Width();
      Raw.Height = Page->Height();
      if (!Send(Encode(Raw))) return false;
      Size = ShownPageSize(Raw.Width, Raw.Height);
      PageTextReport Text;
      Text.Number = Command.Number;
      Text.Text = Page->ReadText(Size, Command.Headings);
      HasWords = HasReadableWords(Text.Text);
      if (!Send(Encode(Text))) return false;
    }

    PageDrawnReport Drawn;
    Drawn.Number = Command.Number;
    bool Pictured = false;
    std::string Svg = Page != nullptr ? Page->Draw(Size, &Pictured, &Drawn.Glyphs) : std::string();
    if (Pictured) Drawn.Drawing = DrawingState::Pictured;
    if (Svg.empty()) {
      Drawn.Drawing = DrawingState::Blank;
      Drawn.Glyphs = LiftedGlyphs{};
      Svg = BlankPageSvg(Size);
    }
    if (Page != nullptr) {
      const PageDamage Checked = Page->CheckDamage(HasWords);
      Drawn.Damage = Watch.Seen();
      Drawn.Damage.PicturesNotDecoded = Drawn.Damage.PicturesNotDecoded || Checked.PicturesNotDecoded;
      Drawn.Damage.PicturesTooLarge = Checked.PicturesTooLarge;
      Drawn.Damage.TextNotRead = Checked.TextNotRead;
    }
    Platform::OutputFile File;
    std::string Reason;
    if (!File.Rewrite(Command.TempPath, Reason) || !File.Write(Svg, Reason) || !File.Finish(Reason)) {
      Drawn.Drawing = DrawingState::WriteFailed;
      Drawn.Reason = Reason;
      Drawn.Glyphs = LiftedGlyphs{};
    }
    return Send(Encode(Drawn));
  }

  Platform::WorkerChannels Channels_;
  Platform::InputFile Input_;
  std::unique_ptr<PdfDocument> Doc_;
};

}  // namespace

int RunWorker(const std::vector<std::string>& Args) {
  if (Args.size() != 4 || Args[1] != WorkerFlag) return 1;
  const Platform::WorkerChannels Channels = Platform::TakeWorkerChannels(Args[3]);
  unsigned long long MemoryCap = 0;
  for (const char C : Args[2]) {
    if (C < '0' || C > '9' || MemoryCap > (~0ull - 9) / 10) return 1;
    MemoryCap = MemoryCap * 10 + static_cast<unsigned>(C - '0');
  }
  if (MemoryCap > 0) Platform::LimitOwnMemory(MemoryCap);
  Platform::KeepFreedMemory();
  try {
    Session Worker(Channels);
    return Worker.Serve() ? 0 : 1;
  } catch (...) {
    // Out of memory under the cap, most likely; the coordinator sees the worker end.
    return 1;
  }
}

}  // namespace Engine
