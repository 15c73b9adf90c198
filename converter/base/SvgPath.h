// Reads the path data that cairo's SVG surface writes: absolute M, L, C and Z commands.
#pragma once

#include "base/Numbers.h"

#include <cmath>
#include <string_view>

namespace Engine {

struct PathPoint {
  double X = 0;
  double Y = 0;
};

// One command: 'M' or 'L' with one point, 'C' with three, 'Z' with none.
struct PathCommand {
  char Letter = 'Z';
  PathPoint Points[3];
};

// Calls Each(const PathCommand&) for every command of Data in order. Stops and returns false
// on anything else cairo does not write, on a number that is not finite or larger than Limit
// in magnitude, or when Each returns false.
template <typename Callback>
bool ForEachPathCommand(std::string_view Data, double Limit, Callback&& Each) {
  size_t Pos = 0;
  const auto SkipBlanks = [&] {
    while (Pos < Data.size() && (Data[Pos] == ' ' || Data[Pos] == ',' || Data[Pos] == '\n')) ++Pos;
  };
  const auto ReadNumber = [&](double& Value) {
    SkipBlanks();
    return ReadNumberAt(Data, Pos, Value) && std::isfinite(Value) && std::fabs(Value) <= Limit;
  };
  while (true) {
    SkipBlanks();
    if (Pos >= Data.size()) return true;
    PathCommand Command;
    Command.Letter = Data[Pos++];
    int Count = 0;
    if (Command.Letter == 'M' || Command.Letter == 'L') {
      Count = 1;
    } else if (Command.Letter == 'C') {
      Count = 3;
    } else if (Command.Letter == 'z') {
      Command.Letter = 'Z';
    } else if (Command.Letter != 'Z') {
      return false;
    }
    for (int I = 0; I < Count; ++I) {
      if (!ReadNumber(Command.Points[I].X) || !ReadNumber(Command.Points[I].Y)) return false;
    }
    if (!Each(static_cast<const PathCommand&>(Command))) return false;
  }
}

}  // namespace Engine
