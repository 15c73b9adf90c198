// Numbers written the same on every platform, and numbers read from the SVG that cairo writes.
#pragma once

#include "base/Geometry.h"

#include <string>
#include <string_view>

namespace Engine {

// Formats Value with at most Decimals (up to 30) decimals and no trailing zeros ("12.5", "3",
// "-0.25"), rounded from its exact binary value with halves to the even digit, the same bytes on
// every platform (the C runtimes' printf functions differ there).
std::string FormatNumber(double Value, int Decimals);

// Reads the number at Pos in Text, as strtod reads a decimal one in the C locale, and moves Pos
// past it; false when none begins there.
bool ReadNumberAt(std::string_view Text, size_t& Pos, double& Value);

// Reads Count numbers at the start of Text, parted by commas or white space; false unless all
// are there, finite and within Limit in magnitude.
bool ReadNumbers(std::string_view Text, double* Values, int Count, double Limit = MaxPageCoordinate);

// Reads the six numbers of a matrix that Text begins with (what follows "matrix(" in SVG);
// false unless all six are there, finite and within MaxPageCoordinate.
bool ReadMatrix(std::string_view Text, Matrix& Out);

}  // namespace Engine
