// Pass: gradient stops on the straight line between their neighbours go.
#include "drawing/passes/PruneGradientStops.h"

#include "base/Numbers.h"
#include "base/SvgScan.h"

#include <cmath>
#include <limits>
#include <string>

namespace Engine {

namespace {

// A number that is all of Text, as strtod reads one.
bool ReadWhole(std::string_view Text, double& Value) {
  size_t Pos = 0;
  return ReadNumberAt(Text, Pos, Value) && Pos == Text.size();
}

// The value of a hexadecimal digit, or -1.
int HexDigit(char C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

// Reads a stop's offset, colour and opacity, in cairo's form or after CompactSvg.
bool ReadStop(std::string_view Tag, GradientStop& Stop) {
  if (!ReadWhole(AttributeOf(Tag, "offset"), Stop.Offset)) return false;
  const std::string_view Style = AttributeOf(Tag, "style");
  const size_t ColourAt = Style.find("stop-color:");
  if (ColourAt == std::string_view::npos) return false;
  std::string_view Colour = Style.substr(ColourAt + 11);
  Colour = Colour.substr(0, Colour.find(';'));
  size_t Length = 0;
  double Percent[3];
  if (Colour.compare(0, 4, "rgb(") == 0) {
    // The percentages themselves, not a rounded form.
    if (!ReadRgb(Colour, Percent, Length)) return false;
    for (int I = 0; I < 3; ++I) Stop.Channels[I] = Percent[I] / 100;
  } else if ((Colour.size() == 7 || Colour.size() == 4) && Colour[0] == '#') {
    const bool Short = Colour.size() == 4;
    for (int I = 0; I < 3; ++I) {
      const int High = HexDigit(Colour[Short ? 1 + I : 1 + 2 * I]), Low = HexDigit(Colour[Short ? 1 + I : 2 + 2 * I]);
      if (High < 0 || Low < 0) return false;
      Stop.Channels[I] = (16 * High + Low) / 255.0;
    }
  } else {
    return false;
  }
  Stop.Channels[3] = 1;
  const size_t OpacityAt = Style.find("stop-opacity:");
  if (OpacityAt != std::string_view::npos) {
    size_t Pos = OpacityAt + 13;
    if (!ReadNumberAt(Style, Pos, Stop.Channels[3])) return false;
  }
  return true;
}

}  // namespace

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

}  // namespace Engine
