// What a conversion lost: the note on an incomplete page and the warning line that lists such pages.
#include "coordinator/Losses.h"

#include "base/Numbers.h"

#include <iterator>
#include <map>
#include <utility>

namespace Engine {

std::string Seconds(double Value) { return FormatNumber(Value, 1) + " s"; }

namespace {

std::string LossNote(const PageOutcome& Each) {
  const std::string What = Each.HasText ? "its drawing is missing" : "its text and drawing are missing";
  switch (Each.Lost) {
    case Loss::None: return {};
    case Loss::Pictured: return "Simplified page: its drawing, too large to keep as shapes, is shown as a picture.";
    case Loss::NotDrawn:
      return Each.HasText ? "Incomplete page: its drawing could not be made."
                          : "Incomplete page: poppler could not read it; its text and drawing are missing.";
    case Loss::PageTime: return "Incomplete page: " + What + " (it took too long to convert).";
    case Loss::ReaderFailed: return "Incomplete page: " + What + " (its conversion failed).";
    case Loss::DocumentTime: break;
  }
  return "Incomplete page: " + What + " (the document took too long to convert).";
}

// What a group of pages lost, after the list of the pages.
std::string GroupLoss(Loss Why, bool KeptText, const LossBudgets& Budgets) {
  if (Why == Loss::Pictured) return " kept their text, their drawing shown as a picture (over the drawing's size budget)";
  std::string Out = KeptText ? " kept their text but lost the drawing" : " lost text and drawing";
  switch (Why) {
    case Loss::NotDrawn: return Out + " (poppler could not read or draw them)";
    case Loss::PageTime: return Out + " (over the page time budget of " + Seconds(Budgets.PageSeconds) + ")";
    case Loss::ReaderFailed: return Out + " (their reader crashed, hit its memory cap or sent a malformed report)";
    default: return Out + " (the document ran out of its time budget of " + Seconds(Budgets.DocumentSeconds) + ")";
  }
}

std::string PagesNamed(const Unconverted& Rest) {
  return Rest.First == Rest.Last ? "page " + std::to_string(Rest.First)
                                 : "pages " + std::to_string(Rest.First) + "-" + std::to_string(Rest.Last);
}

std::string WhyUnconverted(const Unconverted& Rest, const LossBudgets& Budgets) {
  if (Rest.OutOfTime) return "the document ran out of its time budget of " + Seconds(Budgets.DocumentSeconds);
  return "the document reached its output budget of " + FormatNumber(static_cast<double>(Budgets.OutputBytes) / (1 << 20), 1) +
         " MiB";
}

// Each kind of damage: whether a page has it, its note and what a group of pages lost of it.
struct DamageKind {
  bool PageDamage::*Has;
  const char* Note;
  const char* Lost;
};
const DamageKind DamageKinds[] = {
    {&PageDamage::ContentNotRead, "poppler could not read some of its content; what that content shows is missing.",
     " lost content that poppler could not read"},
    {&PageDamage::TextNotRead, "its text is missing: its glyphs stand for no characters, and only its drawing shows them.",
     " kept their drawing but lost the text (their glyphs stand for no characters)"},
    {&PageDamage::PicturesNotDecoded, "some of its pictures could not be decoded and are blank or partly drawn.",
     " lost pictures that poppler could not decode"},
    {&PageDamage::PicturesTooLarge, "some of its pictures are too large to draw (over 32767 pixels a side) and are missing.",
     " lost pictures too large to draw (over 32767 pixels a side)"},
};

}  // namespace

std::string UnconvertedNote(const Unconverted& Rest, const LossBudgets& Budgets) {
  std::string Named = PagesNamed(Rest);
  Named[0] = 'P';
  return Named + (Rest.First == Rest.Last ? " was" : " were") + " not converted: " + WhyUnconverted(Rest, Budgets) + ".";
}

std::string IncompleteNote(const PageOutcome& Page) {
  std::string Note = LossNote(Page);
  for (const DamageKind& Kind : DamageKinds) {
    if (!(Page.Damage.*Kind.Has)) continue;
    std::string Sentence = Kind.Note;
    if (Note.empty()) {
      Note = "Incomplete page: ";
    } else {
      Note += " ";
      Sentence[0] = static_cast<char>(Sentence[0] - 'a' + 'A');
    }
    Note += Sentence;
  }
  if (Page.OutOfRange) {
    Note += Note.empty() ? "" : " ";
    Note += "Its size is out of range: the page is shown cut to at most 14400 points each way.";
  }
  if (Page.GlyphsDropped) {
    Note += Note.empty() ? "" : " ";
    Note += "Some of its glyphs are missing: the document has more different glyphs than can be kept.";
  }
  return Note;
}

std::string LossWarning(const std::vector<PageOutcome>& Pages, const std::string& InfoLost, const LossBudgets& Budgets,
                        const Unconverted& Rest) {
  std::map<std::pair<int, bool>, std::vector<int>> Groups;
  std::vector<int> OutOfRange;
  std::vector<std::vector<int>> Damaged(std::size(DamageKinds));
  for (size_t I = 0; I < Pages.size(); ++I) {
    const int Page = static_cast<int>(I) + 1;
    if (Pages[I].Lost != Loss::None) Groups[{static_cast<int>(Pages[I].Lost), Pages[I].HasText}].push_back(Page);
    if (Pages[I].OutOfRange) OutOfRange.push_back(Page);
    for (size_t K = 0; K < Damaged.size(); ++K) {
      if (Pages[I].Damage.*DamageKinds[K].Has) Damaged[K].push_back(Page);
    }
  }
  bool AnyDamage = false;
  for (const std::vector<int>& Numbers : Damaged) AnyDamage = AnyDamage || !Numbers.empty();
  std::string Line;
  if (!InfoLost.empty()) Line = "warning: the outline and metadata are left out (" + InfoLost + ")";
  if (!OutOfRange.empty()) {
    Line += Line.empty() ? "warning: " : "; ";
    Line += (OutOfRange.size() == 1 ? "page " + PageList(OutOfRange) + " is" : "pages " + PageList(OutOfRange) + " are") +
            " larger than a PDF page may be and shown cut to 14400 points each way, marked in the HTML";
  }
  if (!Groups.empty() || AnyDamage) {
    Line += Line.empty() ? "warning: " : "; ";
    Line += "incomplete pages, marked in the HTML:";
    bool First = true;
    for (const auto& [Key, Numbers] : Groups) {
      Line += First ? " " : "; ";
      First = false;
      Line += (Numbers.size() == 1 ? "page " : "pages ") + PageList(Numbers);
      Line += GroupLoss(static_cast<Loss>(Key.first), Key.second, Budgets);
    }
    for (size_t K = 0; K < Damaged.size(); ++K) {
      if (Damaged[K].empty()) continue;
      Line += First ? " " : "; ";
      First = false;
      Line += (Damaged[K].size() == 1 ? "page " : "pages ") + PageList(Damaged[K]) + DamageKinds[K].Lost;
    }
  }
  if (Rest.First > 0) {
    Line += Line.empty() ? "warning: " : "; ";
    Line += PagesNamed(Rest) + " not converted (" + WhyUnconverted(Rest, Budgets) + "), noted at the end of the HTML";
  }
  return Line;
}

std::string PageList(const std::vector<int>& Pages) {
  std::string Out;
  int Ranges = 0;
  for (size_t I = 0; I < Pages.size();) {
    size_t J = I;
    while (J + 1 < Pages.size() && Pages[J + 1] == Pages[J] + 1) ++J;
    if (++Ranges > 20) return Out + ", ...";
    if (!Out.empty()) Out += ", ";
    Out += std::to_string(Pages[I]);
    if (J > I) Out += "-" + std::to_string(Pages[J]);
    I = J + 1;
  }
  return Out;
}

}  // namespace Engine
