// The messages between the engine's coordinator and its worker processes, and their byte form.
#pragma once

#include "base/PageModel.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Engine {

// The arguments that start a worker after the program's name: the mode, its memory cap in bytes
// and the coordinator's process id.
constexpr const char* WorkerFlag = "--worker";
std::vector<std::string> WorkerArguments(unsigned long long MemoryCap, const std::string& ParentId);

// Every message is framed as a 32-bit little-endian length, then that many bytes: a kind byte and
// the kind's fields. Numbers are little-endian (doubles as their IEEE bits), strings a 32-bit
// length and the bytes. The coordinator trusts nothing a worker sends: a worker runs poppler on
// the document and may have been taken over by it.
enum class MessageKind : uint8_t {
  // Coordinator to worker.
  Open = 1,  // Path, WithInfo
  Page = 2,  // Number, TempPath, Headings
  // Worker to coordinator.
  Opened = 10,     // Status, Reason, PageCount, [Info, Outline when asked]
  PageSize = 11,   // Number, Width, Height
  PageText = 12,   // Number, Lines, Links
  PageDrawn = 13,  // Number, Drawing, Reason, Glyphs, Damage
};

// Nothing a page or a document legitimately needs comes near this; a bigger frame is an attack.
constexpr uint32_t MaxMessageBytes = 64u << 20;

enum class OpenStatus : uint8_t { Opened = 0, CannotOpen = 1, NotPdf = 2, NeedsPassword = 3 };
// Pictured: drawn as one picture, the page being too heavy to draw as shapes.
enum class DrawingState : uint8_t { Drawn = 0, Blank = 1, WriteFailed = 2, Pictured = 3 };

struct OpenCommand {
  std::string Path;
  bool WithInfo = false;
};
struct PageCommand {
  int Number = 0;
  std::string TempPath;
  // The headings the document's bookmarks announce on the page.
  std::vector<HeadingHint> Headings;
};
struct OpenedReport {
  OpenStatus Status = OpenStatus::Opened;
  std::string Reason;
  int PageCount = 0;
  bool WithInfo = false;
  DocumentInfo Info;
  std::vector<OutlineItem> Outline;
};
// The page box as the worker found it: the coordinator works out how it is shown.
struct PageSizeReport {
  int Number = 0;
  double Width = 0;
  double Height = 0;
};
struct PageTextReport {
  int Number = 0;
  PageText Text;
};
struct PageDrawnReport {
  int Number = 0;
  DrawingState Drawing = DrawingState::Drawn;
  std::string Reason;
  // The glyph runs taken out of the drawing, to be drawn over it in the document's fonts.
  LiftedGlyphs Glyphs;
  // What poppler could not read of the page, sent after the glyphs as one byte of flags.
  PageDamage Damage;
};

std::string Encode(const OpenCommand& Message);
std::string Encode(const PageCommand& Message);
std::string Encode(const OpenedReport& Message);
std::string Encode(const PageSizeReport& Message);
std::string Encode(const PageTextReport& Message);
std::string Encode(const PageDrawnReport& Message);

// Takes one whole frame off the front of Stream into Body (kind byte and fields). Returns false
// while the frame is incomplete; sets Invalid when its length is impossible.
bool NextFrame(std::string& Stream, std::string& Body, bool& Invalid);
MessageKind KindOf(std::string_view Body);

// Each returns false when Body is not a well-formed message of its kind. Page numbers, outline
// and link targets outside 1..PageCount are refused or dropped, link targets filtered again;
// lifted glyphs must name outlines that are there and stand where a page can be.
bool Decode(std::string_view Body, OpenCommand& Message);
bool Decode(std::string_view Body, PageCommand& Message);
bool Decode(std::string_view Body, OpenedReport& Message);
bool Decode(std::string_view Body, int PageCount, PageSizeReport& Message);
bool Decode(std::string_view Body, int PageCount, PageTextReport& Message);
bool Decode(std::string_view Body, int PageCount, PageDrawnReport& Message);

}  // namespace Engine
