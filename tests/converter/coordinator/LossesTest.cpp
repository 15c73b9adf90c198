// What a run lost is said on each page that lost it and in one warning line, grouped and in order.
#include "coordinator/Losses.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace Engine;

TEST(IncompleteNote, EachLossHasItsOwnNote) {
  const struct {
    const char* Name;
    PageOutcome Page;
    std::string Note;
  } Cases[] = {
      {"complete", {}, ""},
      {"pictured", {Loss::Pictured, true, false, false, {}},
       "Simplified page: its drawing, too large to keep as shapes, is shown as a picture."},
      {"not drawn, text kept", {Loss::NotDrawn, true, false, false, {}}, "Incomplete page: its drawing could not be made."},
      {"not read at all", {Loss::NotDrawn, false, false, false, {}},
       "Incomplete page: poppler could not read it; its text and drawing are missing."},
      {"out of page time, text kept", {Loss::PageTime, true, false, false, {}},
       "Incomplete page: its drawing is missing (it took too long to convert)."},
      {"reader failed before the text", {Loss::ReaderFailed, false, false, false, {}},
       "Incomplete page: its text and drawing are missing (its conversion failed)."},
      {"out of document time", {Loss::DocumentTime, false, false, false, {}},
       "Incomplete page: its text and drawing are missing (the document took too long to convert)."},
      {"out of range alone", {Loss::None, true, true, false, {}},
       "Its size is out of range: the page is shown cut to at most 14400 points each way."},
      {"every note at once", {Loss::PageTime, true, true, true, {}},
       "Incomplete page: its drawing is missing (it took too long to convert). Its size is out of range: the page is "
       "shown cut to at most 14400 points each way. Some of its glyphs are missing: the document has more different "
       "glyphs than can be kept."},
  };
  for (const auto& Case : Cases) EXPECT_EQ(IncompleteNote(Case.Page), Case.Note) << Case.Name;
}

// What poppler could not read of a page that was converted all the same.
PageOutcome Damaged(bool Pictures, bool TooLarge, bool Content, bool Text, Loss Lost = Loss::None) {
  PageOutcome Page{Lost, true, false, false, {}};
  Page.Damage.PicturesNotDecoded = Pictures;
  Page.Damage.PicturesTooLarge = TooLarge;
  Page.Damage.ContentNotRead = Content;
  Page.Damage.TextNotRead = Text;
  return Page;
}

TEST(IncompleteNote, WhatPopplerCouldNotReadIsNotedAfterTheLoss) {
  const struct {
    const char* Name;
    PageOutcome Page;
    std::string Note;
  } Cases[] = {
      {"a picture not decoded", Damaged(true, false, false, false),
       "Incomplete page: some of its pictures could not be decoded and are blank or partly drawn."},
      {"a picture too large", Damaged(false, true, false, false),
       "Incomplete page: some of its pictures are too large to draw (over 32767 pixels a side) and are missing."},
      {"content not read", Damaged(false, false, true, false),
       "Incomplete page: poppler could not read some of its content; what that content shows is missing."},
      {"glyphs without text", Damaged(false, false, false, true),
       "Incomplete page: its text is missing: its glyphs stand for no characters, and only its drawing shows them."},
      {"two kinds, one sentence each", Damaged(true, true, false, false),
       "Incomplete page: some of its pictures could not be decoded and are blank or partly drawn. Some of its pictures "
       "are too large to draw (over 32767 pixels a side) and are missing."},
      {"after a drawing shown as a picture", Damaged(false, true, false, false, Loss::Pictured),
       "Simplified page: its drawing, too large to keep as shapes, is shown as a picture. Some of its pictures are too "
       "large to draw (over 32767 pixels a side) and are missing."},
  };
  for (const auto& Case : Cases) EXPECT_EQ(IncompleteNote(Case.Page), Case.Note) << Case.Name;
}

TEST(LossWarning, PagesAreGroupedByWhatTheyLostAndWhy) {
  const LossBudgets Budgets{120, 2700};
  const PageOutcome Complete, Slow{Loss::PageTime, true, false, false, {}}, Crashed{Loss::ReaderFailed, false, false, false, {}};
  const PageOutcome Huge{Loss::None, true, true, false, {}}, Pictured{Loss::Pictured, true, false, false, {}};
  const PageOutcome Late{Loss::DocumentTime, false, false, false, {}};
  const struct {
    const char* Name;
    std::vector<PageOutcome> Pages;
    std::string InfoLost;
    std::string Line;
  } Cases[] = {
      {"nothing lost", {Complete, Complete}, "", ""},
      {"the outline alone", {Complete}, "not read within the time budget of 120 s",
       "warning: the outline and metadata are left out (not read within the time budget of 120 s)"},
      {"one page over its time", {Complete, Slow},
       "", "warning: incomplete pages, marked in the HTML: page 2 kept their text but lost the drawing (over the page "
           "time budget of 120 s)"},
      {"runs of pages, two causes, in the order of the causes",
       {Crashed, Slow, Slow, Slow, Complete, Crashed, Pictured}, "",
       "warning: incomplete pages, marked in the HTML: page 7 kept their text, their drawing shown as a picture (over "
       "the drawing's size budget); pages 2-4 kept their text but lost the drawing (over the page time budget of 120 s); "
       "pages 1, 6 lost text and drawing (their reader crashed, hit its memory cap or sent a malformed report)"},
      {"a page too large, and the document out of time",
       {Huge, Late, Late}, "",
       "warning: page 1 is larger than a PDF page may be and shown cut to 14400 points each way, marked in the HTML; "
       "incomplete pages, marked in the HTML: pages 2-3 lost text and drawing (the document ran out of its time budget "
       "of 2700 s)"},
      {"damage alone, one group a kind",
       {Damaged(true, false, false, false), Complete, Damaged(true, true, false, true), Damaged(false, false, true, false)},
       "",
       "warning: incomplete pages, marked in the HTML: page 4 lost content that poppler could not read; page 3 kept "
       "their drawing but lost the text (their glyphs stand for no characters); pages 1, 3 lost pictures that poppler "
       "could not decode; page 3 lost pictures too large to draw (over 32767 pixels a side)"},
      {"damage after the losses", {Slow, Damaged(true, false, false, false, Loss::PageTime)}, "",
       "warning: incomplete pages, marked in the HTML: pages 1-2 kept their text but lost the drawing (over the page "
       "time budget of 120 s); page 2 lost pictures that poppler could not decode"},
  };
  for (const auto& Case : Cases) EXPECT_EQ(LossWarning(Case.Pages, Case.InfoLost, Budgets), Case.Line) << Case.Name;
}

TEST(LossWarning, PagesNeverConvertedAreNamedWithTheBudgetThatRanOut) {
  const LossBudgets Budgets{120, 60.3, 48u << 20};
  const PageOutcome Complete, Late{Loss::DocumentTime, false, false, false};
  const struct {
    const char* Name;
    std::vector<PageOutcome> Pages;
    Unconverted Rest;
    std::string Line;
    std::string Note;
  } Cases[] = {
      {"out of time, with a page cut short",
       {Complete, Late},
       {3, 1048576, true},
       "warning: incomplete pages, marked in the HTML: page 2 lost text and drawing (the document ran out of its time "
       "budget of 60.3 s); pages 3-1048576 not converted (the document ran out of its time budget of 60.3 s), noted at "
       "the end of the HTML",
       "Pages 3-1048576 were not converted: the document ran out of its time budget of 60.3 s."},
      {"the last page, out of output",
       {Complete},
       {2, 2, false},
       "warning: page 2 not converted (the document reached its output budget of 48 MiB), noted at the end of the HTML",
       "Page 2 was not converted: the document reached its output budget of 48 MiB."},
  };
  for (const auto& Case : Cases) {
    EXPECT_EQ(LossWarning(Case.Pages, "", Budgets, Case.Rest), Case.Line) << Case.Name;
    EXPECT_EQ(UnconvertedNote(Case.Rest, Budgets), Case.Note) << Case.Name;
  }
}

TEST(PageList, RangesAndAnEndToLongLists) {
  std::vector<int> Scattered;
  for (int Page = 1; Page <= 60; Page += 2) Scattered.push_back(Page);
  const struct {
    std::vector<int> Pages;
    std::string Text;
  } Cases[] = {
      {{}, ""},
      {{4}, "4"},
      {{1, 2, 3, 5, 7, 8}, "1-3, 5, 7-8"},
      {Scattered, "1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31, 33, 35, 37, 39, ..."},
  };
  for (const auto& Case : Cases) EXPECT_EQ(PageList(Case.Pages), Case.Text);
}

}  // namespace
