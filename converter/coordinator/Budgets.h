// The limits that keep every conversion bounded: time per page and per document, memory per worker.
#pragma once

#include <cstdint>

namespace Engine {

struct Budgets {
  // From handing a page to a worker until its drawing is written.
  double PageSeconds = 0;
  // For the whole run: DocumentSeconds plus DocumentSecondsPerPage for each page.
  double DocumentSeconds = 0;
  double DocumentSecondsPerPage = 0;
  // Address space of a worker besides the input file, which it maps.
  uint64_t WorkerBytes = 0;

  double DocumentLimit(int PageCount) const { return DocumentSeconds + DocumentSecondsPerPage * PageCount; }
};

// The defaults (see converter/README.md), each replaced by its environment variable when that
// holds a positive number: QUIRECAST_PAGE_SECONDS, QUIRECAST_DOCUMENT_SECONDS (the whole run's
// time, with nothing added per page) and QUIRECAST_WORKER_MEGABYTES. Lookup is getenv.
Budgets ReadBudgets(const char* (*Lookup)(const char* Name));

}  // namespace Engine
