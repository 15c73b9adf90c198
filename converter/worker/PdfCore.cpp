// What the worker reads through poppler's core classes: a page's words with their marked content,
// the structure tree and the document's language. The one file that includes those classes.
#include "worker/PdfCore.h"

#include "base/Text.h"
#include "base/Utf8.h"

#include <poppler/Catalog.h>
#include <poppler/GfxState.h>
#include <poppler/GlobalParams.h>
#include <poppler/OutputDev.h>
#include <poppler/PDFDoc.h>
#include <poppler/Page.h>
#include <poppler/Stream.h>
#include <poppler/TextOutputDev.h>
#include <poppler/UTF.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>

namespace Engine {

namespace {

// A tree beyond these is damage or an attack, not a document: its structure is left out.
constexpr size_t MaxNodes = 200000;
constexpr int MaxDepth = 64;
constexpr size_t MaxKids = 100000;
// Texts taken from the tree are cut to these many bytes.
constexpr size_t MaxTextBytes = 4096;
constexpr size_t MaxIdBytes = 128;
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

// A PDF text string (PDFDocEncoding, or UTF-16 with its byte order mark) as clean UTF-8, cut.
std::string TextOf(const Object& Value, size_t Limit = MaxTextBytes) {
  if (!Value.isString()) return {};
  const GooString* Raw = Value.getString();
  Unicode* Chars = nullptr;
  const int Length = TextStringToUCS4(Raw->toStr(), &Chars);
  std::string Out;
  for (int I = 0; I < Length && Out.size() < Limit; ++I) AppendUtf8(Out, Chars[I]);
  gfree(Chars);
  return CleanUtf8(Out);
}

// A text output that notes, for every character it is shown, the marked content it stands in,
// and where pictures and shapes are drawn in marked content.
class MarkedTextOutput : public TextOutputDev {
 public:
  explicit MarkedTextOutput(std::vector<MarkedArea>* Areas)
      : TextOutputDev(nullptr, false, 0, false, false), Areas_(Areas) {}

  // Pictures and shapes are drawn for this output only where their places are wanted.
  bool needNonText() override { return Areas_ != nullptr; }

  void beginMarkedContent(const char* Name, Dict* Properties) override {
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
    if (!Stack_.empty()) Stack_.pop_back();
    TextOutputDev::endMarkedContent(State);
  }
  void drawChar(GfxState* State, double X, double Y, double Dx, double Dy, double OriginX, double OriginY, CharCode Code,
                int Bytes, const Unicode* U, int ULength) override {
    // Characters are numbered as the text layout numbers them: by the bytes of the shown strings.
    // The numbers only grow, so a change of marked content is noted where it happens.
    const Mark Current = Stack_.empty() ? Mark{} : Stack_.back();
    if (Marks_.empty() || !(Marks_.back().second == Current)) Marks_.emplace_back(Position_, Current);
    Position_ += Bytes;
    TextOutputDev::drawChar(State, X, Y, Dx, Dy, OriginX, OriginY, Code, Bytes, U, ULength);
  }
  void incCharCount(int Chars) override {
    Position_ += Chars;
    TextOutputDev::incCharCount(Chars);
  }
  void fill(GfxState* State) override {
    NotePath(State);
    TextOutputDev::fill(State);
  }
  void eoFill(GfxState* State) override {
    NotePath(State);
    TextOutputDev::eoFill(State);
  }
  void stroke(GfxState* State) override {
    NotePath(State);
    TextOutputDev::stroke(State);
  }
  void drawImage(GfxState* State, Object* Ref, Stream* Str, int Width, int Height, GfxImageColorMap* Map, bool Interpolate,
                 const int* MaskColors, bool Inline) override {
    NotePicture(State);
    TextOutputDev::drawImage(State, Ref, Str, Width, Height, Map, Interpolate, MaskColors, Inline);
  }
  void drawImageMask(GfxState* State, Object* Ref, Stream* Str, int Width, int Height, bool Invert, bool Interpolate,
                     bool Inline) override {
    NotePicture(State);
    TextOutputDev::drawImageMask(State, Ref, Str, Width, Height, Invert, Interpolate, Inline);
  }
  void drawMaskedImage(GfxState* State, Object* Ref, Stream* Str, int Width, int Height, GfxImageColorMap* Map,
                       bool Interpolate, Stream* MaskStr, int MaskWidth, int MaskHeight, bool MaskInvert,
                       bool MaskInterpolate) override {
    NotePicture(State);
    TextOutputDev::drawMaskedImage(State, Ref, Str, Width, Height, Map, Interpolate, MaskStr, MaskWidth, MaskHeight,
                                   MaskInvert, MaskInterpolate);
  }
  void drawSoftMaskedImage(GfxState* State, Object* Ref, Stream* Str, int Width, int Height, GfxImageColorMap* Map,
                           bool Interpolate, Stream* MaskStr, int MaskWidth, int MaskHeight, GfxImageColorMap* MaskMap,
                           bool MaskInterpolate) override {
    NotePicture(State);
    TextOutputDev::drawSoftMaskedImage(State, Ref, Str, Width, Height, Map, Interpolate, MaskStr, MaskWidth, MaskHeight,
                                       MaskMap, MaskInterpolate);
  }

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

  void Note(const Extent& Area) {
    if (Areas_ == nullptr || Area.Empty || Stack_.empty() || Stack_.back().Mcid < 0 || Areas_->size() >= MaxAreas) return;
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

  std::vector<MarkedArea>* Areas_;
  std::vector<Mark> Stack_;
  std::vector<std::pair<int, Mark>> Marks_;  // from which character on a mark holds
  int Position_ = 0;
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

bool ReadableCharacter(char32_t Code) { return Code > 0x20 && !(Code >= 0x7F && Code <= 0xA0) && Code != 0xFFFD; }

PopplerLoss ClassifyPopplerMessage(bool Error, std::string_view Message) {
  const auto Has = [Message](std::string_view Part) { return Message.find(Part) != std::string_view::npos; };
  const auto Starts = [Message](std::string_view Part) { return Message.substr(0, Part.size()) == Part; };
  // Contents that are not a stream, or an array holding something else: poppler draws none of
  // them. (A page's contents of the wrong type are told when poppler first reads the page, which
  // may be while it looks for another, so they are not taken for the page at hand.)
  if (Starts("Weird page contents")) return PopplerLoss::Content;
  if (!Error) return PopplerLoss::None;
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
};

CoreDocument::CoreDocument(std::string_view Data) : Doc_(std::make_unique<Handles>()) {
  setErrorCallback(Collect);
  if (Data.size() > static_cast<size_t>(LLONG_MAX)) return;
  Object NoDictionary;
  auto* Stream = new MemStream(const_cast<char*>(Data.data()), 0, static_cast<Goffset>(Data.size()), std::move(NoDictionary));
  Doc_->Doc = std::make_unique<PDFDoc>(Stream);
}

CoreDocument::~CoreDocument() = default;

bool CoreDocument::Ok() const { return Doc_->Doc != nullptr && Doc_->Doc->isOk(); }

std::vector<PlacedWord> CoreDocument::Words(int Index, std::vector<MarkedArea>* Areas) const {
  std::vector<PlacedWord> Words;
  if (!Ok() || Index < 0 || Index >= Doc_->Doc->getNumPages()) return Words;
  MarkedTextOutput Output(Areas);
  Doc_->Doc->displayPageSlice(&Output, Index + 1, 72, 72, 0, false, false, false, -1, -1, -1, -1, nullptr, nullptr,
                              nullptr, nullptr, true);
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
                              &Check, nullptr, nullptr, true);
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
