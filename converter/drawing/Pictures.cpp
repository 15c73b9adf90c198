// The pictures of a drawing: PNG read a row at a time, shrunk, and written again as PNG or JPEG.
#include "drawing/Pictures.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace Engine {

namespace {

cairo_status_t AppendToString(void* Closure, const unsigned char* Data, unsigned int Length) {
  static_cast<std::string*>(Closure)->append(reinterpret_cast<const char*>(Data), Length);
  return CAIRO_STATUS_SUCCESS;
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
  std::vector<double> ClearSums;                // the sums of a source row with no alpha: weights only
  ~ShrinkState() {
    if (Surface != nullptr) cairo_surface_destroy(Surface);
  }
};

// Writes the sums of one stored row into row Y of the surface, as cairo's premultiplied pixels. A
// row with no alpha at all is left as the new surface has it: transparent.
void FlushRow(ShrinkState& S, int64_t Y, bool Alpha) {
  auto* Pixels = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(S.Surface) + Y * cairo_image_surface_get_stride(S.Surface));
  const size_t Width = static_cast<size_t>(cairo_image_surface_get_width(S.Surface));
  if (Alpha) {
    bool Painted = false;
    for (size_t X = 0; X < Width && !Painted; ++X) Painted = S.Current[X * Sums + 3] != 0;
    if (!Painted) return;
  }
  for (size_t X = 0; X < Width; ++X) {
    const double* Sum = &S.Current[X * Sums];
    const double Weight = std::max(Sum[4], 1e-9);
    const auto Level = [&](double Value) { return static_cast<uint32_t>(std::clamp(Value / Weight + 0.5, 0.0, 255.0)); };
    Pixels[X] = ((Alpha ? Level(Sum[3]) : 255) << 24) | (Level(Sum[0] / 255) << 16) | (Level(Sum[1] / 255) << 8) | Level(Sum[2] / 255);
  }
}

// Adds one source row into S.RowSums, each pixel into the stored pixels it falls in; returns them.
const std::vector<double>& AddRow(ShrinkState& S, int Channels, bool Alpha) {
  std::fill(S.RowSums.begin(), S.RowSums.end(), 0.0);
  const int Green = Channels >= 3 ? 1 : 0, Blue = Channels >= 3 ? 2 : 0;
  const unsigned char* Pixel = S.Row.data();
  for (const Split& Column : S.Columns) {
    const double A = Alpha ? Pixel[Channels - 1] : 255;
    const double Values[Sums] = {Pixel[0] * A, Pixel[Green] * A, Pixel[Blue] * A, A, 1};
    double* Sum = &S.RowSums[Column.First * Sums];
    if (Column.Share == 1) {
      for (int I = 0; I < Sums; ++I) Sum[I] += Values[I];
    } else {
      for (int I = 0; I < Sums; ++I) {
        Sum[I] += Values[I] * Column.Share;
        Sum[Sums + I] += Values[I] * (1 - Column.Share);
      }
    }
    Pixel += Channels;
  }
  return S.RowSums;
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
// screenshot of flat colours is smaller as PNG. An opaque picture is stored as JPEG when that
// takes at most three fifths of its PNG; at quality 85 a page of screenshots looks as it did
// (converter/README.md has the figures).
constexpr int JpegQuality = 85;
constexpr double JpegShare = 0.6;

// The part of a picture with transparency inside its transparent borders, widened by a pixel and
// out to whole eighths, so that a browser's filters and halved copies of the picture meet the same
// neighbours as before; the whole picture when the part is no smaller than three quarters of it.
PixelBox PaintedPart(cairo_surface_t* Surface) {
  const int64_t Width = cairo_image_surface_get_width(Surface), Height = cairo_image_surface_get_height(Surface);
  PixelBox Whole{0, 0, Width, Height};
  if (cairo_image_surface_get_format(Surface) != CAIRO_FORMAT_ARGB32) return Whole;
  const unsigned char* Data = cairo_image_surface_get_data(Surface);
  const int Stride = cairo_image_surface_get_stride(Surface);
  int64_t Left = Width, Right = -1, Top = Height, Bottom = -1;
  for (int64_t Y = 0; Y < Height; ++Y) {
    const auto* Pixels = reinterpret_cast<const uint32_t*>(Data + Y * Stride);
    int64_t First = 0;
    while (First < Width && (Pixels[First] >> 24) == 0) ++First;
    if (First == Width) continue;
    int64_t Last = Width - 1;
    while ((Pixels[Last] >> 24) == 0) --Last;
    Left = std::min(Left, First);
    Right = std::max(Right, Last);
    Top = std::min(Top, Y);
    Bottom = Y;
  }
  // A picture with nothing in it keeps one transparent pixel.
  if (Right < 0) return {0, 0, 1, 1};
  constexpr int64_t Step = 8;
  const auto Down = [&](int64_t Value) { return std::max<int64_t>(0, (Value - 1) / Step * Step); };
  const auto Up = [&](int64_t Value, int64_t Limit) { return std::min(Limit, (Value + 2 + Step - 1) / Step * Step); };
  const PixelBox Part{Down(Left), Down(Top), Up(Right, Width) - Down(Left), Up(Bottom, Height) - Down(Top)};
  return 4 * Part.Width * Part.Height <= 3 * Width * Height ? Part : Whole;
}

// The Part of Surface (a PaintedPart) as PNG, or as JPEG where that pays; Mime says which.
bool EncodePicture(cairo_surface_t* Surface, const PixelBox& Part, std::string& Out, std::string_view& Mime) {
  Out.clear();
  cairo_surface_flush(Surface);
  cairo_surface_t* Stored = Surface;
  if (Part.Width != cairo_image_surface_get_width(Surface) || Part.Height != cairo_image_surface_get_height(Surface)) {
    const int Stride = cairo_image_surface_get_stride(Surface);
    Stored = cairo_image_surface_create_for_data(cairo_image_surface_get_data(Surface) + Part.Top * Stride + Part.Left * 4,
                                                 CAIRO_FORMAT_ARGB32, static_cast<int>(Part.Width),
                                                 static_cast<int>(Part.Height), Stride);
  }
  const bool Written = WritePng(Stored, Out);
  if (Stored != Surface) cairo_surface_destroy(Stored);
  if (!Written) return false;
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

// What a check of a picture's pixels holds.
struct PixelCheck : PngReading {
  std::vector<unsigned char> Row;
};

}  // namespace

bool WritePng(cairo_surface_t* Surface, std::string& Out) {
  return cairo_surface_write_to_png_stream(Surface, AppendToString, &Out) == CAIRO_STATUS_SUCCESS;
}

bool ShrinkPng(std::string_view Data, int64_t Width, int64_t Height, std::string& Out, std::string_view& Mime,
               PixelBox& Kept) {
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
    // Masks as big as the page are mostly rows with no alpha, whose sums are always the same.
    bool Clear = Alpha;
    for (size_t I = static_cast<size_t>(Channels) - 1; I < S->Row.size() && Clear; I += static_cast<size_t>(Channels)) {
      Clear = S->Row[I] == 0;
    }
    const std::vector<double>& Sum = Clear && !S->ClearSums.empty() ? S->ClearSums : AddRow(*S, Channels, Alpha);
    if (Clear && S->ClearSums.empty()) S->ClearSums = S->RowSums;
    for (size_t I = 0; I < Stored; ++I) {
      S->Current[I] += Sum[I] * Rows.Share;
      S->Next[I] += Sum[I] * (1 - Rows.Share);
    }
  }
  FlushRow(*S, StoredY, Alpha);
  cairo_surface_mark_dirty(S->Surface);
  Kept = PaintedPart(S->Surface);
  return EncodePicture(S->Surface, Kept, Out, Mime);
}

bool RecodePng(std::string_view Data, std::string& Out, std::string_view& Mime, PixelBox& Kept) {
  PngInput Input;
  Input.Data = Data;
  cairo_surface_t* Surface = cairo_image_surface_create_from_png_stream(ReadPngStream, &Input);
  bool Smaller = false;
  if (cairo_surface_status(Surface) == CAIRO_STATUS_SUCCESS) {
    const int64_t Width = cairo_image_surface_get_width(Surface), Height = cairo_image_surface_get_height(Surface);
    if (cairo_image_surface_get_format(Surface) == CAIRO_FORMAT_RGB24) {
      // The PNG to beat is the one at hand: no need to write it again.
      Out = JpegOf(Surface, JpegQuality);
      Mime = "image/jpeg";
      Kept = {0, 0, Width, Height};
      Smaller = !Out.empty() && static_cast<double>(Out.size()) <= JpegShare * static_cast<double>(Data.size());
    } else if (cairo_image_surface_get_format(Surface) == CAIRO_FORMAT_ARGB32) {
      Kept = PaintedPart(Surface);
      Smaller = (Kept.Width < Width || Kept.Height < Height) && EncodePicture(Surface, Kept, Out, Mime);
    }
  }
  cairo_surface_destroy(Surface);
  return Smaller;
}

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

}  // namespace Engine
