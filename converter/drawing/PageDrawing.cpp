// Page drawing: poppler renders through cairo's SVG surface, which keeps every glyph and curve as vector.
#include "drawing/PageDrawing.h"

#include "base/Text.h"
#include "html/Document.h"
#include "fonts/PageFont.h"
#include "base/SvgPath.h"

#include <cairo-svg.h>
#include <cairo-tee.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <unordered_map>

namespace Engine {

namespace {

cairo_status_t AppendToString(void* Closure, const unsigned char* Data, unsigned int Length) {
  static_cast<std::string*>(Closure)->append(reinterpret_cast<const char*>(Data), Length);
  return CAIRO_STATUS_SUCCESS;
}

// Where cairo's SVG goes. The rewrites shrink it some fourfold; SVG far past the page budget is
// not worth them, and is not kept.
constexpr size_t CairoBytesLimit = 8 * PageBytesBudget;
struct SvgSink {
  std::string Svg;
  cairo_surface_t* Surface = nullptr;
  uint64_t Operations = 0;
  bool Overflow = false;
};

cairo_status_t AppendToSink(void* Closure, const unsigned char* Data, unsigned int Length) {
  auto* Sink = static_cast<SvgSink*>(Closure);
  if (Sink->Overflow || Sink->Svg.size() + Length > CairoBytesLimit) {
    Sink->Overflow = true;
    Sink->Svg = std::string();
    return CAIRO_STATUS_SUCCESS;
  }
  Sink->Svg.append(reinterpret_cast<const char*>(Data), Length);
  return CAIRO_STATUS_SUCCESS;
}

// Past this many drawing operations (fills, strokes, glyph runs, paints, masks) a page is drawn as
// a picture. The busiest page of the pgf manual sends cairo 5,348; a page of a million tiny shapes
// held 1.3 GB in cairo and took 10 s before its SVG could even be measured.
constexpr uint64_t OperationLimit = 100000;

void CountOperation(cairo_surface_t*, cairo_surface_t*, void* Closure) {
  auto* Sink = static_cast<SvgSink*>(Closure);
  // A finished surface refuses everything after, so poppler runs through the rest of the page
  // drawing nothing.
  if (++Sink->Operations == OperationLimit) {
    Sink->Overflow = true;
    cairo_surface_finish(Sink->Surface);
  }
}

bool IsDigit(char C) { return C >= '0' && C <= '9'; }
bool IsNameChar(char C) {
  return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || IsDigit(C) || C == '_' || C == '#' || C == '-';
}

// Two decimals for coordinates (a hundredth of a point is far below a pixel at any useful zoom),
// more for small values such as the factors of a picture's matrix, which keep four digits.
std::string ShortenNumber(std::string_view Number) {
  const size_t Dot = Number.find('.');
  if (Dot == std::string_view::npos) return std::string(Number);
  size_t IntegerDigits = 0;
  for (size_t I = 0; I < Dot; ++I) {
    if (IsDigit(Number[I]) && !(IntegerDigits == 0 && Number[I] == '0')) ++IntegerDigits;
  }
  size_t Decimals = 0;
  if (IntegerDigits >= 2) {
    Decimals = 2;
  } else if (IntegerDigits == 1) {
    Decimals = 3;
  } else {
    size_t Zeros = 0;
    for (size_t I = Dot + 1; I < Number.size() && Number[I] == '0'; ++I) ++Zeros;
    Decimals = Zeros + 4;
  }
  if (Number.size() - Dot - 1 <= Decimals) return std::string(Number);
  return FormatNumber(std::strtod(std::string(Number).c_str(), nullptr), static_cast<int>(Decimals));
}

// A count of hundredths as the shortest decimal: 289 -> "2.89", -50 -> "-.5", 0 -> "0".
std::string Hundredths(long long Value) {
  std::string Out = Value < 0 ? "-" : "";
  const unsigned long long Magnitude = Value < 0 ? static_cast<unsigned long long>(-Value) : static_cast<unsigned long long>(Value);
  const unsigned long long Whole = Magnitude / 100;
  const unsigned long long Fraction = Magnitude % 100;
  if (Whole > 0 || Fraction == 0) Out += std::to_string(Whole);
  if (Fraction > 0) {
    Out += '.';
    Out += static_cast<char>('0' + Fraction / 10);
    if (Fraction % 10 != 0) Out += static_cast<char>('0' + Fraction % 10);
  }
  return Out;
}

// Whether a tag's transform only moves, or mirrors, what it draws: its numbers are points then,
// and go on the same grid as the page's (cairo draws TikZ pictures mirrored this way).
bool MovedOrMirrored(std::string_view Tag) {
  std::string_view Transform;
  if (!AttributeValue(Tag, "transform", Transform)) return false;
  for (const std::string_view Unit : {"matrix(1,0,0,1,", "matrix(1,0,0,-1,", "matrix(-1,0,0,1,", "matrix(-1,0,0,-1,"}) {
    if (Transform.substr(0, Unit.size()) == Unit) return true;
  }
  return false;
}

// Rewrites cairo's absolute path data (M, L, C, Z) as relative commands on a grid of hundredths.
// Rounding the absolute points first keeps the error from adding up along the path.
// Returns false for anything it does not know, and the caller keeps the data as it was.
bool RelativePath(std::string_view Data, std::string& Out) {
  Out.clear();
  long long CurrentX = 0, CurrentY = 0, StartX = 0, StartY = 0;
  char LastCommand = 0;
  const auto Emit = [&](char Command, std::initializer_list<long long> Values) {
    if (Command != LastCommand || Command == 'm') Out += Command;
    bool First = true;
    for (const long long Value : Values) {
      const std::string Number = Hundredths(Value);
      // A sign separates numbers by itself; a command letter does too.
      if (!(First && (Command != LastCommand || Command == 'm')) && Number[0] != '-') Out += ' ';
      Out += Number;
      First = false;
    }
    LastCommand = Command;
  };
  const auto Units = [](double Value) { return std::llround(Value * 100); };
  // A move that nothing draws from (cairo ends each closed path with a move to its start) goes.
  size_t MoveAt = std::string::npos;
  long long BeforeMoveX = 0, BeforeMoveY = 0;
  const bool Read = ForEachPathCommand(Data, 1e12, [&](const PathCommand& Command) {
    const long long X = Units(Command.Points[0].X), Y = Units(Command.Points[0].Y);
    if (Command.Letter == 'M') {
      if (MoveAt != std::string::npos) {
        Out.erase(MoveAt);
        CurrentX = BeforeMoveX;
        CurrentY = BeforeMoveY;
      }
      MoveAt = Out.size();
      BeforeMoveX = CurrentX;
      BeforeMoveY = CurrentY;
      Emit('m', {X - CurrentX, Y - CurrentY});
      StartX = CurrentX = X;
      StartY = CurrentY = Y;
      return true;
    }
    MoveAt = std::string::npos;
    if (Command.Letter == 'L') {
      const long long Dx = X - CurrentX, Dy = Y - CurrentY;
      if (Dy == 0) {
        Emit('h', {Dx});
      } else if (Dx == 0) {
        Emit('v', {Dy});
      } else {
        Emit('l', {Dx, Dy});
      }
      CurrentX = X;
      CurrentY = Y;
    } else if (Command.Letter == 'C') {
      const long long X2 = Units(Command.Points[1].X), Y2 = Units(Command.Points[1].Y);
      const long long X3 = Units(Command.Points[2].X), Y3 = Units(Command.Points[2].Y);
      Emit('c', {X - CurrentX, Y - CurrentY, X2 - CurrentX, Y2 - CurrentY, X3 - CurrentX, Y3 - CurrentY});
      CurrentX = X3;
      CurrentY = Y3;
    } else {
      Out += 'z';
      LastCommand = 'z';
      CurrentX = StartX;
      CurrentY = StartY;
    }
    return true;
  });
  if (Read && MoveAt != std::string::npos) Out.erase(MoveAt);
  return Read;
}

// "rgb(100%,50.196078%,0%)" as "#ff8000"; false when Text is not such a colour.
bool HexColour(std::string_view Text, size_t& Length, std::string& Out) {
  if (Text.compare(0, 4, "rgb(") != 0) return false;
  const size_t Close = Text.find(')');
  if (Close == std::string_view::npos || Close > 40) return false;
  const std::string Inside(Text.substr(4, Close - 4));
  const char* Cursor = Inside.c_str();
  static const char Digits[] = "0123456789abcdef";
  Out = "#";
  for (int Channel = 0; Channel < 3; ++Channel) {
    char* End = nullptr;
    const double Percent = std::strtod(Cursor, &End);
    if (End == Cursor || *End != '%' || Percent < 0 || Percent > 100) return false;
    const long Value = std::lround(Percent * 2.55);
    Out += Digits[Value / 16];
    Out += Digits[Value % 16];
    Cursor = End + 1;
    if (Channel < 2) {
      if (*Cursor != ',') return false;
      ++Cursor;
    }
  }
  if (*Cursor != '\0') return false;
  // "#aabbcc" has the short form "#abc".
  if (Out[1] == Out[2] && Out[3] == Out[4] && Out[5] == Out[6]) Out = {'#', Out[1], Out[3], Out[5]};
  Length = Close + 1;
  return true;
}

// The four numbers a, b, c, d of the "matrix(" that starts at Text; false when they are not there.
bool ReadMatrix(std::string_view Text, double (&M)[4]) {
  const std::string Numbers(Text.substr(0, std::min<size_t>(160, Text.size())));
  const char* Cursor = Numbers.c_str();
  for (double& Value : M) {
    char* End = nullptr;
    Value = std::strtod(Cursor, &End);
    if (End == Cursor || !std::isfinite(Value)) return false;
    Cursor = End;
    while (*Cursor == ',' || *Cursor == ' ') ++Cursor;
  }
  return true;
}

// The value of attribute Name (given with its '=' and quote, as ` width="`) inside Tag.
std::string_view Attribute(std::string_view Tag, std::string_view Name) {
  const size_t At = Tag.find(Name);
  if (At == std::string_view::npos) return {};
  const size_t Begin = At + Name.size();
  const size_t End = Tag.find('"', Begin);
  return End == std::string_view::npos ? std::string_view() : Tag.substr(Begin, End - Begin);
}

int Base64Value(char C) {
  if (C >= 'A' && C <= 'Z') return C - 'A';
  if (C >= 'a' && C <= 'z') return C - 'a' + 26;
  if (IsDigit(C)) return C - '0' + 52;
  if (C == '+') return 62;
  if (C == '/') return 63;
  return -1;
}

bool FromBase64(std::string_view Text, std::string& Out) {
  Out.clear();
  Out.reserve(Text.size() / 4 * 3);
  uint32_t Bits = 0;
  int Count = 0;
  for (const char C : Text) {
    if (C == '=') break;
    const int Value = Base64Value(C);
    if (Value < 0) return false;
    Bits = (Bits << 6) | static_cast<uint32_t>(Value);
    Count += 6;
    if (Count >= 8) {
      Count -= 8;
      Out += static_cast<char>((Bits >> Count) & 0xff);
    }
  }
  return true;
}

struct PngInput {
  std::string_view Data;
  size_t Pos = 0;
  // The next Length bytes into Out; false when the data ends first.
  bool Take(unsigned char* Out, size_t Length) {
    if (Length > Data.size() - Pos) return false;
    std::memcpy(Out, Data.data() + Pos, Length);
    Pos += Length;
    return true;
  }
};

void ReadPngBytes(png_structp Png, png_bytep Out, png_size_t Length) {
  if (!static_cast<PngInput*>(png_get_io_ptr(Png))->Take(Out, Length)) png_error(Png, "truncated");
}

// The same, for cairo's PNG reader.
cairo_status_t ReadPngStream(void* Closure, unsigned char* Out, unsigned int Length) {
  return static_cast<PngInput*>(Closure)->Take(Out, Length) ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_READ_ERROR;
}

void IgnorePngWarning(png_structp, png_const_charp) {}
// A picture that cannot be read stays as it was; nothing to say on standard error.
void QuietPngError(png_structp Png, png_const_charp) { png_longjmp(Png, 1); }

// Where one source pixel (row or column) falls among the stored ones: into First, in the share
// Share of its width, and the rest into First + 1. Source pixel I covers [I * Stored, (I + 1) *
// Stored) on a line where each stored pixel is Source long, so the arithmetic is exact.
struct Split {
  uint32_t First = 0;
  double Share = 1;
};

Split SplitOf(int64_t I, int64_t Source, int64_t Stored) {
  const int64_t Begin = I * Stored, End = Begin + Stored;
  const int64_t First = Begin / Source, Boundary = (First + 1) * Source;
  return {static_cast<uint32_t>(First), End <= Boundary ? 1.0 : double(Boundary - Begin) / double(Stored)};
}

// Per stored pixel: red, green and blue times alpha, alpha, and the weight they add up to.
constexpr int Sums = 5;

// A PNG being read with quiet errors. Readers keep it on the heap, so that libpng's longjmp
// leaves nothing behind.
struct PngReading {
  PngInput Input;
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  ~PngReading() {
    if (Png != nullptr) png_destroy_read_struct(&Png, Info != nullptr ? &Info : nullptr, nullptr);
  }
  // Prepares the reading of Data; false when libpng cannot. The reader sets its setjmp next.
  bool Open(std::string_view Data) {
    Input.Data = Data;
    Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, QuietPngError, IgnorePngWarning);
    if (Png == nullptr) return false;
    Info = png_create_info_struct(Png);
    if (Info == nullptr) return false;
    png_set_read_fn(Png, &Input, ReadPngBytes);
    return true;
  }
};

// What a shrinking holds.
struct ShrinkState : PngReading {
  cairo_surface_t* Surface = nullptr;
  std::vector<unsigned char> Row;
  std::vector<Split> Columns;
  std::vector<double> RowSums, Current, Next;  // one source row; the stored row being made, and the one after
  ~ShrinkState() {
    if (Surface != nullptr) cairo_surface_destroy(Surface);
  }
};

// Writes the sums of one stored row into row Y of the surface, as cairo's premultiplied pixels.
void FlushRow(ShrinkState& S, int64_t Y, bool Alpha) {
  auto* Pixels = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(S.Surface) + Y * cairo_image_surface_get_stride(S.Surface));
  const size_t Width = static_cast<size_t>(cairo_image_surface_get_width(S.Surface));
  for (size_t X = 0; X < Width; ++X) {
    const double* Sum = &S.Current[X * Sums];
    const double Weight = std::max(Sum[4], 1e-9);
    const auto Level = [&](double Value) { return static_cast<uint32_t>(std::clamp(Value / Weight + 0.5, 0.0, 255.0)); };
    Pixels[X] = ((Alpha ? Level(Sum[3]) : 255) << 24) | (Level(Sum[0] / 255) << 16) | (Level(Sum[1] / 255) << 8) | Level(Sum[2] / 255);
  }
}

// libjpeg reports errors by calling this, which must not return.
struct JpegError {
  jpeg_error_mgr Manager;
  std::jmp_buf Back;
};
void LeaveJpeg(j_common_ptr Info) { std::longjmp(reinterpret_cast<JpegError*>(Info->err)->Back, 1); }
void IgnoreJpegMessage(j_common_ptr, int) {}

// An opaque picture as JPEG at the given quality; empty when libjpeg fails.
std::string JpegOf(cairo_surface_t* Surface, int Quality) {
  const int Width = cairo_image_surface_get_width(Surface), Height = cairo_image_surface_get_height(Surface);
  const int Stride = cairo_image_surface_get_stride(Surface);
  const unsigned char* Data = cairo_image_surface_get_data(Surface);
  unsigned char* Buffer = nullptr;
  unsigned long Size = 0;
  std::string Out;
  // Everything the longjmp crosses lives in this frame's heap objects or is plain data.
  auto Info = std::make_unique<jpeg_compress_struct>();
  auto Error = std::make_unique<JpegError>();
  std::vector<unsigned char> Row(static_cast<size_t>(Width) * 3);
  Info->err = jpeg_std_error(&Error->Manager);
  Error->Manager.error_exit = LeaveJpeg;
  Error->Manager.emit_message = IgnoreJpegMessage;
  if (setjmp(Error->Back)) {
    jpeg_destroy_compress(Info.get());
    std::free(Buffer);
    return {};
  }
  jpeg_create_compress(Info.get());
  jpeg_mem_dest(Info.get(), &Buffer, &Size);
  Info->image_width = static_cast<JDIMENSION>(Width);
  Info->image_height = static_cast<JDIMENSION>(Height);
  Info->input_components = 3;
  Info->in_color_space = JCS_RGB;
  jpeg_set_defaults(Info.get());
  jpeg_set_quality(Info.get(), Quality, TRUE);
  Info->optimize_coding = TRUE;
  // Progressive scans store the same pixels in some 6% fewer bytes.
  jpeg_simple_progression(Info.get());
  jpeg_start_compress(Info.get(), TRUE);
  for (int Y = 0; Y < Height; ++Y) {
    const auto* Pixels = reinterpret_cast<const uint32_t*>(Data + static_cast<ptrdiff_t>(Y) * Stride);
    for (int X = 0; X < Width; ++X) {
      Row[3 * X] = static_cast<unsigned char>(Pixels[X] >> 16);
      Row[3 * X + 1] = static_cast<unsigned char>(Pixels[X] >> 8);
      Row[3 * X + 2] = static_cast<unsigned char>(Pixels[X]);
    }
    JSAMPROW Rows[1] = {Row.data()};
    jpeg_write_scanlines(Info.get(), Rows, 1);
  }
  jpeg_finish_compress(Info.get());
  Out.assign(reinterpret_cast<const char*>(Buffer), Size);
  jpeg_destroy_compress(Info.get());
  std::free(Buffer);
  return Out;
}

// A photograph stored as PNG is several times its size as JPEG; a drawing, a diagram or a
// screenshot of flat colours is smaller as PNG. An opaque picture is stored as JPEG (quality 85)
// when that takes at most three fifths of its PNG: the screenshots of the Persian user guide
// went from 3.4 to 1.7 MB at quality 90, each within grey SSIM 0.989 of its PNG at the size
// stored; quality 85 took the whole guide from 3.05 to 2.60 MB, and its pages from 0.9421 to
// 0.9419 against poppler at 100% (0.9773 to 0.9768 at 200%).
constexpr int JpegQuality = 85;
constexpr double JpegShare = 0.6;

// Surface as PNG, or as JPEG where that pays; Mime says which.
bool EncodePicture(cairo_surface_t* Surface, std::string& Out, std::string_view& Mime) {
  Out.clear();
  if (cairo_surface_write_to_png_stream(Surface, AppendToString, &Out) != CAIRO_STATUS_SUCCESS) return false;
  Mime = "image/png";
  if (cairo_image_surface_get_format(Surface) == CAIRO_FORMAT_RGB24) {
    std::string Jpeg = JpegOf(Surface, JpegQuality);
    if (!Jpeg.empty() && static_cast<double>(Jpeg.size()) <= JpegShare * static_cast<double>(Out.size())) {
      Out = std::move(Jpeg);
      Mime = "image/jpeg";
    }
  }
  return true;
}

// Decodes the PNG in Data a row at a time and stores it at Width x Height, each stored pixel the
// average of the source area it covers, and writes the result as PNG into Out. Only one row of the
// original is ever held.
bool ShrinkPng(std::string_view Data, int64_t Width, int64_t Height, std::string& Out, std::string_view& Mime) {
  auto S = std::make_unique<ShrinkState>();
  if (!S->Open(Data)) return false;
  if (setjmp(png_jmpbuf(S->Png))) return false;
  png_read_info(S->Png, S->Info);
  const int64_t PictureWidth = png_get_image_width(S->Png, S->Info);
  const int64_t PictureHeight = png_get_image_height(S->Png, S->Info);
  if (png_get_interlace_type(S->Png, S->Info) != PNG_INTERLACE_NONE) return false;
  if (Width <= 0 || Height <= 0 || Width > PictureWidth || Height > PictureHeight) return false;
  // Pixels stay in the PNG's own channels: libpng's widening to RGBA cost more than the averaging.
  png_set_expand(S->Png);
  png_set_strip_16(S->Png);
  png_read_update_info(S->Png, S->Info);
  const int Channels = png_get_channels(S->Png, S->Info);
  const bool Alpha = Channels == 2 || Channels == 4;
  if (png_get_bit_depth(S->Png, S->Info) != 8 || png_get_rowbytes(S->Png, S->Info) != static_cast<size_t>(PictureWidth) * Channels) {
    return false;
  }

  S->Surface = cairo_image_surface_create(Alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, static_cast<int>(Width),
                                          static_cast<int>(Height));
  if (cairo_surface_status(S->Surface) != CAIRO_STATUS_SUCCESS) return false;
  cairo_surface_flush(S->Surface);
  S->Row.resize(static_cast<size_t>(PictureWidth) * Channels);
  S->Columns.resize(static_cast<size_t>(PictureWidth));
  for (int64_t X = 0; X < PictureWidth; ++X) S->Columns[X] = SplitOf(X, PictureWidth, Width);
  // One spare stored pixel at the end takes the zero shares of the last source pixel.
  const size_t Stored = static_cast<size_t>(Width + 1) * Sums;
  S->RowSums.assign(Stored, 0);
  S->Current.assign(Stored, 0);
  S->Next.assign(Stored, 0);
  const int Green = Channels >= 3 ? 1 : 0, Blue = Channels >= 3 ? 2 : 0;
  int64_t StoredY = 0;
  for (int64_t Y = 0; Y < PictureHeight; ++Y) {
    const Split Rows = SplitOf(Y, PictureHeight, Height);
    if (Rows.First != StoredY) {
      FlushRow(*S, StoredY, Alpha);
      std::swap(S->Current, S->Next);
      std::fill(S->Next.begin(), S->Next.end(), 0.0);
      StoredY = Rows.First;
    }
    png_read_row(S->Png, S->Row.data(), nullptr);
    std::fill(S->RowSums.begin(), S->RowSums.end(), 0.0);
    const unsigned char* Pixel = S->Row.data();
    for (int64_t X = 0; X < PictureWidth; ++X, Pixel += Channels) {
      const double A = Alpha ? Pixel[Channels - 1] : 255;
      const double Values[Sums] = {Pixel[0] * A, Pixel[Green] * A, Pixel[Blue] * A, A, 1};
      double* Sum = &S->RowSums[S->Columns[X].First * Sums];
      const double Share = S->Columns[X].Share;
      if (Share == 1) {
        for (int I = 0; I < Sums; ++I) Sum[I] += Values[I];
      } else {
        for (int I = 0; I < Sums; ++I) {
          Sum[I] += Values[I] * Share;
          Sum[Sums + I] += Values[I] * (1 - Share);
        }
      }
    }
    for (size_t I = 0; I < Stored; ++I) {
      S->Current[I] += S->RowSums[I] * Rows.Share;
      S->Next[I] += S->RowSums[I] * (1 - Rows.Share);
    }
  }
  FlushRow(*S, StoredY, Alpha);
  cairo_surface_mark_dirty(S->Surface);
  return EncodePicture(S->Surface, Out, Mime);
}

// Stores an opaque PNG picture that needs no shrinking as JPEG where that pays.
bool RecodePng(std::string_view Data, std::string& Out, std::string_view& Mime) {
  PngInput Input;
  Input.Data = Data;
  cairo_surface_t* Surface = cairo_image_surface_create_from_png_stream(ReadPngStream, &Input);
  const bool Read = cairo_surface_status(Surface) == CAIRO_STATUS_SUCCESS &&
                    cairo_image_surface_get_format(Surface) == CAIRO_FORMAT_RGB24;
  // The PNG to beat is the one at hand: no need to write it again.
  if (Read) Out = JpegOf(Surface, JpegQuality);
  cairo_surface_destroy(Surface);
  Mime = "image/jpeg";
  return Read && !Out.empty() && static_cast<double>(Out.size()) <= JpegShare * static_cast<double>(Data.size());
}

// Svg without the byte ranges in Ranges; a range that starts inside an earlier one went with it.
std::string Without(std::string_view Svg, std::vector<std::pair<size_t, size_t>> Ranges) {
  std::sort(Ranges.begin(), Ranges.end());
  std::string Out;
  Out.reserve(Svg.size());
  size_t Copied = 0;
  for (const auto& [Begin, End] : Ranges) {
    if (Begin < Copied) continue;
    Out.append(Svg.substr(Copied, Begin - Copied));
    Copied = End;
  }
  Out.append(Svg.substr(Copied));
  return Out;
}

// What a check of a picture's pixels holds.
struct PixelCheck : PngReading {
  std::vector<unsigned char> Row;
};

// Whether every pixel of the PNG in Data is white and opaque, read a row at a time, and adds its
// pixels to Counted; false for a picture it cannot read or that would take Counted past MaxPixels.
bool IsOpaqueWhitePng(std::string_view Data, double& Counted, double MaxPixels) {
  auto S = std::make_unique<PixelCheck>();
  if (!S->Open(Data)) return false;
  if (setjmp(png_jmpbuf(S->Png))) return false;
  png_read_info(S->Png, S->Info);
  const size_t Width = png_get_image_width(S->Png, S->Info), Height = png_get_image_height(S->Png, S->Info);
  Counted += static_cast<double>(Width) * static_cast<double>(Height);
  if (Width == 0 || Height == 0 || Counted > MaxPixels || png_get_interlace_type(S->Png, S->Info) != PNG_INTERLACE_NONE) {
    return false;
  }
  // Every kind of PNG as 8-bit channels, transparency as an alpha channel: white and opaque is 255 in each.
  png_set_expand(S->Png);
  png_set_strip_16(S->Png);
  png_read_update_info(S->Png, S->Info);
  const size_t RowBytes = png_get_rowbytes(S->Png, S->Info);
  if (png_get_bit_depth(S->Png, S->Info) != 8 || RowBytes != Width * png_get_channels(S->Png, S->Info)) return false;
  S->Row.resize(RowBytes);
  for (size_t Y = 0; Y < Height; ++Y) {
    png_read_row(S->Png, S->Row.data(), nullptr);
    for (const unsigned char Byte : S->Row) {
      if (Byte != 255) return false;
    }
  }
  return true;
}

// Reads a stop's offset, colour and opacity, in cairo's form or after CompactSvg.
bool ReadStop(std::string_view Tag, GradientStop& Stop) {
  const std::string Offset(Attribute(Tag, " offset=\""));
  char* End = nullptr;
  Stop.Offset = std::strtod(Offset.c_str(), &End);
  if (Offset.empty() || *End != '\0') return false;
  const std::string_view Style = Attribute(Tag, " style=\"");
  const size_t ColourAt = Style.find("stop-color:");
  if (ColourAt == std::string_view::npos) return false;
  std::string_view Colour = Style.substr(ColourAt + 11);
  Colour = Colour.substr(0, Colour.find(';'));
  size_t Length = 0;
  std::string Hex;
  if (Colour.compare(0, 4, "rgb(") == 0) {
    if (!HexColour(Colour, Length, Hex)) return false;
    // The percentages themselves, not the rounded hex form.
    const std::string Inside(Colour.substr(4));
    const char* Cursor = Inside.c_str();
    for (int I = 0; I < 3; ++I) {
      Stop.Channels[I] = std::strtod(Cursor, &End) / 100;
      Cursor = End + 2;
    }
  } else if (Colour.size() == 7 && Colour[0] == '#') {
    for (int I = 0; I < 3; ++I) Stop.Channels[I] = std::strtol(std::string(Colour.substr(1 + 2 * I, 2)).c_str(), nullptr, 16) / 255.0;
  } else if (Colour.size() == 4 && Colour[0] == '#') {
    for (int I = 0; I < 3; ++I) Stop.Channels[I] = std::strtol(std::string(2, Colour[1 + I]).c_str(), nullptr, 16) / 255.0;
  } else {
    return false;
  }
  Stop.Channels[3] = 1;
  const size_t OpacityAt = Style.find("stop-opacity:");
  if (OpacityAt != std::string_view::npos) {
    const std::string Opacity(Style.substr(OpacityAt + 13, Style.find(';', OpacityAt) - OpacityAt - 13));
    Stop.Channels[3] = std::strtod(Opacity.c_str(), &End);
    if (End == Opacity.c_str()) return false;
  }
  return true;
}

}  // namespace

double UnitsPerPoint(double Width, double Height) {
  constexpr double QuarterPoints = 4;
  const double Area = std::max(Width, 1.0) * std::max(Height, 1.0);
  if (!(Area * QuarterPoints * QuarterPoints > PagePixelBudget)) return QuarterPoints;
  return std::sqrt(PagePixelBudget / Area);
}

PixelSize StoredPictureSize(int64_t Width, int64_t Height, double ScaleX, double ScaleY) {
  constexpr double ScreenPixelsPerPoint = 96.0 / 72.0;
  double Wanted[2] = {Width * ScaleX * ScreenPixelsPerPoint * PictureZoomFactor,
                      Height * ScaleY * ScreenPixelsPerPoint * PictureZoomFactor};
  // A picture shown over a huge page stays within what a page may hold.
  if (Wanted[0] * Wanted[1] > PagePixelBudget) {
    const double Shrink = std::sqrt(PagePixelBudget / (Wanted[0] * Wanted[1]));
    Wanted[0] *= Shrink;
    Wanted[1] *= Shrink;
  }
  const auto Fit = [](int64_t Pixels, double Want) {
    if (!(Want < Pixels)) return Pixels;
    // The small allowance keeps a size that comes out whole from rounding up by one.
    return std::max<int64_t>(1, static_cast<int64_t>(std::ceil(Want - 1e-6)));
  };
  return {Fit(Width, Wanted[0]), Fit(Height, Wanted[1])};
}

std::vector<bool> StopsToKeep(const std::vector<GradientStop>& Stops, double Tolerance) {
  const size_t Count = Stops.size();
  std::vector<bool> Keep(Count, false);
  if (Count == 0) return Keep;
  Keep.front() = Keep.back() = true;
  constexpr double Infinity = std::numeric_limits<double>::infinity();
  size_t Anchor = 0;
  while (Anchor + 1 < Count) {
    const GradientStop& From = Stops[Anchor];
    // Slopes per channel that keep every stop passed over within Tolerance of the line.
    double Low[4] = {-Infinity, -Infinity, -Infinity, -Infinity};
    double High[4] = {Infinity, Infinity, Infinity, Infinity};
    size_t Reach = Anchor + 1;
    for (size_t J = Anchor + 1; J < Count; ++J) {
      // A stop before its predecessor makes an edge where the browser clamps it; both stay.
      if (Stops[J].Offset < Stops[J - 1].Offset) break;
      const double Dx = Stops[J].Offset - From.Offset;
      if (J > Anchor + 1 && Dx > 0) {
        bool OnLine = true;
        for (int C = 0; C < 4 && OnLine; ++C) {
          const double Slope = (Stops[J].Channels[C] - From.Channels[C]) / Dx;
          OnLine = Slope >= Low[C] && Slope <= High[C];
        }
        if (OnLine) Reach = J;
      }
      // Stop J is passed over only if the line to a later stop keeps it within Tolerance.
      bool Open = true;
      for (int C = 0; C < 4 && Open; ++C) {
        const double Difference = Stops[J].Channels[C] - From.Channels[C];
        if (Dx == 0) {
          Open = std::fabs(Difference) <= Tolerance;
        } else {
          Low[C] = std::max(Low[C], (Difference - Tolerance) / Dx);
          High[C] = std::min(High[C], (Difference + Tolerance) / Dx);
          Open = Low[C] <= High[C];
        }
      }
      if (!Open) break;
    }
    Keep[Reach] = true;
    Anchor = Reach;
  }
  return Keep;
}

std::string PruneGradientStops(std::string_view Svg) {
  constexpr double Tolerance = 1.0 / 255;
  std::string Out;
  Out.reserve(Svg.size());
  size_t Pos = 0;
  std::vector<GradientStop> Stops;
  std::vector<std::pair<size_t, size_t>> Places;
  for (size_t At = Svg.find("Gradient ", Pos); At != std::string_view::npos; At = Svg.find("Gradient ", At + 1)) {
    if (At < 7 || Svg[At - 7] != '<') continue;  // "<linearGradient " or "<radialGradient "
    const size_t Close = Svg.find("Gradient>", At);
    if (Close == std::string_view::npos) break;
    Stops.clear();
    Places.clear();
    bool Readable = true;
    for (size_t StopAt = Svg.find("<stop ", At); StopAt < Close; StopAt = Svg.find("<stop ", StopAt + 1)) {
      const size_t StopEnd = Svg.find('>', StopAt);
      GradientStop Stop;
      if (StopEnd == std::string_view::npos || !ReadStop(Svg.substr(StopAt, StopEnd - StopAt), Stop)) {
        Readable = false;
        break;
      }
      Stops.push_back(Stop);
      Places.push_back({StopAt, StopEnd + 1});
    }
    if (!Readable || Stops.size() < 3) continue;
    const std::vector<bool> Keep = StopsToKeep(Stops, Tolerance);
    Out.append(Svg.substr(Pos, Places.front().first - Pos));
    for (size_t I = 0; I < Stops.size(); ++I) {
      if (Keep[I]) Out.append(Svg.substr(Places[I].first, Places[I].second - Places[I].first));
    }
    Pos = Places.back().second;
    At = Close;
  }
  Out.append(Svg.substr(Pos));
  return Out;
}

std::string ShrinkPictures(std::string_view Svg) {
  // How large each picture is shown: the largest scale of a picture pixel over all its uses.
  struct Use {
    double ScaleX = 0, ScaleY = 0;
    bool Understood = true;
  };
  std::map<std::string, Use, std::less<>> Uses;
  const std::string_view Reference = "href=\"#image";
  for (size_t At = Svg.find(Reference); At != std::string_view::npos; At = Svg.find(Reference, At + 1)) {
    const size_t IdEnd = Svg.find('"', At + 7);
    if (IdEnd == std::string_view::npos) break;
    Use& Each = Uses[std::string(Svg.substr(At + 7, IdEnd - At - 7))];
    // Understood: a <use> with a matrix of its own outside a pattern, or a plain <use> that is the
    // first content of a pattern with a matrix. Every look back stays within a tag or two.
    const size_t TagStart = Svg.rfind('<', At);
    const size_t TagEnd = Svg.find('>', At);
    double M[4];
    bool Read = false;
    if (TagStart != std::string_view::npos && TagEnd != std::string_view::npos && Svg.compare(TagStart, 5, "<use ") == 0) {
      const std::string_view Tag = Svg.substr(TagStart, TagEnd - TagStart);
      size_t Before = TagStart;
      while (Before > 0 && (Svg[Before - 1] == '\n' || Svg[Before - 1] == ' ')) --Before;
      const size_t PatternAt = Before > 0 && Svg[Before - 1] == '>' ? Svg.rfind('<', Before - 1) : std::string_view::npos;
      const bool InPattern = PatternAt != std::string_view::npos && Svg.compare(PatternAt, 9, "<pattern ") == 0;
      const std::string_view Own = "transform=\"matrix(", OfPattern = "patternTransform=\"matrix(";
      if (InPattern && Tag.find("transform") == std::string_view::npos) {
        const std::string_view Pattern = Svg.substr(PatternAt, TagStart - PatternAt);
        const size_t MatrixAt = Pattern.find(OfPattern);
        Read = MatrixAt != std::string_view::npos && ReadMatrix(Pattern.substr(MatrixAt + OfPattern.size()), M);
      } else if (!InPattern && Tag.find(Own) != std::string_view::npos) {
        Read = ReadMatrix(Tag.substr(Tag.find(Own) + Own.size()), M);
      }
    }
    if (!Read) {
      Each.Understood = false;
      continue;
    }
    Each.ScaleX = std::max(Each.ScaleX, std::hypot(M[0], M[1]));
    Each.ScaleY = std::max(Each.ScaleY, std::hypot(M[2], M[3]));
  }

  std::string Out;
  size_t Pos = 0;
  std::string Png, Smaller;
  const std::string_view Data = "data:image/png;base64,";
  // Below this a picture is not worth a second look.
  constexpr size_t RecodeFrom = 8192;
  for (size_t At = Svg.find("<image "); At != std::string_view::npos; At = Svg.find("<image ", At + 1)) {
    const size_t TagEnd = Svg.find('>', At);
    if (TagEnd == std::string_view::npos) break;
    const std::string_view Tag = Svg.substr(At, TagEnd - At);
    const size_t DataAt = Tag.find(Data);
    if (DataAt == std::string_view::npos) continue;
    const size_t DataEnd = Tag.find('"', DataAt);
    if (DataEnd == std::string_view::npos) continue;
    const std::string_view Encoded = Tag.substr(DataAt + Data.size(), DataEnd - DataAt - Data.size());
    const int64_t Width = std::atoll(std::string(Attribute(Tag, " width=\"")).c_str());
    const int64_t Height = std::atoll(std::string(Attribute(Tag, " height=\"")).c_str());
    const auto Found = Uses.find(Attribute(Tag, " id=\""));
    const bool Followed = Found != Uses.end() && Found->second.Understood;
    const PixelSize Stored = Followed ? StoredPictureSize(Width, Height, Found->second.ScaleX, Found->second.ScaleY)
                                      : PixelSize{Width, Height};
    const bool Shrink = Stored.Width < Width || Stored.Height < Height;
    std::string_view Mime;
    if (Shrink) {
      if (!FromBase64(Encoded, Png) || !ShrinkPng(Png, Stored.Width, Stored.Height, Smaller, Mime)) continue;
    } else {
      // A picture kept at its size is decoded whole: only one within the page's pixel budget.
      if (Encoded.size() < RecodeFrom || Width <= 0 || Height <= 0 ||
          static_cast<double>(Width) * static_cast<double>(Height) > PagePixelBudget || !FromBase64(Encoded, Png) ||
          !RecodePng(Png, Smaller, Mime)) {
        continue;
      }
    }
    const std::string Replacement = Base64(Smaller);
    if (Replacement.size() >= Encoded.size()) continue;
    Out.append(Svg.substr(Pos, At + 6 - Pos));
    // The element keeps its width and height, so the fewer pixels stretch over the same place.
    if (Shrink) Out += " preserveAspectRatio=\"none\"";
    Out.append(Svg.substr(At + 6, DataAt + 5 - 6));  // up to "data:"
    Out.append(Mime);
    Out += ";base64,";
    Out += Replacement;
    Pos = At + DataEnd;
  }
  if (Pos == 0) return std::string(Svg);
  Out.append(Svg.substr(Pos));
  return Out;
}

std::string DropOpaqueMasks(std::string_view Svg) {
  const std::string_view MaskStart = "<mask id=\"";
  if (Svg.find(MaskStart) == std::string_view::npos) return std::string(Svg);
  // cairo's names and the tags around a mask are short: whatever runs on longer is left alone,
  // so that no search crosses the drawing once per mask.
  constexpr size_t Near = 1024;
  const auto Window = [&](size_t At) { return Svg.substr(std::min(At, Svg.size()), Near); };
  // Consumes Text from Rest, after spaces and line ends.
  const auto Skip = [](std::string_view& Rest, std::string_view Text) {
    const size_t At = std::min(Rest.find_first_not_of(" \n"), Rest.size());
    if (Rest.compare(At, Text.size(), Text) != 0) return false;
    Rest.remove_prefix(At + Text.size());
    return true;
  };
  // Consumes Rest up to and including End, and gives what came before it.
  const auto Until = [](std::string_view& Rest, std::string_view End, std::string_view& Before) {
    const size_t At = Rest.find(End);
    if (At == std::string_view::npos) return false;
    Before = Rest.substr(0, At);
    Rest.remove_prefix(At + End.size());
    return true;
  };
  const auto Offset = [&](std::string_view Rest) { return static_cast<size_t>(Rest.data() - Svg.data()); };

  // Where each picture and pattern is defined, where each mask is used, and how often each name is referred to.
  std::map<std::string_view, size_t> Pictures, Patterns;
  std::map<std::string_view, std::vector<size_t>> MaskUses;
  std::map<std::string_view, int> Named;
  const auto ForEachName = [&](std::string_view Start, std::string_view End, auto&& Take) {
    for (size_t At = Svg.find(Start); At != std::string_view::npos; At = Svg.find(Start, At + 1)) {
      std::string_view Rest = Window(At + Start.size()), Name;
      if (Until(Rest, End, Name) && !Name.empty()) Take(At, Name);
    }
  };
  ForEachName("<image id=\"", "\"", [&](size_t At, std::string_view Name) { Pictures.emplace(Name, At); });
  ForEachName("<pattern id=\"", "\"", [&](size_t At, std::string_view Name) { Patterns.emplace(Name, At); });
  ForEachName(" mask=\"url(#", ")", [&](size_t At, std::string_view Name) { MaskUses[Name].push_back(At); });
  ForEachName("url(#", ")", [&](size_t, std::string_view Name) { ++Named[Name]; });
  ForEachName("href=\"#", "\"", [&](size_t, std::string_view Name) { ++Named[Name]; });
  const auto Names = [&](std::string_view Name) {
    const auto Found = Named.find(Name);
    return Found == Named.end() ? 0 : Found->second;
  };

  // Per picture: its width and height as written, and whether it is a PNG white and opaque throughout.
  struct Verdict {
    bool White = false;
    std::string_view Width, Height;
    size_t End = 0;
  };
  std::map<std::string_view, Verdict> Checked;
  double Counted = 0;
  const auto Check = [&](size_t At) {
    Verdict Out;
    std::string_view Rest = Svg.substr(At), Tag;
    if (!Until(Rest, "\"/>", Tag)) return Out;
    Out.End = Offset(Rest);
    Out.Width = Attribute(Tag, " width=\"");
    Out.Height = Attribute(Tag, " height=\"");
    const std::string_view Data = " xlink:href=\"data:image/png;base64,";
    const size_t DataAt = Tag.find(Data);
    std::string Png;
    Out.White = DataAt != std::string_view::npos && Tag.find(" x=") == std::string_view::npos &&
                Tag.find(" y=") == std::string_view::npos && Tag.find("transform") == std::string_view::npos &&
                FromBase64(Tag.substr(DataAt + Data.size()), Png) && IsOpaqueWhitePng(Png, Counted, PagePixelBudget);
    return Out;
  };

  std::vector<std::pair<size_t, size_t>> Cuts;  // byte ranges to leave out
  for (size_t At = Svg.find(MaskStart); At != std::string_view::npos; At = Svg.find(MaskStart, At + 1)) {
    // cairo's soft mask of a picture: one rectangle over the page, filled with a pattern of the mask picture.
    std::string_view Rest = Window(At + MaskStart.size()), Mask, Size, Pattern;
    if (!Until(Rest, "\">", Mask) || !Skip(Rest, "<rect x=\"0\" y=\"0\" ") ||
        !Until(Rest, " style=\"fill:url(#", Size) || !Until(Rest, ")", Pattern) ||
        !(Skip(Rest, ";\"/>") || Skip(Rest, ";stroke:none;\"/>")) || !Skip(Rest, "</mask>")) {
      continue;
    }
    const size_t MaskEnd = Offset(Rest);
    // The pattern draws nothing else and holds one picture alone, which fills its tile: the
    // tiles then cover the rectangle.
    const auto FoundPattern = Patterns.find(Pattern);
    if (Names(Pattern) != 1 || FoundPattern == Patterns.end()) continue;
    std::string_view PatternTag, Picture;
    Rest = Window(FoundPattern->second);
    if (!Until(Rest, ">", PatternTag) || PatternTag.find(" patternUnits=\"userSpaceOnUse\"") == std::string_view::npos ||
        !(Skip(Rest, "<use xlink:href=\"#") || Skip(Rest, "<use href=\"#")) || !Until(Rest, "\"/>", Picture) ||
        Picture.find_first_of("\" ") != std::string_view::npos || !Skip(Rest, "</pattern>")) {
      continue;
    }
    const size_t PatternEnd = Offset(Rest);
    const auto FoundPicture = Pictures.find(Picture);
    if (FoundPicture == Pictures.end()) continue;
    auto [Known, First] = Checked.emplace(Picture, Verdict());
    if (First) Known->second = Check(FoundPicture->second);
    const Verdict& Mine = Known->second;
    if (!Mine.White || Mine.Width.empty() || Mine.Width != Attribute(PatternTag, " width=\"") ||
        Mine.Height.empty() || Mine.Height != Attribute(PatternTag, " height=\"")) {
      continue;
    }
    // Each use is a rectangle of the same place and size, and nothing else names the mask.
    const std::string Geometry = "<rect x=\"0\" y=\"0\" " + std::string(Size);
    const std::string_view Use = " mask=\"url(#";
    const auto Uses = MaskUses.find(Mask);
    if (Uses == MaskUses.end() || Names(Mask) != static_cast<int>(Uses->second.size())) continue;
    bool Covered = true;
    for (const size_t UseAt : Uses->second) {
      const size_t From = UseAt > Near ? UseAt - Near : 0;
      const std::string_view Before = Svg.substr(From, UseAt - From);
      const size_t TagAt = Before.rfind('<');
      Covered = Covered && TagAt != std::string_view::npos && Before.compare(TagAt, Geometry.size(), Geometry) == 0 &&
                Svg.compare(UseAt + Use.size() + Mask.size(), 2, ")\"") == 0;
    }
    if (!Covered) continue;
    Cuts.emplace_back(At, MaskEnd);
    for (const size_t UseAt : Uses->second) Cuts.emplace_back(UseAt, UseAt + Use.size() + Mask.size() + 2);
    // The pattern goes with the mask, and its picture when nothing else draws it.
    Cuts.emplace_back(FoundPattern->second, PatternEnd);
    if (Names(Picture) == 1) Cuts.emplace_back(FoundPicture->second, Mine.End);
  }
  return Without(Svg, std::move(Cuts));
}

std::string DrawPageSvg(PopplerPage* Page, bool* Pictured, LiftedGlyphs* Lifted) {
  double Width = 612, Height = 792;
  poppler_page_get_size(Page, &Width, &Height);
  Width = ShownPageSize(Width);
  Height = ShownPageSize(Height);
  if (Pictured != nullptr) *Pictured = false;
  if (Lifted != nullptr) *Lifted = LiftedGlyphs{};

  SvgSink Sink;
  cairo_surface_t* Surface = cairo_svg_surface_create_for_stream(AppendToSink, &Sink, Width, Height);
  Sink.Surface = Surface;
  // cairo's observer cannot watch an SVG surface: a tee hands every operation to the SVG and to
  // an observed raster of a few pixels, where it costs next to nothing, to be counted.
  constexpr double TallyPixels = 16;
  cairo_surface_t* Tally = cairo_image_surface_create(CAIRO_FORMAT_A8, TallyPixels, TallyPixels);
  cairo_surface_t* Observer = cairo_surface_create_observer(Tally, CAIRO_SURFACE_OBSERVER_NORMAL);
  cairo_surface_set_device_scale(Observer, TallyPixels / Width, TallyPixels / Height);
  for (const auto Add : {cairo_surface_observer_add_fill_callback, cairo_surface_observer_add_stroke_callback,
                         cairo_surface_observer_add_glyphs_callback, cairo_surface_observer_add_paint_callback,
                         cairo_surface_observer_add_mask_callback}) {
    Add(Observer, CountOperation, &Sink);
  }
  cairo_surface_t* Tee = cairo_tee_surface_create(Surface);
  cairo_tee_surface_add(Tee, Observer);
  // poppler draws as for a screen whose pixel is a unit of cairo's device space: a line no wider
  // than a unit becomes one unit wide and moves onto the pixel grid. With a unit of a point, 0.5 and
  // 0.8 pt table rules came out 1 pt wide and up to half a point off. In quarter points only lines
  // of a quarter point or less change; the surface's scale turns the units back into points, so
  // the SVG's numbers and their rewriting stay as they were. Luminosity soft masks, which poppler
  // turns into pixels of a unit, are as big as the page in units: on huge pages the unit grows.
  const double Units = UnitsPerPoint(Width, Height);
  cairo_surface_set_device_scale(Tee, 1 / Units, 1 / Units);
  cairo_t* Cr = cairo_create(Tee);
  cairo_scale(Cr, Units, Units);
  // Whatever a page draws outside its crop box stays out of the picture.
  cairo_rectangle(Cr, 0, 0, Width, Height);
  cairo_clip(Cr);
  poppler_page_render(Page, Cr);
  const cairo_status_t DrawStatus = cairo_status(Cr);
  cairo_destroy(Cr);
  cairo_surface_destroy(Tee);
  cairo_surface_destroy(Observer);
  cairo_surface_destroy(Tally);
  cairo_surface_finish(Surface);
  const cairo_status_t SurfaceStatus = cairo_surface_status(Surface);
  cairo_surface_destroy(Surface);
  std::string Svg = std::move(Sink.Svg);
  if (Sink.Overflow) Svg = std::string();
  if (!Sink.Overflow && (DrawStatus != CAIRO_STATUS_SUCCESS || SurfaceStatus != CAIRO_STATUS_SUCCESS)) return {};
  // The rewrites shrink cairo's SVG some fourfold; one far past the budget is not worth them.
  if (!Sink.Overflow) {
    Svg = ShrinkPictures(PruneGradientStops(DropOpaqueMasks(Svg)));
    if (Lifted != nullptr) Svg = LiftGlyphRuns(Svg, Width, Height, *Lifted);
    Svg = MergeClipPaths(PixelateEnlargedPictures(CompactSvg(DropCoveringClips(GlyphsToFont(Svg)))));
    // A drawing small enough to be drawn in its page keeps its styles on its shapes, where the
    // page can take them; a style sheet would apply to the whole page.
    if (Svg.size() > MaxInlineDrawing) Svg = StyleClasses(Svg);
    if (Svg.size() <= PageBytesBudget) return Svg;
  }
  if (Lifted != nullptr) *Lifted = LiftedGlyphs{};
  Svg = std::string();
  if (Pictured != nullptr) *Pictured = true;
  return PagePictureSvg(Page);
}

std::string PagePictureSvg(PopplerPage* Page) {
  double Width = 612, Height = 792;
  poppler_page_get_size(Page, &Width, &Height);
  Width = ShownPageSize(Width);
  Height = ShownPageSize(Height);
  // Twice a 96-dpi screen: sharp on a high-density screen, as a page drawn as vectors would be.
  const double Scale = std::min(2 * 96.0 / 72.0, std::sqrt(PagePixelBudget / (Width * Height)));
  const int PixelWidth = std::max(1, static_cast<int>(std::ceil(Width * Scale)));
  const int PixelHeight = std::max(1, static_cast<int>(std::ceil(Height * Scale)));
  cairo_surface_t* Surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, PixelWidth, PixelHeight);
  cairo_t* Cr = cairo_create(Surface);
  cairo_set_source_rgb(Cr, 1, 1, 1);
  cairo_paint(Cr);
  cairo_scale(Cr, Scale, Scale);
  poppler_page_render(Page, Cr);
  const cairo_status_t DrawStatus = cairo_status(Cr);
  cairo_destroy(Cr);
  std::string Png;
  const bool Written = DrawStatus == CAIRO_STATUS_SUCCESS &&
                       cairo_surface_write_to_png_stream(Surface, AppendToString, &Png) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(Surface);
  if (!Written) return {};
  const std::string W = FormatNumber(Width, 2), H = FormatNumber(Height, 2);
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + W + "pt\" height=\"" + H + "pt\" viewBox=\"0 0 " + W + " " +
         H + "\"><image width=\"" + W + "\" height=\"" + H + "\" preserveAspectRatio=\"none\" href=\"data:image/png;base64," +
         Base64(Png) + "\"/></svg>\n";
}

double ShownPageSize(double Size) { return std::isfinite(Size) ? std::clamp(Size, 1.0, MaxPageSize) : MaxPageSize; }

std::string BlankPageSvg(double Width, double Height) {
  const std::string W = FormatNumber(ShownPageSize(Width), 2), H = FormatNumber(ShownPageSize(Height), 2);
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + W + "pt\" height=\"" + H + "pt\" viewBox=\"0 0 " + W +
         " " + H + "\"></svg>\n";
}

namespace {

// A path's outline: the ends of its pieces, and its curves, each from where it starts. Polygon
// holds the corners when the path is one closed run of straight lines.
struct PathOutline {
  std::vector<PathPoint> Ends;
  std::vector<std::array<PathPoint, 4>> Curves;
  std::vector<PathPoint> Polygon;
};

bool ReadOutline(std::string_view Data, PathOutline& Out) {
  bool Straight = true, Closed = false, Again = false;
  PathPoint At;
  const bool Read = ForEachPathCommand(Data, MaxPageSize * 16, [&](const PathCommand& Command) {
    if (Command.Letter == 'Z') {
      Straight = Straight && !Closed;
      Closed = true;
      return true;
    }
    if (Command.Letter == 'C') Out.Curves.push_back({At, Command.Points[0], Command.Points[1], Command.Points[2]});
    At = Command.Points[Command.Letter == 'C' ? 2 : 0];
    Out.Ends.push_back(At);
    if (Closed) {
      // cairo moves back to the start after closing a path; anything else is a second run.
      Straight = Straight && !Again && Command.Letter == 'M' && !Out.Polygon.empty() &&
                 At.X == Out.Polygon[0].X && At.Y == Out.Polygon[0].Y;
      Again = true;
      return true;
    }
    // A polygon starts with a move, and moves only there.
    if (Command.Letter == 'C' || (Command.Letter == 'M') != Out.Polygon.empty()) Straight = false;
    if (Straight) Out.Polygon.push_back(At);
    return true;
  });
  // A polygon of many corners is not worth the test.
  if (!Straight || !Closed || Out.Polygon.size() < 3 || Out.Polygon.size() > 64) Out.Polygon.clear();
  return Read && !Out.Ends.empty();
}

// The least value of Nx * x + Ny * y over an outline: at an end, or where a curve turns back.
double LeastAlong(const PathOutline& Outline, double Nx, double Ny) {
  const auto Along = [&](const PathPoint& P) { return Nx * P.X + Ny * P.Y; };
  double Least = std::numeric_limits<double>::infinity();
  for (const PathPoint& End : Outline.Ends) Least = std::min(Least, Along(End));
  for (const auto& Curve : Outline.Curves) {
    // The derivative of the cubic's projection is a quadratic in t.
    const double P0 = Along(Curve[0]), P1 = Along(Curve[1]), P2 = Along(Curve[2]), P3 = Along(Curve[3]);
    const double A = P1 - P0, B = P2 - P1, C = P3 - P2;
    const double Qa = A - 2 * B + C, Qb = 2 * (B - A), Qc = A;
    double Roots[2];
    int Count = 0;
    if (std::fabs(Qa) < 1e-12) {
      if (std::fabs(Qb) > 1e-12) Roots[Count++] = -Qc / Qb;
    } else {
      const double Discriminant = Qb * Qb - 4 * Qa * Qc;
      if (Discriminant >= 0) {
        Roots[Count++] = (-Qb + std::sqrt(Discriminant)) / (2 * Qa);
        Roots[Count++] = (-Qb - std::sqrt(Discriminant)) / (2 * Qa);
      }
    }
    for (int I = 0; I < Count; ++I) {
      const double T = Roots[I], U = 1 - T;
      if (T > 0 && T < 1) Least = std::min(Least, U * U * U * P0 + 3 * U * U * T * P1 + 3 * U * T * T * P2 + T * T * T * P3);
    }
  }
  return Least;
}

// Whether the outline lies in the polygon, which must be convex (on its edge counts as in).
bool ConvexHolds(const std::vector<PathPoint>& Polygon, const PathOutline& Outline) {
  const size_t N = Polygon.size();
  if (N < 3) return false;
  const auto Cross = [](const PathPoint& A, const PathPoint& B, const PathPoint& C) {
    return (B.X - A.X) * (C.Y - A.Y) - (B.Y - A.Y) * (C.X - A.X);
  };
  // Convex: every turn the same way (straight runs allowed), and once round, not twice as a star.
  int Turn = 0;
  double Turned = 0;
  for (size_t I = 0; I < N; ++I) {
    const PathPoint &A = Polygon[I], &B = Polygon[(I + 1) % N], &C = Polygon[(I + 2) % N];
    const double Side = Cross(A, B, C);
    const int Sign = Side > 0 ? 1 : Side < 0 ? -1 : 0;
    if (Sign != 0 && Turn != 0 && Sign != Turn) return false;
    if (Sign != 0) Turn = Sign;
    Turned += std::atan2(Side, (B.X - A.X) * (C.X - B.X) + (B.Y - A.Y) * (C.Y - B.Y));
  }
  constexpr double FullTurn = 6.283185307179586;
  if (Turn == 0 || std::fabs(std::fabs(Turned) - FullTurn) > 0.01) return false;
  // A hundredth of a point of slack: cairo writes six decimals, the pages draw at a hundredth.
  constexpr double Slack = 0.01;
  for (size_t I = 0; I < N; ++I) {
    const PathPoint& A = Polygon[I];
    const PathPoint& B = Polygon[(I + 1) % N];
    const double Length = std::hypot(B.X - A.X, B.Y - A.Y);
    if (Length == 0) continue;
    // Inside lies where Turn * Cross(A, B, P) is not negative; Cross is linear in P.
    const double Nx = -(B.Y - A.Y) * Turn, Ny = (B.X - A.X) * Turn;
    if (LeastAlong(Outline, Nx, Ny) - (Nx * A.X + Ny * A.Y) < -Slack * Length) return false;
  }
  return true;
}

constexpr std::string_view ClipStart = "<clipPath id=\"", ClipEnd = "</clipPath>";

// Calls Each(At, Close, Name, Body) for every clip path defined as <clipPath id="Name">, where
// At is where its definition starts and Close where its closing tag does. A definition may start
// inside another one's in a damaged drawing.
template <typename Callback>
void ForEachClipDefinition(std::string_view Svg, Callback&& Each) {
  for (size_t At = Svg.find(ClipStart); At != std::string_view::npos; At = Svg.find(ClipStart, At + 1)) {
    const size_t NameAt = At + ClipStart.size();
    const size_t NameEnd = Svg.find('"', NameAt);
    const size_t Close = Svg.find(ClipEnd, NameAt);
    if (NameEnd == std::string_view::npos || Close == std::string_view::npos) return;
    if (Svg.substr(NameEnd, 2) != "\">") continue;
    const size_t Begin = SkipBlanks(Svg, NameEnd + 2);
    Each(At, Close, Svg.substr(NameAt, NameEnd - NameAt), Svg.substr(Begin, Close - Begin));
  }
}

}  // namespace

std::string DropCoveringClips(std::string_view Svg) {
  // The clip paths that hold one path and nothing else, by their names.
  std::unordered_map<std::string_view, PathOutline> Clips;
  ForEachClipDefinition(Svg, [&](size_t, size_t, std::string_view Name, std::string_view Body) {
    constexpr std::string_view PathStart = "<path d=\"";
    const size_t DataEnd = Body.find('"', PathStart.size());
    if (Body.substr(0, PathStart.size()) != PathStart || DataEnd == std::string_view::npos ||
        Body.substr(DataEnd, 3) != "\"/>" || SkipBlanks(Body, DataEnd + 3) != Body.size()) {
      return;
    }
    PathOutline Outline;
    if (ReadOutline(Body.substr(PathStart.size(), DataEnd - PathStart.size()), Outline)) {
      Clips.emplace(Name, std::move(Outline));
    }
  });
  if (Clips.empty()) return std::string(Svg);

  // Chains of groups that each clip the next, around one filled path: a clip that covers the
  // filled shape or another clip of the chain changes nothing, and only costs the browser.
  // cairo clips each shading three or four times over (its box, the shape, the shading's domain).
  constexpr std::string_view GroupStart = "<g clip-path=\"url(#", GroupEnd = "</g>";
  std::string Out;
  Out.reserve(Svg.size());
  size_t Copied = 0;
  for (size_t At = Svg.find(GroupStart); At != std::string_view::npos; At = Svg.find(GroupStart, At + 1)) {
    struct Link {
      size_t Begin, End;  // the opening tag, with the blanks after it
      const PathOutline* Clip;
      bool Dropped = false;
    };
    std::vector<Link> Chain;
    size_t Pos = At;
    while (Svg.substr(Pos, GroupStart.size()) == GroupStart) {
      const size_t NameAt = Pos + GroupStart.size();
      const size_t NameEnd = Svg.find(')', NameAt);
      const size_t TagEnd = Svg.find('>', NameAt);
      if (NameEnd == std::string_view::npos || TagEnd == std::string_view::npos || NameEnd > TagEnd) break;
      // The group does nothing but clip.
      const std::string_view Rest = Svg.substr(NameEnd, TagEnd - NameEnd);
      const auto Found = Clips.find(Svg.substr(NameAt, NameEnd - NameAt));
      if (Found == Clips.end() || (Rest != ")\"" && Rest != ")\" clip-rule=\"nonzero\"" && Rest != ")\" clip-rule=\"evenodd\"")) {
        break;
      }
      const size_t Next = SkipBlanks(Svg, TagEnd + 1);
      Chain.push_back({Pos, Next, &Found->second});
      Pos = Next;
    }
    // What is not dropped is not read again: the search goes on after the chain's last group.
    if (!Chain.empty()) At = Chain.back().Begin;
    if (Chain.size() < 2 || Chain.size() > 8) continue;
    // Then one path, filled only and drawn where it is defined.
    constexpr std::string_view PathStart = "<path style=\"";
    const size_t PathEnd = Svg.find("/>", Pos);
    if (Svg.substr(Pos, PathStart.size()) != PathStart || PathEnd == std::string_view::npos) continue;
    const std::string_view Path = Svg.substr(Pos, PathEnd - Pos);
    std::string_view Style, Data;
    if (!AttributeValue(Path, "style", Style) || !AttributeValue(Path, "d", Data) ||
        Style.find("stroke:none;") == std::string_view::npos || Path.find(" transform=") != std::string_view::npos ||
        Path.find('<', 1) != std::string_view::npos) {
      continue;
    }
    PathOutline Filled;
    if (!ReadOutline(Data, Filled)) continue;
    // The chain's closing tags, innermost first, and where the last one ends.
    std::vector<size_t> Closings;
    size_t Closing = SkipBlanks(Svg, PathEnd + 2);
    while (Closings.size() < Chain.size() && Svg.substr(Closing, GroupEnd.size()) == GroupEnd) {
      Closings.push_back(Closing);
      Closing = SkipBlanks(Svg, Closing + GroupEnd.size());
    }
    if (Closings.size() < Chain.size()) continue;
    // A clip goes when its polygon holds the filled path or a clip that stays.
    size_t Dropped = 0;
    for (Link& Each : Chain) {
      bool Covers = ConvexHolds(Each.Clip->Polygon, Filled);
      for (const Link& Other : Chain) {
        if (!Covers && &Other != &Each && !Other.Dropped) Covers = ConvexHolds(Each.Clip->Polygon, *Other.Clip);
      }
      Each.Dropped = Covers;
      Dropped += Covers ? 1 : 0;
    }
    if (Dropped == 0) continue;
    for (const Link& Each : Chain) {
      Out.append(Svg.substr(Copied, Each.Begin - Copied));
      Copied = Each.Dropped ? Each.End : Each.Begin;
    }
    // The closing tags of the dropped groups go too: as many as were dropped, outermost.
    const size_t Kept = Chain.size() - Dropped;
    Out.append(Svg.substr(Copied, Closings[Kept] - Copied));
    Copied = Closing;
    At = Closing - 1;
  }
  Out.append(Svg.substr(Copied));

  // The clip paths that nothing names any more go.
  std::unordered_map<std::string_view, bool> Named;
  for (size_t At = Out.find("url(#"); At != std::string::npos; At = Out.find("url(#", At + 1)) {
    const size_t End = Out.find(')', At);
    if (End == std::string::npos) break;
    Named[std::string_view(Out).substr(At + 5, End - At - 5)] = true;
  }
  std::string Kept;
  Kept.reserve(Out.size());
  Copied = 0;
  ForEachClipDefinition(Out, [&](size_t At, size_t Close, std::string_view Name, std::string_view) {
    // A definition that starts inside one that went, went with it.
    if (At < Copied || Clips.count(Name) == 0 || Named.count(Name) != 0) return;
    Kept.append(Out, Copied, At - Copied);
    Copied = SkipBlanks(Out, Close + ClipEnd.size());
  });
  Kept.append(Out, Copied);
  return Kept;
}

std::string MergeClipPaths(std::string_view Svg) {
  constexpr std::string_view Start = "<clipPath id=\"clip", End = "</clipPath>";
  // Each clip path's number, and the number of the first one defined the same way.
  std::unordered_map<std::string_view, std::string_view> First;
  std::unordered_map<std::string_view, std::string_view> SameAs;
  std::vector<std::pair<size_t, size_t>> Dropped;
  for (size_t At = Svg.find(Start); At != std::string_view::npos; At = Svg.find(Start, At + 1)) {
    const size_t NumberAt = At + Start.size();
    size_t NumberEnd = NumberAt;
    while (NumberEnd < Svg.size() && IsDigit(Svg[NumberEnd])) ++NumberEnd;
    const size_t Close = Svg.find(End, NumberEnd);
    if (Close == std::string_view::npos) break;  // nothing after is complete either
    if (NumberEnd == NumberAt || Svg[NumberEnd] != '"') continue;
    const std::string_view Body = Svg.substr(NumberEnd, Close - NumberEnd);
    // A clip path that holds another, or names others, is left as it is, and so is what it holds:
    // the search goes on after it, so that no part of the drawing is read twice.
    if (Body.find("<clipPath") != std::string_view::npos || Body.find("url(") != std::string_view::npos) {
      At = Close;
      continue;
    }
    const std::string_view Number = Svg.substr(NumberAt, NumberEnd - NumberAt);
    const auto [Found, New] = First.emplace(Body, Number);
    if (New) continue;
    SameAs.emplace(Number, Found->second);
    Dropped.emplace_back(At, Close + End.size());
  }
  if (Dropped.empty()) return std::string(Svg);

  // The copies go; no use stands inside one, since a clip path that names another is kept.
  const std::string Kept = Without(Svg, std::move(Dropped));

  // Then their uses take the first.
  std::string Out;
  Out.reserve(Kept.size());
  constexpr std::string_view Use = "url(#clip";
  size_t Copied = 0;
  for (size_t At = Kept.find(Use); At != std::string::npos; At = Kept.find(Use, At + 1)) {
    const size_t NumberAt = At + Use.size();
    size_t NumberEnd = NumberAt;
    while (NumberEnd < Kept.size() && IsDigit(Kept[NumberEnd])) ++NumberEnd;
    const auto Found = SameAs.find(std::string_view(Kept).substr(NumberAt, NumberEnd - NumberAt));
    if (NumberEnd < Kept.size() && Kept[NumberEnd] == ')' && Found != SameAs.end()) {
      Out.append(Kept, Copied, NumberAt - Copied);
      Out.append(Found->second);
      Copied = NumberEnd;
    }
  }
  Out.append(Kept, Copied);
  return Out;
}

std::string StyleClasses(std::string_view Svg) {
  constexpr std::string_view Attribute = " style=\"";
  const auto Plain = [](std::string_view Value) {
    for (const char C : Value) {
      if (!(IsNameChar(C) || C == ':' || C == ';' || C == '.' || C == ',' || C == ' ' || C == '%' || C == '(' || C == ')')) {
        return false;
      }
    }
    return !Value.empty();
  };
  // Every style attribute outside embedded data, by value.
  struct Use {
    size_t Begin = 0;  // of the attribute, at its leading space
    size_t End = 0;    // after its closing quote
    std::string_view Value;
  };
  std::vector<Use> Uses;
  std::unordered_map<std::string_view, size_t> Count;
  size_t Data = Svg.find("data:");
  for (size_t Pos = Svg.find(Attribute); Pos != std::string_view::npos; Pos = Svg.find(Attribute, Pos + 1)) {
    // Embedded data ends at the first quote or parenthesis.
    while (Data < Pos) {
      const size_t DataEnd = Svg.find_first_of("\"')", Data);
      if (DataEnd > Pos) break;
      Data = Svg.find("data:", DataEnd);
    }
    if (Data < Pos) {
      Pos = Svg.find_first_of("\"')", Data);
      if (Pos == std::string_view::npos) break;
      continue;
    }
    const size_t Close = Svg.find('"', Pos + Attribute.size());
    if (Close == std::string_view::npos) break;
    const std::string_view Value = Svg.substr(Pos + Attribute.size(), Close - Pos - Attribute.size());
    const size_t TagStart = Svg.rfind('<', Pos);
    const size_t TagEnd = std::min(Svg.find('>', Pos), Svg.size());
    if (!Plain(Value) || TagStart == std::string_view::npos ||
        Svg.substr(TagStart, TagEnd - TagStart).find(" class=") != std::string_view::npos) {
      continue;
    }
    Uses.push_back({Pos, Close + 1, Value});
    ++Count[Value];
  }
  // The most used styles take the shortest names: a, b, ... z, aa, ab, ...
  std::vector<std::pair<std::string_view, size_t>> Ranked(Count.begin(), Count.end());
  std::sort(Ranked.begin(), Ranked.end(), [](const auto& A, const auto& B) {
    return A.second != B.second ? A.second > B.second : A.first < B.first;
  });
  std::unordered_map<std::string_view, std::string> Names;
  std::string Rules;
  const auto Length = [](const auto& Text) { return static_cast<std::ptrdiff_t>(Text.size()); };
  for (const auto& [Value, Times] : Ranked) {
    std::string Name;
    for (size_t N = Names.size();; N = N / 26 - 1) {
      Name.insert(Name.begin(), static_cast<char>('a' + N % 26));
      if (N < 26) break;
    }
    // Each use saves the value and costs the name (" class" is as long as " style"); the rule
    // costs the value once more.
    if (static_cast<std::ptrdiff_t>(Times) * (Length(Value) - Length(Name)) <= Length(Name) + Length(Value) + 3) continue;
    Rules += '.' + Name + '{' + std::string(Value) + '}';
    Names.emplace(Value, std::move(Name));
  }
  const size_t Root = Svg.find("<svg");
  const size_t RootEnd = Root == std::string_view::npos ? Root : Svg.find('>', Root);
  if (Names.empty() || RootEnd == std::string_view::npos) return std::string(Svg);

  std::string Out;
  Out.reserve(Svg.size());
  size_t Copied = 0;
  const auto CopyTo = [&](size_t End) {
    Out.append(Svg.substr(Copied, End - Copied));
    Copied = End;
  };
  CopyTo(RootEnd + 1);
  Out += "<style>" + Rules + "</style>";
  for (const Use& Each : Uses) {
    const auto Found = Names.find(Each.Value);
    if (Found == Names.end() || Each.Begin < Copied) continue;
    CopyTo(Each.Begin);
    Out += " class=\"" + Found->second + '"';
    Copied = Each.End;
  }
  CopyTo(Svg.size());
  return Out;
}

std::string PixelateEnlargedPictures(std::string_view Svg) {
  // poppler stops smoothing a picture it enlarges four times or more (in device pixels).
  constexpr double PixelsPerPoint = 96.0 / 72.0;
  constexpr double SharpFrom = 4.0;
  std::string Out;
  Out.reserve(Svg.size() + 64);
  size_t Pos = 0;
  const std::string_view PatternStart = "<pattern ";
  const std::string_view Matrix = "patternTransform=\"matrix(";
  const std::string_view PictureUse = "<use href=\"#image";
  for (size_t At = Svg.find(PatternStart); At != std::string_view::npos; At = Svg.find(PatternStart, At + 1)) {
    const size_t TagEnd = Svg.find('>', At);
    const size_t Close = Svg.find("</pattern>", At);
    if (TagEnd == std::string_view::npos || Close == std::string_view::npos) break;
    const size_t MatrixAt = Svg.substr(At, TagEnd - At).find(Matrix);
    if (MatrixAt == std::string_view::npos) continue;
    double M[4] = {0, 0, 0, 0};
    const std::string Numbers(Svg.substr(At + MatrixAt + Matrix.size(), std::min<size_t>(120, TagEnd - At - MatrixAt)));
    const char* Cursor = Numbers.c_str();
    bool Read = true;
    for (double& Value : M) {
      char* End = nullptr;
      Value = std::strtod(Cursor, &End);
      if (End == Cursor) Read = false;
      Cursor = End;
      while (*Cursor == ',' || *Cursor == ' ') ++Cursor;
    }
    if (!Read) continue;
    const double Scale = std::min(std::hypot(M[0], M[1]), std::hypot(M[2], M[3]));
    if (Scale * PixelsPerPoint < SharpFrom) continue;
    const size_t UseAt = Svg.substr(TagEnd, Close - TagEnd).find(PictureUse);
    if (UseAt == std::string_view::npos) continue;
    const size_t InsertAt = TagEnd + UseAt + 4;  // after "<use"
    Out.append(Svg.substr(Pos, InsertAt - Pos));
    Out += " style=\"image-rendering:pixelated\"";
    Pos = InsertAt;
  }
  Out.append(Svg.substr(Pos));
  return Out;
}

std::string CompactSvg(std::string_view Svg) {
  std::string Out;
  Out.reserve(Svg.size());
  std::string Path;
  std::string Colour;
  // cairo numbers surfaces and pictures by counts kept for the whole process, so a page's numbers
  // depend on which pages its worker drew before; they are numbered again, in order, per drawing.
  std::map<std::string_view, size_t> Numbers[2];
  size_t Pos = 0;
  bool InTransformedElement = false;
  while (Pos < Svg.size()) {
    const char C = Svg[Pos];
    if (C == '<') {
      const size_t TagEnd = Svg.find('>', Pos);
      const std::string_view Tag = Svg.substr(Pos, TagEnd == std::string_view::npos ? std::string_view::npos : TagEnd - Pos);
      InTransformedElement = Tag.find(" transform=") != std::string_view::npos && !MovedOrMirrored(Tag);
    }
    // Embedded pictures and fonts: copy the data up to the closing quote or parenthesis untouched.
    if (Svg.compare(Pos, 5, "data:") == 0) {
      size_t End = Svg.find_first_of("\"')", Pos);
      if (End == std::string_view::npos) End = Svg.size();
      Out.append(Svg.substr(Pos, End - Pos));
      Pos = End;
      continue;
    }
    // Path data outside transformed elements is in points and goes on the grid of hundredths.
    if (Svg.compare(Pos, 4, " d=\"") == 0 && !InTransformedElement) {
      const size_t End = Svg.find('"', Pos + 4);
      if (End != std::string_view::npos && RelativePath(Svg.substr(Pos + 4, End - Pos - 4), Path)) {
        Out += " d=\"";
        Out += Path;
        Out += '"';
        Pos = End + 1;
        continue;
      }
    }
    // Line breaks and indentation between elements carry nothing.
    if (C == '\n' && !Out.empty() && Out.back() == '>') {
      size_t Next = Pos;
      while (Next < Svg.size() && (Svg[Next] == '\n' || Svg[Next] == ' ')) ++Next;
      if (Next < Svg.size() && Svg[Next] == '<') {
        Pos = Next;
        continue;
      }
    }
    // SVG 2 takes plain href; every current browser reads it.
    if (Svg.compare(Pos, 12, " xlink:href=") == 0) {
      Out += " href=";
      Pos += 12;
      continue;
    }
    if (C == '"' || C == '#') {
      bool Renumbered = false;
      for (size_t Kind = 0; Kind < 2 && !Renumbered; ++Kind) {
        const std::string_view Name = Kind == 0 ? "surface" : "image";
        const size_t DigitsAt = Pos + 1 + Name.size();
        if (Svg.compare(Pos + 1, Name.size(), Name) != 0 || DigitsAt >= Svg.size() || !IsDigit(Svg[DigitsAt])) continue;
        size_t DigitsEnd = DigitsAt;
        while (DigitsEnd < Svg.size() && IsDigit(Svg[DigitsEnd])) ++DigitsEnd;
        const auto Found = Numbers[Kind].emplace(Svg.substr(DigitsAt, DigitsEnd - DigitsAt), Numbers[Kind].size() + 1);
        Out += C;
        Out += Name;
        Out += std::to_string(Found.first->second);
        Pos = DigitsEnd;
        Renumbered = true;
      }
      if (Renumbered) continue;
    }
    // cairo names glyphs "glyph<font>-<index>"; one letter does as well.
    if (Svg.compare(Pos, 6, "\"glyph") == 0 || Svg.compare(Pos, 6, "#glyph") == 0) {
      Out += C;
      Out += 'g';
      Pos += 6;
      continue;
    }
    size_t ColourLength = 0;
    if (C == 'r' && HexColour(Svg.substr(Pos), ColourLength, Colour)) {
      Out += Colour;
      Pos += ColourLength;
      continue;
    }
    // Values that are SVG's defaults anyway; cairo never sets them differently on a parent group
    // (its groups set nothing but a fill). A clip rule on a group that uses a clip path is lost
    // on it: the path inside the clip path takes its rule from where it is defined.
    bool Dropped = false;
    for (const std::string_view Default : {"fill-opacity:1;", "stroke-opacity:1;", "stroke-linecap:butt;", "stroke-linejoin:miter;",
                                           "stop-opacity:1;", "fill-rule:nonzero;", "stroke:none;", " clip-rule=\"nonzero\""}) {
      if (Svg.compare(Pos, Default.size(), Default) == 0) {
        Pos += Default.size();
        Dropped = true;
        break;
      }
    }
    if (Dropped) continue;
    if (IsDigit(C) && (Out.empty() || !IsNameChar(Out.back()) || Out.back() == '-')) {
      // A '-' before the digits is a sign only when it does not join a name like "g1-2".
      if (!Out.empty() && Out.back() == '-' && Out.size() >= 2 && IsNameChar(Out[Out.size() - 2])) {
        Out += C;
        ++Pos;
        continue;
      }
      size_t End = Pos;
      while (End < Svg.size() && IsDigit(Svg[End])) ++End;
      if (End < Svg.size() && Svg[End] == '.') {
        ++End;
        while (End < Svg.size() && IsDigit(Svg[End])) ++End;
      }
      Out += ShortenNumber(Svg.substr(Pos, End - Pos));
      Pos = End;
      continue;
    }
    Out += C;
    ++Pos;
  }
  return Out;
}

}  // namespace Engine
