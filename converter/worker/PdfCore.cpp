// What the worker reads through poppler's core classes: a page's words with their marked content,
// the structure tree and the document's language. The one file that includes those classes.
#include "worker/PdfCore.h"

#include "base/Text.h"
#include "base/Utf8.h"

#include <poppler/Catalog.h>
#include <poppler/Gfx.h>
#include <poppler/GfxFont.h>
#include <poppler/GfxState.h>
#include <poppler/GlobalParams.h>
#include <poppler/OutputDev.h>
#include <poppler/PDFDoc.h>
#include <poppler/Page.h>
#include <poppler/Parser.h>
#include <poppler/Stream.h>
#include <poppler/TextOutputDev.h>
#include <poppler/UTF.h>

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <tuple>
#include <utility>

namespace Engine {

namespace {

// A tree beyond these is damage or an attack, not a document: its structure is left out.
constexpr size_t MaxNodes = 200000;
constexpr int MaxDepth = 64;
constexpr size_t MaxKids = 100000;
// Texts taken from the tree are cut to these many bytes.
constexpr size_t MaxTextBytes = 4096;
constexpr size_t MaxIdBytes = 128;
// Steps of the text pass (TextPassSteps) that entering a form counts for.
constexpr int FormSteps = 10;
// Raster operations a triangle or patch of a mesh shading counts for.
constexpr uint64_t MeshPartWeight = 4;
// Pictures and shapes recorded for figures' places, a page.
constexpr size_t MaxAreas = 20000;

// The page's damage that poppler's messages go to while a DamageWatch lives; poppler's messages
// are otherwise dropped.
PageDamage* Watching = nullptr;

void Collect(ErrorCategory Category, Goffset, const char* Message) {
  if (Watching == nullptr || Message == nullptr) return;
  const bool Error = Category == errSyntaxError || Category == errInternal || Category == errIO;
  switch (ClassifyPopplerMessage(Error, Message)) {
    case PopplerLoss::Picture: Watching->PicturesNotDecoded = true; break;
    case PopplerLoss::Content: Watching->ContentNotRead = true; break;
    case PopplerLoss::None: break;
  }
}

// cairo holds no picture wider or taller than this; poppler's drawing then leaves the picture out.
constexpr int CairoMaxPicture = 32767;
// The check of a page gives up after this long, and after this many pictures: it only looks for
// what no message tells, and a page that heavy is bounded by its drawing's budgets.
constexpr auto CheckTime = std::chrono::seconds(5);
constexpr int MaxPicturesChecked = 1000;

// Reads a page as its drawing does, without drawing: each picture's size and first row, and the
// visible glyphs that carry no text. Shadings and tiling patterns are taken as drawn, unread.
class DamageCheck : public OutputDev {
 public:
  explicit DamageCheck(bool CountGlyphs) : CountGlyphs_(CountGlyphs) {}
  bool upsideDown() override { return true; }
  bool useDrawChar() override { return CountGlyphs_; }
  bool interpretType3Chars() override { return false; }
  bool needNonText() override { return true; }
  bool useTilingPatternFill() override { return true; }
  bool useShadedFills(int) override { return true; }
  bool tilingPatternFill(GfxState*, Gfx*, Catalog*, GfxTilingPattern*, const double*, int, int, int, int, double,
                         double) override {
    return true;
  }
  bool functionShadedFill(GfxState*, GfxFunctionShading*) override { return true; }
  bool axialShadedFill(GfxState*, GfxAxialShading*, double, double) override { return true; }
  bool radialShadedFill(GfxState*, GfxRadialShading*, double, double) override { return true; }
  bool gouraudTriangleShadedFill(GfxState*, GfxGouraudTriangleShading*) override { return true; }
  bool patchMeshShadedFill(GfxState*, GfxPatchMeshShading*) override { return true; }

  void drawChar(GfxState* State, double X, double Y, double, double, double, double, CharCode, int, const Unicode* U,
                int ULength) override {
    if ((State->getRender() & 3) == 3) return;
    for (int I = 0; I < ULength; ++I) {
      // A glyph that stands for a character other than a space is the text layout's to find.
      if (ReadableCharacter(U[I])) return;
    }
    double Dx = 0, Dy = 0;
    State->transform(X, Y, &Dx, &Dy);
    if (Dx >= 0 && Dy >= 0 && Dx <= State->getPageWidth() && Dy <= State->getPageHeight()) ++GlyphsWithoutText;
  }
  void drawImageMask(GfxState* State, Object* Ref, Stream* Str, int Width, int Height, bool Invert, bool Interpolate,
                     bool Inline) override {
    if (Inline) OutputDev::drawImageMask(State, Ref, Str, Width, Height, Invert, Interpolate, Inline);
    else Check(Str, Width, Height, (Width + 7) / 8);
  }
  void drawImage(GfxState* State, Object* Ref, Stream* Str, int Width, int Height, GfxImageColorMap* Map,
                 bool Interpolate, const int* MaskColors, bool Inline) override {
    if (Inline) OutputDev::drawImage(State, Ref, Str, Width, Height, Map, Interpolate, MaskColors, Inline);
    else Check(Str, Width, Height, RowBytes(Width, Map));
  }
  void drawMaskedImage(GfxState*, Object*, Stream* Str, int Width, int Height, GfxImageColorMap* Map, bool,
                       Stream* MaskStr, int MaskWidth, int MaskHeight, bool, bool) override {
    Check(Str, Width, Height, RowBytes(Width, Map));
    Check(MaskStr, MaskWidth, MaskHeight, (MaskWidth + 7) / 8);
  }
  void drawSoftMaskedImage(GfxState*, Object*, Stream* Str, int Width, int Height, GfxImageColorMap* Map, bool,
                           Stream* MaskStr, int MaskWidth, int MaskHeight, GfxImageColorMap* MaskMap, bool) override {
    Check(Str, Width, Height, RowBytes(Width, Map));
    Check(MaskStr, MaskWidth, MaskHeight, RowBytes(MaskWidth, MaskMap));
  }

  static bool OutOfTime(void* Data) {
    const auto* Self = static_cast<const DamageCheck*>(Data);
    return std::chrono::steady_clock::now() > Self->Until_ || Self->Pictures_ > MaxPicturesChecked;
  }

  PageDamage Damage;
  size_t GlyphsWithoutText = 0;

 private:
  static long long RowBytes(int Width, GfxImageColorMap* Map) {
    if (Map == nullptr) return 0;
    return (static_cast<long long>(Width) * Map->getNumPixelComps() * Map->getBits() + 7) / 8;
  }

  // A picture cairo cannot hold is left out of the drawing. One whose first row does not come is
  // left blank: its data is cut short or broken from the start. JBIG2 and JPEG 2000 decode the whole
  // picture to give a row, and say themselves what goes wrong, so only their size is checked.
  void Check(Stream* Str, int Width, int Height, long long Row) {
    if (Str == nullptr || ++Pictures_ > MaxPicturesChecked) return;
    // The drawing never reads such a picture, and neither does the check: a progressive JPEG would
    // be decoded whole to give its first row.
    if (Width > CairoMaxPicture || Height > CairoMaxPicture) {
      Damage.PicturesTooLarge = true;
      return;
    }
    const StreamKind Kind = Str->getKind();
    if (Kind == strJBIG2 || Kind == strJPX || Width <= 0 || Height <= 0 || Row <= 0) return;
    const int Wanted = static_cast<int>(std::min<long long>(Row, 1 << 16));
    std::vector<unsigned char> Bytes(static_cast<size_t>(Wanted));
    Str->reset();
    const int Got = Str->doGetChars(Wanted, Bytes.data());
    Str->close();
    if (Got < Wanted) Damage.PicturesNotDecoded = true;
  }

  bool CountGlyphs_;
  std::chrono::steady_clock::time_point Until_ = std::chrono::steady_clock::now() + CheckTime;
  int Pictures_ = 0;
};

// Whether Resources, or the resources of the forms they name, hold a picture: a page without one
// needs no check of its pictures. Inline pictures, which are small, are not looked for.
bool HoldsPictures(Dict* Resources, int Depth, int& Looked, std::set<Ref>& Seen) {
  if (Resources == nullptr || Depth > 8) return false;
  const Object XObjects = Resources->lookup("XObject");
  if (!XObjects.isDict()) return false;
  for (int I = 0; I < XObjects.dictGetLength() && ++Looked < 2000; ++I) {
    const Object& Raw = XObjects.getDict()->getValNF(I);
    if (Raw.isRef() && !Seen.insert(Raw.getRef()).second) continue;
    const Object Each = XObjects.getDict()->getVal(I);
    if (!Each.isStream()) continue;
    Dict* Entries = Each.streamGetDict();
    if (Entries->lookup("Subtype").isName("Image")) return true;
    Object Inner = Entries->lookup("Resources");
    if (Inner.isDict() && HoldsPictures(Inner.getDict(), Depth + 1, Looked, Seen)) return true;
  }
  return false;
}

// A PDF text string (PDFDocEncoding, or UTF-16 with its byte order mark) as UTF-8, its first
// characters up to Limit bytes or just past; Cut tells whether there was more. Only what can make
// Limit bytes is decoded.
std::string DecodedText(const std::string& Whole, size_t Limit, bool* Cut) {
  // Every character takes at least one byte of UTF-8 and at most two of the string but for its
  // byte order mark (a pair of UTF-16 surrogates makes four bytes of UTF-8).
  const size_t Taken = std::min(Whole.size(), 2 * Limit + 4);
  Unicode* Chars = nullptr;
  const int Length = TextStringToUCS4(Whole.substr(0, Taken), &Chars);
  std::string Out;
  int I = 0;
  for (; I < Length && Out.size() < Limit; ++I) AppendUtf8(Out, Chars[I]);
  gfree(Chars);
  if (Cut != nullptr) *Cut = I < Length || Taken < Whole.size();
  return Out;
}

// A PDF text string as clean UTF-8, cut to Limit bytes; Cut tells whether there was more.
std::string TextOf(const Object& Value, size_t Limit = MaxTextBytes, bool* Cut = nullptr) {
  if (Cut != nullptr) *Cut = false;
  if (!Value.isString()) return {};
  return CleanUtf8(DecodedText(Value.getString()->toStr(), Limit, Cut));
}

// The objects to rewrite so that the form field Raw, and the fields under it, hold no text value
// longer than MaxFormTextBytes of UTF-8: the value itself where it is an object of its own, else
// the field's dictionary; added to Cuts.
void CutFieldValues(XRef* Xref, const Object& Raw, int Depth, std::set<Ref>& Seen, int& Looked,
                    std::vector<std::pair<Ref, Object>>& Cuts) {
  if (Depth > 64 || ++Looked > 100000) return;
  if (Raw.isRef() && !Seen.insert(Raw.getRef()).second) return;
  const Object Field = Raw.fetch(Xref);
  if (!Field.isDict()) return;
  const Object RawValue = Field.dictLookupNF("V").copy();
  const Object Value = RawValue.fetch(Xref);
  if (Value.isString() && Value.getString()->toStr().size() > MaxFormTextBytes) {
    const std::string Text = DecodedText(Value.getString()->toStr(), MaxFormTextBytes + 1, nullptr);
    if (Text.size() > MaxFormTextBytes) {
      Object Cut(utf8ToUtf16WithBom(CutText(Text, MaxFormTextBytes)).release());
      if (RawValue.isRef()) {
        Cuts.emplace_back(RawValue.getRef(), std::move(Cut));
      } else if (Raw.isRef()) {
        Object Copy(Field.getDict()->copy(Xref));
        Copy.dictSet("V", std::move(Cut));
        Cuts.emplace_back(Raw.getRef(), std::move(Copy));
      }
    }
  }
  const Object Kids = Field.dictLookup("Kids");
  if (!Kids.isArray()) return;
  for (int I = 0; I < Kids.arrayGetLength(); ++I) {
    CutFieldValues(Xref, Kids.arrayGetNF(I), Depth + 1, Seen, Looked, Cuts);
  }
}

// Collects what poppler writes in a string.
class StringOutput : public OutStream {
 public:
  explicit StringOutput(std::string& Out) : Out_(Out) {}
  void close() override {}
  Goffset getPos() override { return static_cast<Goffset>(Out_.size()); }
  void put(char C) override { Out_ += C; }
  void printf(const char* Format, ...) override {
    va_list Args;
    va_start(Args, Format);
    va_list Again;
    va_copy(Again, Args);
    const int Length = std::vsnprintf(nullptr, 0, Format, Args);
    va_end(Args);
    if (Length > 0) {
      const size_t At = Out_.size();
      Out_.resize(At + static_cast<size_t>(Length) + 1);
      std::vsnprintf(&Out_[At], static_cast<size_t>(Length) + 1, Format, Again);
      Out_.resize(At + static_cast<size_t>(Length));
    }
    va_end(Again);
  }

 private:
  std::string& Out_;
};

// The painting operators of a Type 3 glyph's procedure (fills, strokes, pictures, shadings,
// forms), at least one; counted up to TextPassSteps.
uint64_t PaintingOperators(XRef* Xref, Object& Procedure) {
  static const std::set<std::string_view> Painting = {"f", "F", "f*", "B", "B*", "b", "b*", "S", "s", "sh", "Do", "BI"};
  uint64_t Count = 0;
  if (Procedure.isStream()) {
    Parser Reader(Xref, &Procedure, false);
    for (Object Each = Reader.getObj(); !Each.isEOF() && !Each.isError() && Count < TextPassSteps;
         Each = Reader.getObj()) {
      if (Each.isCmd() && Painting.count(Each.getCmd()) != 0) ++Count;
    }
  }
  return std::max<uint64_t>(Count, 1);
}

// A text output that notes, for every character it is shown, the marked content it stands in,
// and where pictures and shapes are drawn in marked content. It also counts what drawing the page
// will cost (PageWork) and stops the reading at the text pass's bounds.
class MarkedTextOutput : public TextOutputDev {
 public:
  MarkedTextOutput(PDFDoc* Doc, std::vector<MarkedArea>* Areas)
      : TextOutputDev(nullptr, false, 0, false, false), Doc_(Doc), Areas_(Areas), Start_(std::chrono::steady_clock::now()) {}

  // Gfx asks this every few operators, in every content stream it runs.
  static bool Stop(void* Output) { return static_cast<MarkedTextOutput*>(Output)->Stopped(); }
  bool Stopped() {
    if (!Cut_ && std::chrono::steady_clock::now() - Start_ > std::chrono::duration<double>(TextPassSeconds)) Cut_ = true;
    return Cut_;
  }
  PageWork Work() const { return {Operations_, Operations_ + MeshCost_, Cut_, LuminosityMasks_}; }

  // Pictures, shapes and patterns are walked to count them (and to place them, with Areas);
  // nothing of them is decoded or drawn.
  bool needNonText() override { return true; }
  // Every kind of shading is taken whole and counted, instead of Gfx cutting it into the
  // thousands of small fills a text output would be handed (millions, for a big mesh).
  bool useShadedFills(int) override { return true; }
  bool functionShadedFill(GfxState*, GfxFunctionShading*) override { return Count(1); }
  bool axialShadedFill(GfxState*, GfxAxialShading*, double, double) override { return Count(1); }
  bool radialShadedFill(GfxState*, GfxRadialShading*, double, double) override { return Count(1); }
  // A mesh's triangle or patch costs a raster more than a fill: poppler holds each vertex in some
  // 150 bytes, and cairo draws each part as a patch of its own.
  bool gouraudTriangleShadedFill(GfxState*, GfxGouraudTriangleShading* Shading) override {
    MeshCost_ += MeshPartWeight * static_cast<uint64_t>(std::max(0, Shading->getNTriangles()));
    return Count(1);
  }
  bool patchMeshShadedFill(GfxState*, GfxPatchMeshShading* Shading) override {
    MeshCost_ += MeshPartWeight * static_cast<uint64_t>(std::max(0, Shading->getNPatches()));
    return Count(1);
  }
  // A tiling pattern's cell is read once, as cairo draws it once, for its count only: a pattern
  // never gave the page's text. Where pictures and shapes are placed, the cells are drawn where
  // they stand instead (Gfx's own way).
  bool useTilingPatternFill() override { return Areas_ == nullptr; }
  bool tilingPatternFill(GfxState*, Gfx* Outer, Catalog*, GfxTilingPattern* Pattern, const double*, int, int, int, int,
                         double, double) override {
    // The fill with the cell's picture is one operation, what the cell draws the others.
    Count(1);
    if (Stopped()) return true;
    const double* Bounds = Pattern->getBBox();
    PDFRectangle Cell(Bounds[0], Bounds[1], Bounds[2], Bounds[3]);
    ++Counting_;
    {
      Gfx Inner(Doc_, this, Pattern->getResDict(), &Cell, nullptr, Stop, this, Outer);
      Inner.display(Pattern->getContentStream());
    }
    --Counting_;
    return true;
  }
  // Soft masks made from a group's luminosity, which the drawing turns into rasters of the page.
  void setSoftMask(GfxState*, const double*, bool Alpha, Function* Transfer, GfxColor*) override {
    if (!Alpha || Transfer != nullptr) ++LuminosityMasks_;
  }

  // Once stopped, forms are no longer entered, so that forms nested deep end at once. Forms that
  // only draw others cost the drawing nothing, but the reading time: entering one (its resources,
  // its stream, a parser) takes about as long as five to ten fills.
  bool useDrawForm() override { return Cut_; }
  void drawForm(Ref) override {}
  void beginForm(Ref) override {
    for (int I = 0; I < FormSteps; ++I) Step();
  }

  void beginMarkedContent(const char* Name, Dict* Properties) override {
    if (Counting_ > 0) return;
    Mark Current = Stack_.empty() ? Mark{} : Stack_.back();
    if (Properties != nullptr) {
      const Object Mcid = Properties->lookup("MCID");
      if (Mcid.isInt()) Current.Mcid = Mcid.getInt();
    }
    if (Name != nullptr && std::string_view(Name) == "Artifact") Current.Artifact = true;
    Stack_.push_back(Current);
    TextOutputDev::beginMarkedContent(Name, Properties);
  }
  // An end without its beginning (optional content named in the resources opens without telling
  // the output) closes nothing that was opened.
  void endMarkedContent(GfxState* State) override {
    if (Counting_ > 0) return;
    if (!Stack_.empty()) Stack_.pop_back();
    TextOutputDev::endMarkedContent(State);
  }
  void beginString(GfxState* State, const GooString* Shown) override {
    Longest_ = std::max(Longest_, static_cast<size_t>(Shown->getLength()));
    TextOutputDev::beginString(State, Shown);
  }
  void drawChar(GfxState* State, double X, double Y, double Dx, double Dy, double OriginX, double OriginY, CharCode Code,
                int Bytes, const Unicode* U, int ULength) override {
    const std::shared_ptr<GfxFont>& Font = State->getFont();
    if (Font != nullptr && Font->getType() == fontType3) Count(Type3Weight(*Font, Code, State->getTransformedFontSize()));
    if (Counting_ > 0) return;
    // Characters are numbered as the text layout numbers them: by the bytes of the shown strings.
    // The numbers only grow, so a change of marked content is noted where it happens.
    const Mark Current = Stack_.empty() ? Mark{} : Stack_.back();
    if (Marks_.empty() || !(Marks_.back().second == Current)) Marks_.emplace_back(Position_, Current);
    Position_ += Bytes;
    TextOutputDev::drawChar(State, X, Y, Dx, Dy, OriginX, OriginY, Code, Bytes, U, ULength);
  }
  void incCharCount(int Chars) override {
    if (Counting_ > 0) return;
    Position_ += Chars;
    TextOutputDev::incCharCount(Chars);
  }
  void updateFont(GfxState* State) override {
    if (Counting_ == 0) TextOutputDev::updateFont(State);
  }
  void restoreState(GfxState* State) override {
    if (Counting_ == 0) TextOutputDev::restoreState(State);
  }
  void beginActualText(GfxState* State, const GooString* Text) override {
    if (Counting_ == 0) TextOutputDev::beginActualText(State, Text);
  }
  void endActualText(GfxState* State) override {
    if (Counting_ == 0) TextOutputDev::endActualText(State);
  }
  void fill(GfxState* State) override {
    Count(1);
    NotePath(State);
    TextOutputDev::fill(State);
  }
  void eoFill(GfxState* State) override {
    Count(1);
    NotePath(State);
    TextOutputDev::eoFill(State);
  }
  void stroke(GfxState* State) override {
    Count(1);
    NotePath(State);
    TextOutputDev::stroke(State);
  }
  void drawImage(GfxState* State, Object* Ref, Stream* Str, int Width, int Height, GfxImageColorMap* Map, bool Interpolate,
                 const int* MaskColors, bool Inline) override {
    Count(1);
    NotePicture(State);
    TextOutputDev::drawImage(State, Ref, Str, Width, Height, Map, Interpolate, MaskColors, Inline);
  }
  void drawImageMask(GfxState* State, Object* Ref, Stream* Str, int Width, int Height, bool Invert, bool Interpolate,
                     bool Inline) override {
    Count(1);
    NotePicture(State);
    TextOutputDev::drawImageMask(State, Ref, Str, Width, Height, Invert, Interpolate, Inline);
  }
  void drawMaskedImage(GfxState* State, Object* Ref, Stream* Str, int Width, int Height, GfxImageColorMap* Map,
                       bool Interpolate, Stream* MaskStr, int MaskWidth, int MaskHeight, bool MaskInvert,
                       bool MaskInterpolate) override {
    Count(1);
    NotePicture(State);
    TextOutputDev::drawMaskedImage(State, Ref, Str, Width, Height, Map, Interpolate, MaskStr, MaskWidth, MaskHeight,
                                   MaskInvert, MaskInterpolate);
  }
  void drawSoftMaskedImage(GfxState* State, Object* Ref, Stream* Str, int Width, int Height, GfxImageColorMap* Map,
                           bool Interpolate, Stream* MaskStr, int MaskWidth, int MaskHeight, GfxImageColorMap* MaskMap,
                           bool MaskInterpolate) override {
    Count(1);
    NotePicture(State);
    TextOutputDev::drawSoftMaskedImage(State, Ref, Str, Width, Height, Map, Interpolate, MaskStr, MaskWidth, MaskHeight,
                                       MaskMap, MaskInterpolate);
  }

  size_t Longest() const { return Longest_; }

  // The marked content of the character numbered Position.
  void MarkOf(int Position, int& Mcid, bool& Artifact) const {
    auto At = std::upper_bound(Marks_.begin(), Marks_.end(), Position,
                               [](int Value, const std::pair<int, Mark>& Each) { return Value < Each.first; });
    if (At == Marks_.begin()) return;
    --At;
    Mcid = At->second.Mcid;
    Artifact = At->second.Artifact;
  }

 private:
  struct Mark {
    int Mcid = -1;
    bool Artifact = false;
    bool operator==(const Mark& Other) const { return Mcid == Other.Mcid && Artifact == Other.Artifact; }
  };

  // Adds an operation that costs the drawing Weight; true, for the shading calls, which are then
  // done. The reading itself is bounded by the steps it takes, whatever they cost the drawing.
  bool Count(uint64_t Weight) {
    Operations_ += Weight;
    Step();
    return true;
  }
  void Step() {
    if (++Steps_ >= TextPassSteps) Cut_ = true;
  }

  // What drawing a Type 3 glyph costs: its procedure's painting operators the first time it is
  // shown at a size, one after (cairo draws a glyph once for each size it is shown at). A font
  // written into the resources directly has no object number, and is told apart by where poppler
  // holds it.
  uint64_t Type3Weight(GfxFont& Font, CharCode Code, double Size) {
    const Ref* Id = Font.getID();
    const void* Direct = Id->num >= 0 ? nullptr : static_cast<const void*>(&Font);
    if (!Type3Shown_.emplace(Direct, Id->num, Id->gen, Code, Size).second) return 1;
    const auto Key = std::make_tuple(Direct, Id->num, Id->gen, Code);
    const auto Found = Type3Weights_.find(Key);
    if (Found != Type3Weights_.end()) return Found->second;
    Object Procedure = static_cast<Gfx8BitFont&>(Font).getCharProc(static_cast<int>(Code & 0xff));
    const uint64_t Weight = PaintingOperators(Doc_->getXRef(), Procedure);
    Type3Weights_.emplace(Key, Weight);
    return Weight;
  }

  void Note(const Extent& Area) {
    if (Counting_ > 0 || Areas_ == nullptr || Area.Empty || Stack_.empty() || Stack_.back().Mcid < 0 ||
        Areas_->size() >= MaxAreas) {
      return;
    }
    Areas_->push_back({Stack_.back().Mcid, Area.Area});
  }
  void NotePath(GfxState* State) {
    if (Areas_ == nullptr || Stack_.empty() || Stack_.back().Mcid < 0) return;
    Extent Area;
    const GfxPath* Path = State->getPath();
    for (int I = 0; I < Path->getNumSubpaths(); ++I) {
      const GfxSubpath* Sub = Path->getSubpath(I);
      for (int J = 0; J < Sub->getNumPoints(); ++J) {
        double X = 0, Y = 0;
        State->transform(Sub->getX(J), Sub->getY(J), &X, &Y);
        if (std::isfinite(X) && std::isfinite(Y)) Area.Add(X, Y);
      }
    }
    Note(Area);
  }
  void NotePicture(GfxState* State) {
    if (Areas_ == nullptr || Stack_.empty() || Stack_.back().Mcid < 0) return;
    Extent Area;
    for (const double U : {0.0, 1.0}) {
      for (const double V : {0.0, 1.0}) {
        double X = 0, Y = 0;
        State->transform(U, V, &X, &Y);
        if (std::isfinite(X) && std::isfinite(Y)) Area.Add(X, Y);
      }
    }
    Note(Area);
  }

  PDFDoc* Doc_;
  std::vector<MarkedArea>* Areas_;
  std::chrono::steady_clock::time_point Start_;
  uint64_t Operations_ = 0;
  uint64_t Steps_ = 0;
  bool Cut_ = false;
  int Counting_ = 0;  // inside a pattern's cell read for its count only
  uint64_t MeshCost_ = 0;
  uint64_t LuminosityMasks_ = 0;
  std::map<std::tuple<const void*, int, int, CharCode>, uint64_t> Type3Weights_;
  std::set<std::tuple<const void*, int, int, CharCode, double>> Type3Shown_;
  std::vector<Mark> Stack_;
  std::vector<std::pair<int, Mark>> Marks_;  // from which character on a mark holds
  int Position_ = 0;
  size_t Longest_ = 0;
};

// The structure element types of PDF 1.7; others are a document's own and are resolved through
// its role map, or read as blocks of no particular kind.
bool StandardRole(std::string_view Name) {
  static const std::set<std::string_view> Roles = {
      "Document", "Part", "Art", "Sect", "Div", "BlockQuote", "Caption", "TOC", "TOCI", "Index", "NonStruct",
      "Private", "P", "H", "H1", "H2", "H3", "H4", "H5", "H6", "L", "LI", "Lbl", "LBody", "Table", "TR", "TH",
      "TD", "THead", "TBody", "TFoot", "Span", "Quote", "Note", "Reference", "BibEntry", "Code", "Link", "Annot",
      "Ruby", "RB", "RT", "RP", "Warichu", "WT", "WP", "Figure", "Formula", "Form",
      // PDF 2.0's, which documents made for either version use.
      "DocumentFragment", "Aside", "Title", "FENote", "Sub", "Em", "Strong", "Artifact"};
  return Roles.count(Name) != 0;
}

// Reads the structure tree within its limits.
class TreeReader {
 public:
  TreeReader(PDFDoc& Doc, DocumentStructure& Out) : Doc_(Doc), Out_(Out) {}

  bool Read() {
    Catalog* Cat = Doc_.getCatalog();
    if (Cat == nullptr || !Cat->isOk()) return false;
    Object CatalogDict = Doc_.getXRef()->getCatalog();
    if (!CatalogDict.isDict()) return false;
    const Object Root = CatalogDict.dictLookup("StructTreeRoot");
    if (!Root.isDict()) return false;
    RoleMap_ = Root.dictLookup("RoleMap");
    const Object Kids = Root.getDict()->lookupNF("K").copy();
    if (!Kids.isArray() && !Kids.isDict() && !Kids.isRef()) return false;
    ReadKids(Kids, -1, -1, 0);
    return !Failed_;
  }

 private:
  // The standard type a role names, through the role map when it is a document's own.
  std::string Resolve(std::string Name) {
    for (int Step = 0; Step < 16 && !StandardRole(Name); ++Step) {
      if (!RoleMap_.isDict()) break;
      const Object Next = RoleMap_.dictLookup(Name.c_str());
      if (!Next.isName()) break;
      Name = Next.getName();
    }
    return StandardRole(Name) ? Name : std::string("Div");
  }

  int PageOf(const Object& PageRef) {
    if (!PageRef.isRef()) return -1;
    if (PageIndex_.empty()) {
      Catalog* Cat = Doc_.getCatalog();
      for (int I = 1; I <= Doc_.getNumPages(); ++I) {
        const Ref* Each = Cat->getPageRef(I);
        if (Each != nullptr) PageIndex_.emplace(Each->num, I - 1);
      }
    }
    const auto Found = PageIndex_.find(PageRef.getRef().num);
    return Found == PageIndex_.end() ? -1 : Found->second;
  }

  // Reads a /K value (one kid or an array of kids) of the element Parent, whose page is Page.
  void ReadKids(const Object& Kids, int Parent, int Page, int Depth) {
    if (Kids.isArray()) {
      const int Count = std::min(Kids.arrayGetLength(), static_cast<int>(MaxKids));
      for (int I = 0; I < Count && !Failed_; ++I) ReadKid(Kids.arrayGetNF(I).copy(), Parent, Page, Depth);
    } else {
      ReadKid(Kids, Parent, Page, Depth);
    }
  }

  void ReadKid(const Object& Kid, int Parent, int Page, int Depth) {
    if (Kid.isInt()) {
      if (Parent >= 0 && Page >= 0) Out_.Nodes[static_cast<size_t>(Parent)].Kids.push_back({-1, Page, Kid.getInt()});
      return;
    }
    Object Value = Kid.copy();
    if (Kid.isRef()) {
      // Each element is read once: a tree that names itself again is cut there.
      if (!Seen_.insert(Kid.getRef().num).second) return;
      Value = Kid.fetch(Doc_.getXRef());
    }
    if (!Value.isDict()) return;
    const Object Type = Value.dictLookup("Type");
    if (Type.isName("MCR")) {
      const Object Mcid = Value.dictLookup("MCID");
      const Object Stream = Value.dictLookupNF("Stm").copy();
      const int Its = Value.getDict()->hasKey("Pg") ? PageOf(Value.getDict()->lookupNF("Pg").copy()) : Page;
      // Marked content of a form's own stream is numbered apart from the page's: left out.
      if (Parent >= 0 && Mcid.isInt() && Stream.isNull() && Its >= 0) {
        Out_.Nodes[static_cast<size_t>(Parent)].Kids.push_back({-1, Its, Mcid.getInt()});
      }
      return;
    }
    if (Type.isName("OBJR")) return;
    ReadElement(*Value.getDict(), Parent, Page, Depth);
  }

  void ReadElement(Dict& Element, int Parent, int Page, int Depth) {
    const Object Role = Element.lookup("S");
    if (!Role.isName()) return;
    if (Depth >= MaxDepth || Out_.Nodes.size() >= MaxNodes) {
      Failed_ = true;
      return;
    }
    const int Index = static_cast<int>(Out_.Nodes.size());
    Out_.Nodes.emplace_back();
    {
      StructNode& Node = Out_.Nodes.back();
      Node.Role = Resolve(Role.getName());
      Node.Parent = Parent;
      Node.Lang = TextOf(Element.lookup("Lang"), 64);
      Node.Alt = TextOf(Element.lookup("Alt"));
      Node.ActualText = TextOf(Element.lookup("ActualText"));
      const Object Id = Element.lookup("ID");
      if (Id.isString()) Node.Id = Id.getString()->toStr().substr(0, MaxIdBytes);
    }
    if (Parent >= 0) Out_.Nodes[static_cast<size_t>(Parent)].Kids.push_back({Index, -1, -1});
    else Out_.Roots.push_back(Index);
    if (Element.hasKey("Pg")) {
      const int Own = PageOf(Element.lookupNF("Pg").copy());
      if (Own >= 0) Page = Own;
    }
    ReadAttributes(Element.lookup("A"), Out_.Nodes[static_cast<size_t>(Index)], Page);
    ReadKids(Element.lookupNF("K").copy(), Index, Page, Depth + 1);
  }

  void ReadAttributes(const Object& Attributes, StructNode& Node, int Page) {
    if (Attributes.isArray()) {
      for (int I = 0; I < std::min(Attributes.arrayGetLength(), 64); ++I) ReadAttributes(Attributes.arrayGet(I), Node, Page);
      return;
    }
    if (!Attributes.isDict() && !Attributes.isStream()) return;
    Dict* Values = Attributes.isDict() ? Attributes.getDict() : Attributes.streamGetDict();
    const Object Scope = Values->lookup("Scope");
    if (Scope.isName()) Node.Scope = Scope.getName();
    for (const auto& [Key, Into] : {std::pair<const char*, int*>{"RowSpan", &Node.RowSpan}, {"ColSpan", &Node.ColSpan}}) {
      const Object Span = Values->lookup(Key);
      if (Span.isInt()) *Into = std::clamp(Span.getInt(), 1, 1000);
    }
    const Object Headers = Values->lookup("Headers");
    if (Headers.isArray()) {
      for (int I = 0; I < std::min(Headers.arrayGetLength(), 64); ++I) {
        const Object Id = Headers.arrayGet(I);
        if (Id.isString()) Node.Headers.push_back(Id.getString()->toStr().substr(0, MaxIdBytes));
      }
    }
    const Object Numbering = Values->lookup("ListNumbering");
    if (Numbering.isName()) Node.ListNumbering = Numbering.getName();
    const Object Area = Values->lookup("BBox");
    if (Area.isArray() && Area.arrayGetLength() == 4 && Page >= 0) {
      double Corner[4];
      bool Numbers = true;
      for (int I = 0; I < 4; ++I) {
        const Object Each = Area.arrayGet(I);
        Numbers = Numbers && Each.isNum() && std::isfinite(Each.getNum());
        Corner[I] = Numbers ? Each.getNum() : 0;
      }
      if (Numbers) ShownBox(Corner, Page, Node);
    }
  }

  // A box in the page's space as the page is shown: the crop box's corner at the origin, y down.
  // Pages turned by a quarter keep no box.
  void ShownBox(const double (&Corner)[4], int Page, StructNode& Node) {
    ::Page* Shown = Doc_.getPage(Page + 1);
    if (Shown == nullptr || Shown->getRotate() % 180 != 0) return;
    const PDFRectangle* Crop = Shown->getCropBox();
    Box Area{Corner[0] - Crop->x1, Crop->y2 - Corner[3], Corner[2] - Crop->x1, Crop->y2 - Corner[1]};
    if (Shown->getRotate() == 180) {
      const double Width = Crop->x2 - Crop->x1, Height = Crop->y2 - Crop->y1;
      Area = {Width - Area.X2, Height - Area.Y2, Width - Area.X1, Height - Area.Y1};
    }
    Node.HasBox = true;
    Node.Area = Normalized(Area);
    Node.BoxPage = Page;
  }

  PDFDoc& Doc_;
  DocumentStructure& Out_;
  Object RoleMap_;
  std::set<int> Seen_;
  std::map<int, int> PageIndex_;
  bool Failed_ = false;
};

// The text of the first element Name (such as "dc:title") of XMP metadata: the default language's
// entry of its list; XML's entities read.
std::string XmpEntry(const std::string& Xmp, const std::string& Name) {
  const size_t Start = Xmp.find("<" + Name);
  const size_t End = Start == std::string::npos ? Start : Xmp.find("</" + Name, Start);
  if (End == std::string::npos) return {};
  const std::string Element = Xmp.substr(Start, End - Start);
  size_t Item = Element.find("xml:lang=\"x-default\"");
  if (Item == std::string::npos) Item = Element.find("<rdf:li");
  const size_t Begin = Item == std::string::npos ? Item : Element.find('>', Item);
  const size_t Close = Begin == std::string::npos ? Begin : Element.find("</rdf:li", Begin);
  if (Close == std::string::npos) return {};
  const std::string Raw = Element.substr(Begin + 1, Close - Begin - 1);
  std::string Out;
  for (size_t I = 0; I < Raw.size() && Out.size() < MaxTextBytes; ++I) {
    if (Raw[I] != '&') {
      Out += Raw[I];
      continue;
    }
    const size_t Semicolon = Raw.find(';', I);
    if (Semicolon == std::string::npos || Semicolon - I > 10) {
      Out += '&';
      continue;
    }
    const std::string Entity = Raw.substr(I + 1, Semicolon - I - 1);
    static const std::map<std::string, char32_t> Named = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    char32_t Code = 0;
    if (const auto Found = Named.find(Entity); Found != Named.end()) {
      Code = Found->second;
    } else if (Entity.size() > 1 && Entity[0] == '#') {
      const bool Hex = Entity[1] == 'x' || Entity[1] == 'X';
      Code = static_cast<char32_t>(std::strtoul(Entity.c_str() + (Hex ? 2 : 1), nullptr, Hex ? 16 : 10));
    }
    AppendUtf8(Out, Code);
    I = Semicolon;
  }
  return CleanUtf8(Out);
}

}  // namespace

namespace {

// Entries a cross-reference stream may claim unchecked: room for them costs poppler about 40 MB.
constexpr long long UncheckedEntries = 1 << 20;
constexpr size_t MaxSections = 256;

bool IsSpace(char C) { return C == ' ' || C == '\t' || C == '\r' || C == '\n' || C == '\f' || C == '\0'; }
bool IsDigit(char C) { return C >= '0' && C <= '9'; }

// The number written at At (after white space), or -1.
long long NumberAt(std::string_view Data, size_t At) {
  while (At < Data.size() && IsSpace(Data[At])) ++At;
  long long Value = -1;
  for (; At < Data.size() && IsDigit(Data[At]) && Value < LLONG_MAX / 10 - 10; ++At) {
    Value = (Value < 0 ? 0 : Value * 10) + (Data[At] - '0');
  }
  return Value;
}

// Where poppler starts reading the cross-reference: after the last "startxref" near the end of the
// file, and in a linearized file after its first object.
std::vector<long long> SectionStarts(std::string_view Data) {
  std::vector<long long> Starts;
  const size_t Tail = std::min<size_t>(Data.size(), 24576 + 1024);
  const size_t Found = Data.substr(Data.size() - Tail).rfind("startxref");
  if (Found != std::string_view::npos) Starts.push_back(NumberAt(Data, Data.size() - Tail + Found + 9));
  const std::string_view Head = Data.substr(0, 1024);
  const size_t End = Head.find("endobj");
  if (Head.find("/Linearized") != std::string_view::npos && End != std::string_view::npos) {
    size_t After = End + 6;
    while (After < Head.size() && IsSpace(Head[After])) ++After;
    Starts.push_back(static_cast<long long>(After));
  }
  return Starts;
}

// The sections a trailer or a cross-reference stream links to.
void FollowLinks(Dict* Trailer, std::vector<long long>& Pending) {
  for (const char* Key : {"Prev", "XRefStm"}) {
    const Object Link = Trailer->lookupNF(Key).copy();
    if (Link.isInt()) Pending.push_back(Link.getInt());
    else if (Link.isInt64()) Pending.push_back(Link.getInt64());
  }
}

// Whether the stream's data, decoded, runs to at least Bytes.
bool HoldsBytes(Stream* Data, unsigned long long Bytes) {
  Data->reset();
  unsigned char Buffer[1 << 16];
  unsigned long long Got = 0;
  while (Got < Bytes) {
    const int Read = Data->doGetChars(static_cast<int>(std::min<unsigned long long>(sizeof Buffer, Bytes - Got)), Buffer);
    if (Read <= 0) break;
    Got += static_cast<unsigned long long>(Read);
  }
  Data->close();
  return Got >= Bytes;
}

// The span of the digits of the one /Size Value written in Text, which starts at Base; false
// when there is no such key or more than one.
bool SizeDigits(std::string_view Text, size_t Base, long long Value, size_t& At, size_t& Length) {
  int Found = 0;
  for (size_t Key = Text.find("/Size"); Key != std::string_view::npos; Key = Text.find("/Size", Key + 1)) {
    size_t Start = Key + 5;
    if (Start < Text.size() && !IsSpace(Text[Start])) continue;
    while (Start < Text.size() && IsSpace(Text[Start])) ++Start;
    size_t End = Start;
    while (End < Text.size() && IsDigit(Text[End])) ++End;
    if (End == Start || End - Start > 18 || (End < Text.size() && !IsSpace(Text[End]) && Text[End] != '/' && Text[End] != '>')) {
      continue;
    }
    if (std::stoll(std::string(Text.substr(Start, End - Start))) != Value) continue;
    ++Found;
    At = Base + Start;
    Length = End - Start;
  }
  return Found == 1;
}

// A figure of the file to write again in place: its digits at At, Length bytes of them.
struct Figure {
  size_t At, Length;
  long long Value;
};

// Data with each figure rewritten, padded with spaces so that no offset moves; empty when there
// is none to rewrite.
std::string WithFigures(std::string_view Data, const std::vector<Figure>& Figures) {
  if (Figures.empty()) return {};
  std::string Out(Data);
  for (const Figure& Each : Figures) {
    const std::string Digits = std::to_string(Each.Value);
    Out.replace(Each.At, Each.Length, Digits + std::string(Each.Length - Digits.size(), ' '));
  }
  return Out;
}

}  // namespace

std::string BoundedCrossReferences(std::string_view Data) {
  if (Data.empty() || Data.size() > static_cast<size_t>(LLONG_MAX)) return {};
  setErrorCallback(Collect);
  std::vector<Figure> Changes;
  MemStream Whole(const_cast<char*>(Data.data()), 0, static_cast<Goffset>(Data.size()), Object(objNull));
  std::vector<long long> Pending = SectionStarts(Data);
  std::set<long long> Seen;
  while (!Pending.empty() && Seen.size() < MaxSections) {
    const long long Offset = Pending.back();
    Pending.pop_back();
    if (Offset <= 0 || Offset >= static_cast<long long>(Data.size()) || !Seen.insert(Offset).second) continue;
    // Read as poppler reads a section: a parser without a table, streams made.
    Parser Reader(nullptr, Whole.makeSubStream(Offset, false, 0, Object(objNull)), true);
    const Object First = Reader.getObj(true);
    if (First.isCmd("xref")) {
      // A table's entries stand in the file itself; only its trailer's links are followed.
      const size_t Trailer = Data.find("trailer", static_cast<size_t>(Offset));
      if (Trailer == std::string_view::npos) continue;
      Parser TrailerReader(nullptr, Whole.makeSubStream(static_cast<Goffset>(Trailer + 7), false, 0, Object(objNull)), false);
      const Object Dictionary = TrailerReader.getObj();
      if (Dictionary.isDict()) FollowLinks(Dictionary.getDict(), Pending);
      continue;
    }
    if (!First.isInt() || !Reader.getObj(true).isInt() || !Reader.getObj(true).isCmd("obj")) continue;
    Object Section = Reader.getObj();
    if (!Section.isStream()) continue;
    Dict* Entries = Section.streamGetDict();
    FollowLinks(Entries, Pending);
    const Object Size = Entries->lookupNF("Size").copy();
    if (!Size.isInt() || Size.getInt() <= 0) continue;
    const long long Claimed = Size.getInt();
    // What poppler will read: the widths of an entry's fields and the runs of entries listed.
    bool Sane = true;
    long long Width = 0;
    const Object Widths = Entries->lookupNF("W").copy();
    if (!Widths.isArray() || Widths.arrayGetLength() < 3) Sane = false;
    for (int I = 0; Sane && I < 3; ++I) {
      const Object Each = Widths.arrayGet(I);
      Sane = Each.isInt() && Each.getInt() >= 0 && Each.getInt() <= 8;
      if (Sane) Width += Each.getInt();
    }
    long long Listed = Claimed, Highest = Claimed;
    const Object Runs = Entries->lookupNF("Index").copy();
    if (Sane && Runs.isArray()) {
      Listed = Highest = 0;
      for (int I = 0; Sane && I + 1 < Runs.arrayGetLength(); I += 2) {
        const Object Start = Runs.arrayGet(I), Count = Runs.arrayGet(I + 1);
        Sane = Start.isInt() && Count.isInt() && Start.getInt() >= 0 && Count.getInt() >= 0;
        if (Sane) {
          Listed += Count.getInt();
          Highest = std::max(Highest, static_cast<long long>(Start.getInt()) + Count.getInt());
        }
      }
    }
    long long Bound = Claimed;
    if (!Sane) {
      // poppler would give up on this section after setting aside room for the claim.
      if (Claimed > UncheckedEntries) Bound = -1;
    } else if (std::max(Claimed, Highest) > UncheckedEntries && Width > 0 &&
               !HoldsBytes(Section.getStream(), static_cast<unsigned long long>(Listed) * static_cast<unsigned long long>(Width))) {
      // poppler would run out of entries to read, and give up on this section, after setting
      // aside room for them.
      Bound = -1;
    } else if (Claimed > Highest) {
      Bound = Highest;
    }
    if (Bound == Claimed) continue;
    const Goffset DataStart = Section.getStream()->getBaseStream()->getStart();
    if (DataStart <= Offset || DataStart > static_cast<Goffset>(Data.size())) continue;
    size_t At = 0, Length = 0;
    const std::string Digits = std::to_string(Bound);
    if (SizeDigits(Data.substr(static_cast<size_t>(Offset), static_cast<size_t>(DataStart - Offset)),
                   static_cast<size_t>(Offset), Claimed, At, Length) &&
        Digits.size() <= Length) {
      Changes.push_back({At, Length, Bound});
    }
  }
  return WithFigures(Data, Changes);
}

namespace {

constexpr double CheckedSamples = 1 << 22;
constexpr double MaxSamples = 1 << 26;

// Where the last object begun in Data between From and Hit begins ("N G obj"); npos when none.
size_t ObjectStart(std::string_view Data, size_t From, size_t Hit) {
  for (size_t Found = Data.substr(From, Hit - From).rfind("obj"); Found != std::string_view::npos;
       Found = Found == 0 ? std::string_view::npos : Data.substr(From, Found).rfind("obj")) {
    const size_t At = From + Found;
    if (At >= 3 && Data.compare(At - 3, 3, "end") == 0) continue;
    size_t Begin = At;
    for (int Number = 0; Number < 2 && Begin != std::string_view::npos; ++Number) {
      while (Begin > 0 && IsSpace(Data[Begin - 1])) --Begin;
      const size_t End = Begin;
      while (Begin > 0 && IsDigit(Data[Begin - 1])) --Begin;
      if (Begin == End) Begin = std::string_view::npos;
    }
    if (Begin != std::string_view::npos) return Begin;
  }
  return std::string_view::npos;
}

// The span of the first figure of the /Size array written in Text, which starts at Base; false
// when there is no such key or more than one.
bool FirstSizeDigits(std::string_view Text, size_t Base, size_t& At, size_t& Length) {
  int Found = 0;
  for (size_t Key = Text.find("/Size"); Key != std::string_view::npos; Key = Text.find("/Size", Key + 1)) {
    size_t Start = Key + 5;
    while (Start < Text.size() && IsSpace(Text[Start])) ++Start;
    if (Start >= Text.size() || Text[Start] != '[') continue;
    ++Start;
    while (Start < Text.size() && IsSpace(Text[Start])) ++Start;
    size_t End = Start;
    while (End < Text.size() && IsDigit(Text[End])) ++End;
    if (End == Start) continue;
    ++Found;
    At = Base + Start;
    Length = End - Start;
  }
  return Found == 1;
}

}  // namespace

std::string BoundedSampledFunctions(std::string_view Data) {
  if (Data.empty() || Data.size() > static_cast<size_t>(LLONG_MAX)) return {};
  setErrorCallback(Collect);
  // The data of an encrypted document's streams cannot be read here: only the outright bound holds.
  const bool Encrypted = Data.find("/Encrypt") != std::string_view::npos;
  std::vector<Figure> Zeros;
  MemStream Whole(const_cast<char*>(Data.data()), 0, static_cast<Goffset>(Data.size()), Object(objNull));
  // Each stretch of the file is looked back over once: a sampled function's key with no object
  // begun since the one before lies in the same object as that one.
  size_t Looked = 0, Start = std::string_view::npos, Evaluated = std::string_view::npos;
  for (size_t Hit = Data.find("/FunctionType"); Hit != std::string_view::npos; Hit = Data.find("/FunctionType", Hit + 1)) {
    if (NumberAt(Data, Hit + 13) != 0) continue;
    const size_t Begun = ObjectStart(Data, Looked, Hit);
    Looked = Hit;
    if (Begun != std::string_view::npos) Start = Begun;
    if (Start == std::string_view::npos || Start == Evaluated) continue;
    Evaluated = Start;
    Parser Reader(nullptr, Whole.makeSubStream(static_cast<Goffset>(Start), false, 0, Object(objNull)), true);
    if (!Reader.getObj(true).isInt() || !Reader.getObj(true).isInt() || !Reader.getObj(true).isCmd("obj")) continue;
    Object Function = Reader.getObj();
    if (!Function.isStream()) continue;
    Dict* Entries = Function.streamGetDict();
    const Object Type = Entries->lookupNF("FunctionType").copy();
    const Object Sizes = Entries->lookupNF("Size").copy();
    const Object Bits = Entries->lookupNF("BitsPerSample").copy();
    const Object Range = Entries->lookupNF("Range").copy();
    if (!Type.isInt() || Type.getInt() != 0 || !Sizes.isArray() || !Bits.isInt() || !Range.isArray()) continue;
    // poppler holds every output of every point of the grid.
    double Samples = Range.arrayGetLength() / 2;
    for (int I = 0; I < Sizes.arrayGetLength(); ++I) {
      const Object Each = Sizes.arrayGet(I);
      Samples *= Each.isInt() ? std::max(Each.getInt(), 0) : 0;
    }
    if (Samples <= CheckedSamples) continue;
    if (Samples <= MaxSamples) {
      if (Encrypted || Bits.getInt() <= 0 || Bits.getInt() > 32) continue;
      const double Bytes = std::ceil(Samples * Bits.getInt() / 8);
      if (HoldsBytes(Function.getStream(), static_cast<unsigned long long>(Bytes))) continue;
    }
    const Goffset DataStart = Function.getStream()->getBaseStream()->getStart();
    size_t At = 0, Length = 0;
    if (DataStart > static_cast<Goffset>(Start) && DataStart <= static_cast<Goffset>(Data.size()) &&
        FirstSizeDigits(Data.substr(Start, static_cast<size_t>(DataStart) - Start), Start, At, Length)) {
      Zeros.push_back({At, Length, 0});
    }
  }
  return WithFigures(Data, Zeros);
}

bool ReadableCharacter(char32_t Code) { return Code > 0x20 && !(Code >= 0x7F && Code <= 0xA0) && Code != 0xFFFD; }

PopplerLoss ClassifyPopplerMessage(bool Error, std::string_view Message) {
  const auto Has = [Message](std::string_view Part) { return Message.find(Part) != std::string_view::npos; };
  const auto Starts = [Message](std::string_view Part) { return Message.substr(0, Part.size()) == Part; };
  // Contents that are not a stream, or an array holding something else: poppler draws none of
  // them. (A page's contents of the wrong type are told when poppler first reads the page, which
  // may be while it looks for another, so they are not taken for the page at hand.)
  if (Starts("Weird page contents")) return PopplerLoss::Content;
  if (!Error) return PopplerLoss::None;
  // A function poppler refuses (sampled functions that claim too much are refused on purpose):
  // the shading or colour that needs it is left out.
  if (Has("in function size array") || Starts("Function has ") || Starts("Function invalid BitsPerSample")) {
    return PopplerLoss::Content;
  }
  if (Starts("Could not find start of jpeg data") || Starts("Did no succeed opening JPX Stream.")) {
    return PopplerLoss::Picture;
  }
  // Codes a fax picture cannot hold; the end-of-page code alone goes wrong in many a good file.
  if ((Has("in CCITTFax stream") && !Has("RTC code")) || Starts("CCITTFax row is wrong length") ||
      Starts("Invalid CCITTFax code")) {
    return PopplerLoss::Picture;
  }
  // Bytes left over after a segment, segments of kinds poppler skips and a missing end of MMR data
  // cost the picture nothing.
  if (Has("JBIG2") && !Has("extraneous byte") && !Starts("Unknown segment type") && !Starts("Missing EOFB")) {
    return PopplerLoss::Picture;
  }
  return PopplerLoss::None;
}

DamageWatch::DamageWatch() {
  setErrorCallback(Collect);
  Watching = &Seen_;
}

DamageWatch::~DamageWatch() { Watching = nullptr; }

struct CoreDocument::Handles {
  GlobalParamsIniter Params{Collect};
  std::unique_ptr<PDFDoc> Doc;
  mutable std::optional<DocumentStructure> Tree;
  // The page whose words were read last, and the longest string it shows.
  mutable int ReadPage = -1;
  mutable size_t ReadLongest = 0;
};

CoreDocument::CoreDocument(std::string_view Data) : Doc_(std::make_unique<Handles>()) {
  setErrorCallback(Collect);
  if (Data.size() > static_cast<size_t>(LLONG_MAX)) return;
  Object NoDictionary;
  auto* Stream = new MemStream(const_cast<char*>(Data.data()), 0, static_cast<Goffset>(Data.size()), std::move(NoDictionary));
  Doc_->Doc = std::make_unique<PDFDoc>(Stream);
}

std::string CoreDocument::WithFormTextCut() const {
  if (!Ok() || Doc_->Doc->getCatalog() == nullptr) return {};
  XRef* Xref = Doc_->Doc->getXRef();
  const Object AcroForm = Doc_->Doc->getCatalog()->getAcroForm()->fetch(Xref);
  if (!AcroForm.isDict()) return {};
  const Object Fields = AcroForm.dictLookup("Fields");
  if (!Fields.isArray()) return {};
  std::set<Ref> Seen;
  int Looked = 0;
  std::vector<std::pair<Ref, Object>> Cuts;
  for (int I = 0; I < Fields.arrayGetLength(); ++I) CutFieldValues(Xref, Fields.arrayGetNF(I), 0, Seen, Looked, Cuts);
  if (Cuts.empty()) return {};
  // Every entry read first: in a damaged file, reading one the table lacks can make poppler
  // rebuild the whole table, which would drop the objects set before.
  for (int I = 0; I < Xref->getNumObjects(); ++I) Xref->getEntry(I, false);
  for (const auto& [Where, Cut] : Cuts) Xref->setModifiedObject(&Cut, Where);
  std::string Out;
  StringOutput Output(Out);
  Doc_->Doc->saveAs(&Output, writeForceIncremental);
  return Out;
}

CoreDocument::~CoreDocument() = default;

bool CoreDocument::Ok() const { return Doc_->Doc != nullptr && Doc_->Doc->isOk(); }

std::string CoreDocument::InfoText(const char* Key) const {
  if (!Ok()) return {};
  const Object Info = Doc_->Doc->getDocInfo();
  if (!Info.isDict()) return {};
  bool Cut = false;
  const std::string Text = TextOf(Info.dictLookup(Key), MaxLabelTextBytes, &Cut);
  return Cut ? CutText(Text + "\u2026", MaxLabelTextBytes) : Text;
}

int CoreDocument::PageCount() const {
  if (!Ok() || Doc_->Doc->getCatalog() == nullptr) return 0;
  return Doc_->Doc->getCatalog()->getNumPages();
}

std::vector<PlacedWord> CoreDocument::Words(int Index, std::vector<MarkedArea>* Areas, PageWork* Work) const {
  std::vector<PlacedWord> Words;
  if (Work != nullptr) *Work = PageWork{};
  if (!Ok() || Index < 0 || Index >= Doc_->Doc->getNumPages()) return Words;
  MarkedTextOutput Output(Doc_->Doc.get(), Areas);
  // Read through the document's own cross-reference table (no copy): the worker reads on one
  // thread, and a copy a page would cost a pass over every entry and parse its object streams anew.
  Doc_->Doc->displayPageSlice(&Output, Index + 1, 72, 72, 0, false, false, false, -1, -1, -1, -1, MarkedTextOutput::Stop,
                              &Output, nullptr, nullptr, false);
  if (Work != nullptr) *Work = Output.Work();
  Doc_->ReadPage = Index;
  Doc_->ReadLongest = Output.Longest();
  const std::unique_ptr<TextWordList> List(Output.makeWordList());
  if (List == nullptr) return Words;
  for (int I = 0; I < List->getLength(); ++I) {
    const TextWord* Each = List->get(I);
    PlacedWord Word;
    for (int C = 0; C < Each->getLength(); ++C) Word.Text += static_cast<char32_t>(*Each->getChar(C));
    for (int C = 0; C < Each->getLength(); ++C) {
      double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
      Each->getCharBBox(C, &X1, &Y1, &X2, &Y2);
      // A glyph past the word's last box (a ligature spelled with two letters) keeps that box.
      if (X2 - X1 == 0 && Y2 - Y1 == 0) break;
      Word.CharBoxes.push_back({X1, Y1, X2, Y2});
    }
    if (Word.CharBoxes.empty()) {
      double X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
      Each->getBBox(&X1, &Y1, &X2, &Y2);
      Word.CharBoxes.push_back({X1, Y1, X2, Y2});
    }
    Word.Rotation = Each->getRotation() & 3;
    Word.SpaceAfter = Each->hasSpaceAfter();
    Output.MarkOf(Each->getCharPos(), Word.Mcid, Word.Artifact);
    Words.push_back(std::move(Word));
  }
  return Words;
}

size_t CoreDocument::LongestString(int Index) const {
  if (Doc_->ReadPage != Index) Words(Index);
  return Doc_->ReadPage == Index ? Doc_->ReadLongest : 0;
}

PageDamage CoreDocument::CheckPage(int Index, bool CountGlyphs, size_t& GlyphsWithoutText) const {
  GlyphsWithoutText = 0;
  if (!Ok() || Index < 0 || Index >= Doc_->Doc->getNumPages()) return {};
  Page* Checked = Doc_->Doc->getPage(Index + 1);
  if (Checked == nullptr) return {};
  int Looked = 0;
  std::set<Ref> Seen;
  // A page reads its content once more for the check only when there is something to look for.
  if (!CountGlyphs && !HoldsPictures(Checked->getResourceDict(), 0, Looked, Seen)) return {};
  DamageCheck Check(CountGlyphs);
  Doc_->Doc->displayPageSlice(&Check, Index + 1, 72, 72, 0, false, true, false, -1, -1, -1, -1, DamageCheck::OutOfTime,
                              &Check, nullptr, nullptr, false);
  GlyphsWithoutText = Check.GlyphsWithoutText;
  return Check.Damage;
}

bool CoreDocument::Tagged() const { return !Structure().Empty(); }

const DocumentStructure& CoreDocument::Structure() const {
  if (!Doc_->Tree.has_value()) {
    DocumentStructure Tree;
    if (Ok()) {
      TreeReader Reader(*Doc_->Doc, Tree);
      if (!Reader.Read()) Tree = DocumentStructure{};
    }
    Doc_->Tree = std::move(Tree);
  }
  return *Doc_->Tree;
}

std::string CoreDocument::Language() const {
  if (!Ok()) return {};
  const Object Catalog = Doc_->Doc->getXRef()->getCatalog();
  if (Catalog.isDict()) {
    const std::string Stated = TextOf(Catalog.dictLookup("Lang"), 64);
    if (!Stated.empty()) return Stated;
  }
  const std::unique_ptr<GooString> Xmp = Doc_->Doc->getCatalog()->readMetadata();
  return Xmp == nullptr ? std::string() : XmpEntry(Xmp->toStr().substr(0, 1u << 20), "dc:language");
}

double CoreDocument::ShownTop(int Index, double Top) const {
  if (!Ok() || Index < 0 || Index >= Doc_->Doc->getNumPages() || !std::isfinite(Top)) return -1;
  Page* Shown = Doc_->Doc->getPage(Index + 1);
  if (Shown == nullptr) return -1;
  const PDFRectangle* Crop = Shown->getCropBox();
  const int Rotation = Shown->getRotate();
  const double Out = Rotation == 0 ? Crop->y2 - Top : Rotation == 180 ? Top - Crop->y1 : -1;
  return Out >= 0 && Out <= Crop->y2 - Crop->y1 ? Out : -1;
}

std::string CoreDocument::XmpTitle() const {
  if (!Ok()) return {};
  const std::unique_ptr<GooString> Xmp = Doc_->Doc->getCatalog()->readMetadata();
  return Xmp == nullptr ? std::string() : XmpEntry(Xmp->toStr().substr(0, 1u << 20), "dc:title");
}

}  // namespace Engine
