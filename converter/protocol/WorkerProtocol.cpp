// Writing and checked reading of the messages between the coordinator and its workers.
#include "protocol/WorkerProtocol.h"

#include "base/Text.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

namespace Engine {

namespace {

// A glyph drawn further off the page than this is damage; pages are at most 14400 points.
constexpr double MaxGlyphCoordinate = 1e5;
// More pages than any document has; a count beyond is a lie.
constexpr uint32_t MaxPageCount = 1u << 24;
// A figure's alternate text is cut here.
constexpr size_t MaxLabelBytes = 4096;

class Writer {
 public:
  explicit Writer(MessageKind Kind) { Out_.push_back(static_cast<char>(Kind)); }
  void U8(uint8_t Value) { Out_.push_back(static_cast<char>(Value)); }
  void U32(uint32_t Value) {
    for (int Shift = 0; Shift < 32; Shift += 8) Out_.push_back(static_cast<char>((Value >> Shift) & 0xFF));
  }
  void F64(double Value) {
    uint64_t Bits = 0;
    std::memcpy(&Bits, &Value, sizeof Bits);
    for (int Shift = 0; Shift < 64; Shift += 8) Out_.push_back(static_cast<char>((Bits >> Shift) & 0xFF));
  }
  void Text(std::string_view Value) {
    U32(static_cast<uint32_t>(Value.size()));
    Out_.append(Value);
  }
  void Area(const Box& Value) {
    for (const double Part : {Value.X1, Value.Y1, Value.X2, Value.Y2}) F64(Part);
  }
  std::string Framed() const {
    std::string Frame;
    for (int Shift = 0; Shift < 32; Shift += 8) Frame.push_back(static_cast<char>((Out_.size() >> Shift) & 0xFF));
    return Frame + Out_;
  }

 private:
  std::string Out_;
};

// Reads fields in order; the first field that does not fit clears Ok, and every later read gives
// zeros, so a decoder checks Ok once at the end.
class Reader {
 public:
  Reader(std::string_view Body, MessageKind Kind) : Body_(Body) {
    Ok = !Body_.empty() && static_cast<MessageKind>(Body_[0]) == Kind;
    Pos_ = 1;
  }
  bool Ok;
  uint8_t U8() {
    if (!Need(1)) return 0;
    return static_cast<uint8_t>(Body_[Pos_++]);
  }
  uint32_t U32() {
    if (!Need(4)) return 0;
    uint32_t Value = 0;
    for (int I = 0; I < 4; ++I) Value |= static_cast<uint32_t>(static_cast<unsigned char>(Body_[Pos_++])) << (8 * I);
    return Value;
  }
  double F64() {
    if (!Need(8)) return 0;
    uint64_t Bits = 0;
    for (int I = 0; I < 8; ++I) Bits |= static_cast<uint64_t>(static_cast<unsigned char>(Body_[Pos_++])) << (8 * I);
    double Value = 0;
    std::memcpy(&Value, &Bits, sizeof Value);
    if (!std::isfinite(Value)) Ok = false;
    return Ok ? Value : 0;
  }
  std::string Text() {
    const uint32_t Size = U32();
    if (!Need(Size)) return {};
    std::string Value(Body_.substr(Pos_, Size));
    Pos_ += Size;
    return Value;
  }
  Box Area() {
    Box Value;
    Value.X1 = F64();
    Value.Y1 = F64();
    Value.X2 = F64();
    Value.Y2 = F64();
    return Value;
  }
  // A count of items of at least MinBytes each, refused when the rest of the message cannot hold
  // them, so that a forged count never makes anything allocate.
  uint32_t Count(size_t MinBytes) {
    const uint32_t Value = U32();
    if (Ok && static_cast<uint64_t>(Value) * MinBytes > Body_.size() - Pos_) Ok = false;
    return Ok ? Value : 0;
  }
  bool AtEnd() const { return Ok && Pos_ == Body_.size(); }

 private:
  bool Need(size_t Bytes) {
    if (Ok && Body_.size() - Pos_ >= Bytes) return true;
    Ok = false;
    return false;
  }
  std::string_view Body_;
  size_t Pos_ = 0;
};

// A page's damage as one byte, a flag a loss; a byte with other bits set is refused.
constexpr uint8_t DamageBits = 0x0F;
uint8_t DamageByte(const PageDamage& Damage) {
  return static_cast<uint8_t>((Damage.PicturesNotDecoded ? 1 : 0) | (Damage.PicturesTooLarge ? 2 : 0) |
                              (Damage.ContentNotRead ? 4 : 0) | (Damage.TextNotRead ? 8 : 0));
}
PageDamage DamageOf(uint8_t Byte) {
  PageDamage Damage;
  Damage.PicturesNotDecoded = (Byte & 1) != 0;
  Damage.PicturesTooLarge = (Byte & 2) != 0;
  Damage.ContentNotRead = (Byte & 4) != 0;
  Damage.TextNotRead = (Byte & 8) != 0;
  return Damage;
}

bool ValidPage(uint32_t Number, int PageCount) { return Number >= 1 && Number <= static_cast<uint32_t>(PageCount); }

void PutOutline(Writer& Out, const std::vector<OutlineItem>& Items) {
  Out.U32(static_cast<uint32_t>(Items.size()));
  for (const OutlineItem& Item : Items) {
    Out.Text(Item.Title);
    Out.U32(static_cast<uint32_t>(Item.Page));
    Out.Text(Item.Uri);
    Out.F64(Item.Top);
    PutOutline(Out, Item.Children);
  }
}

// An item is at least a title length, a page, a link length, a place and a child count.
constexpr size_t MinOutlineItemBytes = 24;

void GetOutline(Reader& In, int Depth, int PageCount, std::vector<OutlineItem>& Items) {
  const uint32_t Count = In.Count(MinOutlineItemBytes);
  for (uint32_t I = 0; I < Count && In.Ok; ++I) {
    OutlineItem Item;
    Item.Title = In.Text();
    const uint32_t Page = In.U32();
    Item.Page = ValidPage(Page, PageCount) ? static_cast<int>(Page) : 0;
    Item.Uri = SafeUri(In.Text());
    const double Top = In.F64();
    Item.Top = Item.Page > 0 && Top >= 0 && Top <= MaxPageSize ? Top : -1;
    // Nesting deeper than the worker may send is a forgery, not a document.
    if (Depth >= MaxOutlineDepth) {
      if (In.U32() != 0) In.Ok = false;
    } else {
      GetOutline(In, Depth + 1, PageCount, Item.Children);
    }
    Items.push_back(std::move(Item));
  }
}

void PutNodes(Writer& Out, const std::vector<TextNode>& Nodes) {
  Out.U32(static_cast<uint32_t>(Nodes.size()));
  for (const TextNode& Node : Nodes) {
    Out.U8(static_cast<uint8_t>(Node.Kind));
    Out.U32(static_cast<uint32_t>(Node.Parent + 1));
    Out.U32(Node.At);
    Out.U8(Node.Level);
    for (const std::string* Field : {&Node.Lang, &Node.Label, &Node.Id, &Node.Headers}) Out.Text(*Field);
    Out.U8(Node.Scope);
    Out.U32(Node.RowSpan);
    Out.U32(Node.ColSpan);
    Out.U8(Node.HasArea ? 1 : 0);
    if (Node.HasArea) Out.Area(Node.Area);
    Out.U32(Node.Element);
    Out.U8(Node.Continued ? 1 : 0);
    Out.U32(static_cast<uint32_t>(Node.LaterPages.size()));
    for (const uint32_t Page : Node.LaterPages) Out.U32(Page);
  }
}

// A language tag as HTML takes it: letters, digits and hyphens, a first part of two or three
// letters; anything else is no language.
std::string LanguageTag(std::string_view Text) {
  size_t First = 0;
  while (First < Text.size() && std::isalpha(static_cast<unsigned char>(Text[First])) != 0) ++First;
  if (First < 2 || First > 3 || Text.size() > 35) return {};
  for (const char C : Text) {
    if (std::isalnum(static_cast<unsigned char>(C)) == 0 && C != '-') return {};
  }
  return std::string(Text);
}

// Ids as an attribute's value and as parts of a list of them: the characters ids are made of here.
std::string IdText(std::string_view Text, bool List) {
  std::string Out;
  for (const char C : Text.substr(0, 2048)) {
    if (std::isalnum(static_cast<unsigned char>(C)) != 0 || C == '-' || C == '_' || C == '.' || C == ':') Out += C;
    else if (List && C == ' ' && !Out.empty() && Out.back() != ' ') Out += ' ';
  }
  while (!Out.empty() && Out.back() == ' ') Out.pop_back();
  return Out;
}

// The nodes of a page's text, each checked: a kind that is one, a parent before it, lines in
// order, values of sane size; lines may only name nodes that are there.
bool GetNodes(Reader& In, uint32_t Number, int PageCount, PageText& Text) {
  // A node is at least its kind, parent, place, level, four text lengths, scope, spans, area
  // flag, element, continuation flag and page count.
  const uint32_t Count = In.Count(1 + 4 + 4 + 1 + 4 * 4 + 1 + 4 + 4 + 1 + 4 + 1 + 4);
  Text.Nodes.clear();
  std::vector<int> Depth;
  for (uint32_t I = 0; I < Count && In.Ok; ++I) {
    TextNode Node;
    const uint8_t Kind = In.U8();
    const uint32_t Parent = In.U32();
    Node.At = In.U32();
    Node.Level = In.U8();
    for (std::string* Field : {&Node.Lang, &Node.Label, &Node.Id, &Node.Headers}) *Field = In.Text();
    Node.Scope = In.U8();
    const uint32_t RowSpan = In.U32(), ColSpan = In.U32();
    Node.HasArea = In.U8() != 0;
    if (Node.HasArea) Node.Area = In.Area();
    Node.Element = In.U32();
    Node.Continued = In.U8() != 0;
    const uint32_t Later = In.Count(4);
    for (uint32_t J = 0; J < Later && In.Ok; ++J) {
      const uint32_t Page = In.U32();
      if (Page <= Number || !ValidPage(Page, PageCount) || Node.LaterPages.size() >= MaxLaterPages) return false;
      Node.LaterPages.push_back(Page);
    }
    Node.Parent = static_cast<int>(Parent) - 1;
    const uint32_t ParentAt = Node.Parent >= 0 ? Text.Nodes[static_cast<size_t>(Node.Parent)].At : 0;
    const uint32_t LastAt = I > 0 ? Text.Nodes.back().At : 0;
    if (!In.Ok || Kind > LastNodeKind || Parent > I || Node.At > Text.Lines.size() || Node.At < ParentAt ||
        Node.At < LastAt || Node.Level > 6 || Node.Scope > 3 || RowSpan < 1 || RowSpan > 1000 || ColSpan < 1 ||
        ColSpan > 1000 || (Node.HasArea && (std::fabs(Node.Area.X1) > MaxGlyphCoordinate ||
                                            std::fabs(Node.Area.Y1) > MaxGlyphCoordinate ||
                                            std::fabs(Node.Area.X2) > MaxGlyphCoordinate ||
                                            std::fabs(Node.Area.Y2) > MaxGlyphCoordinate))) {
      return false;
    }
    Depth.push_back(Node.Parent >= 0 ? Depth[static_cast<size_t>(Node.Parent)] + 1 : 1);
    if (Depth.back() > MaxNodeDepth) return false;
    Node.Kind = static_cast<NodeKind>(Kind);
    Node.RowSpan = static_cast<uint16_t>(RowSpan);
    Node.ColSpan = static_cast<uint16_t>(ColSpan);
    Node.Lang = LanguageTag(Node.Lang);
    Node.Label = CleanUtf8(Node.Label.substr(0, MaxLabelBytes));
    Node.Id = IdText(Node.Id, false);
    Node.Headers = IdText(Node.Headers, true);
    Text.Nodes.push_back(std::move(Node));
  }
  for (const Line& Each : Text.Lines) {
    if (Each.Node < -1 || Each.Node >= static_cast<int>(Text.Nodes.size())) return false;
  }
  return In.Ok;
}

}  // namespace

std::vector<std::string> WorkerArguments(unsigned long long MemoryCap, const std::string& ParentId) {
  return {WorkerFlag, std::to_string(MemoryCap), ParentId};
}

std::string Encode(const OpenCommand& Message) {
  Writer Out(MessageKind::Open);
  Out.Text(Message.Path);
  Out.U8(Message.WithInfo ? 1 : 0);
  return Out.Framed();
}

std::string Encode(const PageCommand& Message) {
  Writer Out(MessageKind::Page);
  Out.U32(static_cast<uint32_t>(Message.Number));
  Out.Text(Message.TempPath);
  Out.U32(static_cast<uint32_t>(Message.Headings.size()));
  for (const HeadingHint& Hint : Message.Headings) {
    Out.Text(Hint.Title);
    Out.U32(static_cast<uint32_t>(Hint.Depth));
    Out.F64(Hint.Top);
  }
  return Out.Framed();
}

std::string Encode(const OpenedReport& Message) {
  Writer Out(MessageKind::Opened);
  Out.U8(static_cast<uint8_t>(Message.Status));
  Out.Text(Message.Reason);
  Out.U32(static_cast<uint32_t>(Message.PageCount));
  Out.U8(Message.WithInfo ? 1 : 0);
  if (Message.WithInfo) {
    for (const std::string* Field : {&Message.Info.Language, &Message.Info.Title, &Message.Info.Author,
                                     &Message.Info.Subject, &Message.Info.Keywords}) {
      Out.Text(*Field);
    }
    PutOutline(Out, Message.Outline);
  }
  return Out.Framed();
}

std::string Encode(const PageSizeReport& Message) {
  Writer Out(MessageKind::PageSize);
  Out.U32(static_cast<uint32_t>(Message.Number));
  Out.F64(Message.Width);
  Out.F64(Message.Height);
  return Out.Framed();
}

std::string Encode(const PageTextReport& Message) {
  Writer Out(MessageKind::PageText);
  Out.U32(static_cast<uint32_t>(Message.Number));
  Out.U32(static_cast<uint32_t>(Message.Text.Lines.size()));
  for (const Line& Each : Message.Text.Lines) {
    Out.Area(Each.Area);
    Out.F64(Each.Size);
    Out.U8(static_cast<uint8_t>((Each.Vertical ? 1 : 0) | (Each.RightToLeft ? 2 : 0)));
    Out.U32(static_cast<uint32_t>(Each.Node + 1));
    Out.U32(static_cast<uint32_t>(Each.Words.size()));
    for (const Word& Item : Each.Words) {
      Out.Text(Item.Text);
      Out.Area(Item.Area);
    }
  }
  Out.U32(static_cast<uint32_t>(Message.Text.Links.size()));
  for (const PageLink& Link : Message.Text.Links) {
    Out.Area(Link.Area);
    Out.U32(static_cast<uint32_t>(Link.Page));
    Out.Text(Link.Uri);
  }
  PutNodes(Out, Message.Text.Nodes);
  return Out.Framed();
}

std::string Encode(const PageDrawnReport& Message) {
  Writer Out(MessageKind::PageDrawn);
  Out.U32(static_cast<uint32_t>(Message.Number));
  Out.U8(static_cast<uint8_t>(Message.Drawing));
  Out.Text(Message.Reason);
  Out.U32(static_cast<uint32_t>(Message.Glyphs.Outlines.size()));
  for (const std::string& Outline : Message.Glyphs.Outlines) Out.Text(Outline);
  Out.U32(static_cast<uint32_t>(Message.Glyphs.Runs.size()));
  for (const LiftedRun& Run : Message.Glyphs.Runs) {
    Out.U32(Run.Colour);
    Out.F64(Run.Opacity);
    Out.U32(static_cast<uint32_t>(Run.Glyphs.size()));
    for (size_t I = 0; I < Run.Glyphs.size(); ++I) {
      Out.U32(Run.Glyphs[I]);
      Out.F64(Run.X[I]);
      Out.F64(Run.Y[I]);
    }
  }
  Out.U8(DamageByte(Message.Damage));
  return Out.Framed();
}

bool NextFrame(std::string& Stream, std::string& Body, bool& Invalid) {
  Invalid = false;
  if (Stream.size() < 4) return false;
  uint32_t Length = 0;
  for (int I = 0; I < 4; ++I) Length |= static_cast<uint32_t>(static_cast<unsigned char>(Stream[I])) << (8 * I);
  if (Length == 0 || Length > MaxMessageBytes) {
    Invalid = true;
    return false;
  }
  if (Stream.size() - 4 < Length) return false;
  Body.assign(Stream, 4, Length);
  Stream.erase(0, 4 + static_cast<size_t>(Length));
  return true;
}

MessageKind KindOf(std::string_view Body) { return static_cast<MessageKind>(Body.empty() ? 0 : Body[0]); }

bool Decode(std::string_view Body, OpenCommand& Message) {
  Reader In(Body, MessageKind::Open);
  Message.Path = In.Text();
  Message.WithInfo = In.U8() != 0;
  return In.AtEnd();
}

bool Decode(std::string_view Body, PageCommand& Message) {
  Reader In(Body, MessageKind::Page);
  const uint32_t Number = In.U32();
  Message.TempPath = In.Text();
  const uint32_t Hints = In.Count(4 + 4 + 8);
  Message.Headings.clear();
  for (uint32_t I = 0; I < Hints && In.Ok; ++I) {
    HeadingHint Hint;
    Hint.Title = In.Text();
    Hint.Depth = static_cast<int>(std::min<uint32_t>(In.U32(), MaxOutlineDepth));
    Hint.Top = In.F64();
    Message.Headings.push_back(std::move(Hint));
  }
  if (Number < 1 || Number > MaxPageCount) return false;
  Message.Number = static_cast<int>(Number);
  return In.AtEnd();
}

bool Decode(std::string_view Body, OpenedReport& Message) {
  Reader In(Body, MessageKind::Opened);
  const uint8_t Status = In.U8();
  Message.Reason = In.Text();
  const uint32_t Pages = In.U32();
  Message.WithInfo = In.U8() != 0;
  if (!In.Ok || Status > static_cast<uint8_t>(OpenStatus::NeedsPassword) || Pages > MaxPageCount) return false;
  Message.Status = static_cast<OpenStatus>(Status);
  Message.PageCount = static_cast<int>(Pages);
  if (Message.Status == OpenStatus::Opened && Pages == 0) return false;
  if (Message.WithInfo) {
    for (std::string* Field : {&Message.Info.Language, &Message.Info.Title, &Message.Info.Author,
                               &Message.Info.Subject, &Message.Info.Keywords}) {
      *Field = In.Text();
    }
    Message.Info.Language = LanguageTag(Message.Info.Language);
    Message.Outline.clear();
    GetOutline(In, 0, Message.PageCount, Message.Outline);
  }
  return In.AtEnd();
}

bool Decode(std::string_view Body, int PageCount, PageSizeReport& Message) {
  Reader In(Body, MessageKind::PageSize);
  const uint32_t Number = In.U32();
  Message.Width = In.F64();
  Message.Height = In.F64();
  Message.Number = static_cast<int>(Number);
  return In.AtEnd() && ValidPage(Number, PageCount);
}

bool Decode(std::string_view Body, int PageCount, PageTextReport& Message) {
  Reader In(Body, MessageKind::PageText);
  const uint32_t Number = In.U32();
  if (!ValidPage(Number, PageCount)) return false;
  Message.Number = static_cast<int>(Number);
  // A line is at least its box, size, flags and word count; a word its length and box.
  const uint32_t LineCount = In.Count(4 * 8 + 8 + 1 + 4 + 4);
  Message.Text.Lines.clear();
  Message.Text.Lines.reserve(LineCount);
  for (uint32_t I = 0; I < LineCount && In.Ok; ++I) {
    Line Each;
    Each.Area = In.Area();
    Each.Size = In.F64();
    const uint8_t Flags = In.U8();
    Each.Vertical = (Flags & 1) != 0;
    Each.RightToLeft = (Flags & 2) != 0;
    Each.Node = static_cast<int>(In.U32()) - 1;
    const uint32_t WordCount = In.Count(4 + 4 * 8);
    Each.Words.reserve(WordCount);
    for (uint32_t J = 0; J < WordCount && In.Ok; ++J) {
      Word Item;
      Item.Text = In.Text();
      Item.Area = In.Area();
      Each.Words.push_back(std::move(Item));
    }
    Message.Text.Lines.push_back(std::move(Each));
  }
  const uint32_t LinkCount = In.Count(4 * 8 + 4 + 4);
  Message.Text.Links.clear();
  for (uint32_t I = 0; I < LinkCount && In.Ok; ++I) {
    PageLink Link;
    Link.Area = In.Area();
    const uint32_t Target = In.U32();
    Link.Page = ValidPage(Target, PageCount) ? static_cast<int>(Target) : 0;
    Link.Uri = SafeUri(In.Text());
    if (Link.Page > 0 || !Link.Uri.empty()) Message.Text.Links.push_back(std::move(Link));
  }
  return GetNodes(In, Number, PageCount, Message.Text) && In.AtEnd();
}

bool Decode(std::string_view Body, int PageCount, PageDrawnReport& Message) {
  Reader In(Body, MessageKind::PageDrawn);
  const uint32_t Number = In.U32();
  const uint8_t Drawing = In.U8();
  Message.Reason = In.Text();
  Message.Glyphs = LiftedGlyphs{};
  const uint32_t Outlines = In.Count(4);
  for (uint32_t I = 0; I < Outlines && In.Ok; ++I) Message.Glyphs.Outlines.push_back(In.Text());
  const uint32_t Runs = In.Count(16);
  for (uint32_t I = 0; I < Runs && In.Ok; ++I) {
    LiftedRun Run;
    Run.Colour = In.U32();
    Run.Opacity = In.F64();
    const uint32_t Glyphs = In.Count(20);
    if (Run.Colour > 0xFFFFFF || !(Run.Opacity >= 0 && Run.Opacity <= 1)) return false;
    for (uint32_t J = 0; J < Glyphs && In.Ok; ++J) {
      const uint32_t Glyph = In.U32();
      const double X = In.F64(), Y = In.F64();
      if (Glyph >= Outlines || std::fabs(X) > MaxGlyphCoordinate || std::fabs(Y) > MaxGlyphCoordinate) return false;
      Run.Glyphs.push_back(Glyph);
      Run.X.push_back(X);
      Run.Y.push_back(Y);
    }
    Message.Glyphs.Runs.push_back(std::move(Run));
  }
  const uint8_t Damage = In.U8();
  if (!In.AtEnd() || !ValidPage(Number, PageCount) || Drawing > static_cast<uint8_t>(DrawingState::Pictured) ||
      (Damage & ~DamageBits) != 0) {
    return false;
  }
  Message.Damage = DamageOf(Damage);
  Message.Number = static_cast<int>(Number);
  Message.Drawing = static_cast<DrawingState>(Drawing);
  return true;
}

}  // namespace Engine
