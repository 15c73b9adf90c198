// Places and sizes in a page's HTML, in percent of the page, so that a page shrinks with a narrow window.
#pragma once

#include "base/Numbers.h"

#include <string>

namespace Engine {

// Value in percent of Whole; nothing of a whole that has no size.
inline double PercentOf(double Value, double Whole) { return Whole > 0 ? Value * 100.0 / Whole : 0; }

// Two decimals of a percent or of a container unit are under a tenth of a pixel on a page shown
// a thousand pixels wide.
inline std::string Percent(double Value, double Whole) { return FormatNumber(PercentOf(Value, Whole), 2) + "%"; }

}  // namespace Engine
