// Pass: shapes drawn again and again in the same form are defined once and used where they go.
#include "drawing/passes/ShareRepeatedShapes.h"

#include "base/Geometry.h"
#include "base/Numbers.h"
#include "base/SvgPath.h"
#include "base/SvgScan.h"

#include <cmath>
#include <cstdlib>
#include <unordered_map>
#include <vector>

namespace Engine {

namespace {

// A use pays for itself once the form holds this many coordinates after its first point: a circle
// of four curves has 24 and a rectangle 8, which a use would not make shorter.
constexpr int LeastCoordinates = 12;
// Longer paths are seldom repeated, and are left as they are.
constexpr int MostCommands = 256;

// Elements whose content draws only where something refers to it.
bool Defines(std::string_view Name) {
  return Name == "defs" || Name == "clipPath" || Name == "mask" || Name == "pattern" || Name == "symbol" ||
         Name == "marker";
}

// A count of hundredths of a point as a decimal: 1234 -> "12.34", -5 -> "-0.05".
std::string HundredthsText(long long Value) { return FormatNumber(static_cast<double>(Value) / 100, 2); }

// Whether defining a form pays for the uses of it. CompactSvg writes a form in some 0.6 of the
// characters it has here; a use is some 14 characters longer than a path's tag without its data
// past the first point, and a definition 20 longer than that data.
bool Pays(size_t Uses, size_t FormLength) {
  const double Data = 0.6 * static_cast<double>(FormLength);
  return static_cast<double>(Uses) * (Data - 14) > Data + 20;
}

// A form: the commands of a path and its points against its first one, in hundredths.
struct Form {
  std::string Letters;
  std::vector<long long> Offsets;
  size_t Uses = 0;
  size_t Id = 0;  // its number once defined
  // The path data of the form drawn from the origin.
  std::string Data() const {
    std::string Out;
    size_t Next = 0;
    for (const char Letter : Letters) {
      if (!Out.empty()) Out += ' ';
      Out += Letter;
      const size_t Count = Letter == 'C' ? 6 : Letter == 'Z' ? 0 : 2;
      for (size_t I = 0; I < Count; ++I) Out += ' ' + HundredthsText(Offsets[Next++]);
    }
    return Out;
  }
};

// A path that may be drawn as a use of a form.
struct Shape {
  size_t Begin = 0, End = 0;  // its tag
  std::string_view Style;
  long long X = 0, Y = 0;  // its first point, in hundredths
  size_t Form = 0;
};

// Reads a path tag of plain colours with nothing but a style, data and a transform that only moves
// or mirrors: where its first point is drawn, and its form. False for any other tag, and for a
// form too short to share.
bool ReadShape(const Tag& T, Shape& Out, Form& Read) {
  std::string_view Data, Transform;
  if (T.Name != "path" || !T.SelfClosing || !AttributeValue(T.Text, "style", Out.Style) || !AttributeValue(T.Text, "d", Data)) {
    return false;
  }
  const bool Transformed = AttributeValue(T.Text, "transform", Transform);
  // An id would be lost; a clip, mask, filter, gradient or pattern lies in the space that x and y move.
  size_t Attributes = 0;
  for (size_t At = T.Text.find("=\""); At != std::string_view::npos; At = T.Text.find("=\"", At + 1)) ++Attributes;
  if (Attributes != (Transformed ? 3u : 2u) || Out.Style.find("url(") != std::string_view::npos) return false;
  Matrix M;
  if (Transformed && (Transform.substr(0, 7) != "matrix(" || !ReadMatrix(Transform.substr(7), M) || M.B != 0 || M.C != 0 ||
                      std::fabs(M.A) != 1 || std::fabs(M.D) != 1)) {
    return false;
  }
  Read.Letters.clear();
  Read.Offsets.clear();
  double FirstX = 0, FirstY = 0;
  const bool Whole = ForEachPathCommand(Data, MaxPageCoordinate, [&](const PathCommand& Command) {
    if (Read.Letters.size() >= MostCommands || (Read.Letters.empty() && Command.Letter != 'M')) return false;
    const int Count = Command.Letter == 'C' ? 3 : Command.Letter == 'Z' ? 0 : 1;
    for (int I = 0; I < Count; ++I) {
      const double X = M.X(Command.Points[I].X, Command.Points[I].Y), Y = M.Y(Command.Points[I].X, Command.Points[I].Y);
      if (Read.Letters.empty()) {
        FirstX = X;
        FirstY = Y;
      }
      // Each point is rounded from where it lies against the first, so that the same form drawn
      // anywhere comes out the same.
      Read.Offsets.push_back(std::llround((X - FirstX) * 100));
      Read.Offsets.push_back(std::llround((Y - FirstY) * 100));
    }
    Read.Letters += Command.Letter;
    return true;
  });
  Out.X = std::llround(FirstX * 100);
  Out.Y = std::llround(FirstY * 100);
  return Whole && Read.Offsets.size() >= 2 + LeastCoordinates;
}

// Forms of the same commands whose points all lie within this many hundredths of a point are one:
// programs that write their coordinates rounded (R to hundredths) draw one mark in many forms.
constexpr long long Tolerance = 2;
// How many of the latest forms of the same commands a path is compared with.
constexpr size_t FormsCompared = 64;

bool Alike(const Form& A, const Form& B) {
  for (size_t I = 0; I < A.Offsets.size(); ++I) {
    if (std::llabs(A.Offsets[I] - B.Offsets[I]) > Tolerance) return false;
  }
  return true;
}

}  // namespace

std::string ShareRepeatedShapes(std::string_view Svg) {
  std::vector<Shape> Shapes;
  std::vector<Form> Forms;
  std::unordered_map<std::string, std::vector<size_t>> FormsByLetters;
  int Hidden = 0;
  Form Read;
  for (size_t Pos = Svg.find('<'); Pos != std::string_view::npos; Pos = Svg.find('<', Pos + 1)) {
    Tag T;
    if (!ReadTag(Svg, Pos, T)) continue;
    const size_t Begin = Pos;
    Pos = T.End - 1;
    if (Defines(T.Name)) {
      if (T.Closing) --Hidden;
      else if (!T.SelfClosing) ++Hidden;
      continue;
    }
    Shape S;
    if (Hidden != 0 || T.Closing || !ReadShape(T, S, Read)) continue;
    S.Begin = Begin;
    S.End = T.End;
    std::vector<size_t>& Same = FormsByLetters[Read.Letters];
    size_t Found = Forms.size();
    for (size_t I = Same.size(); I > 0 && I + FormsCompared > Same.size(); --I) {
      if (Alike(Forms[Same[I - 1]], Read)) {
        Found = Same[I - 1];
        break;
      }
    }
    if (Found == Forms.size()) {
      Same.push_back(Found);
      Forms.push_back(Read);
    }
    S.Form = Found;
    ++Forms[Found].Uses;
    Shapes.push_back(S);
  }
  // Forms that pay for their definition are defined, numbered in the order they first appear.
  std::string Definitions;
  size_t Defined = 0;
  for (Form& F : Forms) {
    if (F.Uses < 2) continue;
    const std::string Data = F.Data();
    if (!Pays(F.Uses, Data.size())) continue;
    F.Id = ++Defined;
    Definitions += "<path id=\"u" + std::to_string(F.Id) + "\" d=\"" + Data + "\"/>";
  }
  if (Defined == 0) return std::string(Svg);
  std::string Out;
  Out.reserve(Svg.size());
  size_t Copied = 0;
  bool First = true;
  for (const Shape& S : Shapes) {
    const size_t Id = Forms[S.Form].Id;
    if (Id == 0) continue;
    Out.append(Svg.substr(Copied, S.Begin - Copied));
    if (First) Out += "<defs>" + Definitions + "</defs>\n";
    First = false;
    Out += "<use style=\"";
    Out += S.Style;
    Out += "\" href=\"#u" + std::to_string(Id) + "\" x=\"" + HundredthsText(S.X) + "\" y=\"" + HundredthsText(S.Y) + "\"/>";
    Copied = S.End;
  }
  Out.append(Svg.substr(Copied));
  return Out;
}

}  // namespace Engine
