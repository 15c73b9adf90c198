// Default budgets and their overrides from the environment.
#include "coordinator/Budgets.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace Engine {

namespace {

// The slowest real page measured took a small fraction of these (see converter/README.md).
constexpr double DefaultPageSeconds = 120;
constexpr double DefaultDocumentSeconds = 600;
constexpr double DefaultDocumentSecondsPerPage = 10;
constexpr uint64_t DefaultWorkerMegabytes = 3072;

// A positive decimal number, or 0 when Text is anything else.
double Positive(const char* Text) {
  if (Text == nullptr || *Text == '\0') return 0;
  const std::string Value = Text;
  double Whole = 0, Scale = 0;
  for (const char C : Value) {
    if (C == '.' && Scale == 0) {
      Scale = 1;
    } else if (C >= '0' && C <= '9') {
      if (Scale == 0) {
        Whole = Whole * 10 + (C - '0');
      } else {
        Scale /= 10;
        Whole += (C - '0') * Scale;
      }
    } else {
      return 0;
    }
  }
  return std::isfinite(Whole) && Whole > 0 ? Whole : 0;
}

}  // namespace

Budgets ReadBudgets(const char* (*Lookup)(const char* Name)) {
  Budgets Out;
  Out.PageSeconds = DefaultPageSeconds;
  Out.DocumentSeconds = DefaultDocumentSeconds;
  Out.DocumentSecondsPerPage = DefaultDocumentSecondsPerPage;
  Out.WorkerBytes = DefaultWorkerMegabytes << 20;
  if (const double Page = Positive(Lookup("QUIRECAST_PAGE_SECONDS")); Page > 0) Out.PageSeconds = Page;
  if (const double Document = Positive(Lookup("QUIRECAST_DOCUMENT_SECONDS")); Document > 0) {
    Out.DocumentSeconds = Document;
    Out.DocumentSecondsPerPage = 0;
  }
  if (const double Megabytes = Positive(Lookup("QUIRECAST_WORKER_MEGABYTES")); Megabytes >= 1 && Megabytes < 1e9) {
    Out.WorkerBytes = static_cast<uint64_t>(Megabytes) << 20;
  }
  return Out;
}

}  // namespace Engine
