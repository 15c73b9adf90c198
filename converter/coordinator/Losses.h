// What a conversion lost: the note on an incomplete page and the warning line that lists such pages.
#pragma once

#include "base/PageModel.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Engine {

// Why a page came out incomplete.
enum class Loss { None, Pictured, NotDrawn, PageTime, ReaderFailed, DocumentTime };

// What became of a page, as far as its notes go.
struct PageOutcome {
  Loss Lost = Loss::None;
  bool HasText = false;
  // The page box lies beyond what a PDF page may be; the page is shown cut to that size.
  bool OutOfRange = false;
  // Some glyphs were left out: the document has more than its fonts keep.
  bool GlyphsDropped = false;
  // What poppler could not read of a page it went on to convert.
  PageDamage Damage;
};

// The note shown on a page that came out incomplete; empty when it is complete.
std::string IncompleteNote(const PageOutcome& Page);

// The budgets a warning names.
struct LossBudgets {
  double PageSeconds = 0;
  double DocumentSeconds = 0;
  uint64_t OutputBytes = 0;
};

// The pages at the end of a document that were never converted, because the run's time or
// output ran out first; none when First is 0.
struct Unconverted {
  int First = 0;
  int Last = 0;
  bool OutOfTime = false;
};

// The warning line for a run whose pages (Pages[0] is page 1) came out as given, whose outline
// and metadata were left out for the reason InfoLost (empty when they were read), and whose
// pages Rest were not converted: every incomplete page grouped by what it lost and why. Empty
// when nothing was lost.
std::string LossWarning(const std::vector<PageOutcome>& Pages, const std::string& InfoLost, const LossBudgets& Budgets,
                        const Unconverted& Rest = {});

// The note the document shows where its unconverted pages would be.
std::string UnconvertedNote(const Unconverted& Rest, const LossBudgets& Budgets);

// A time as the warnings give it: "12.5 s".
std::string Seconds(double Value);

// Pages as "3, 5-9, 12", at most twenty ranges.
std::string PageList(const std::vector<int>& Pages);

}  // namespace Engine
