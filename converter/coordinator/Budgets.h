// The limits that keep every conversion bounded: time, output and memory, from what the input is.
#pragma once

#include <cstdint>

namespace Engine {

struct Budgets {
  // From handing a page to a worker until its drawing is written.
  double PageSeconds = 0;
  // The whole run's time: DocumentSeconds, plus DocumentSecondsPerMegabyte for each MiB of the
  // input file, at most DocumentCeilingSeconds. The file's size, not the page count it claims.
  double DocumentSeconds = 0;
  double DocumentSecondsPerMegabyte = 0;
  double DocumentCeilingSeconds = 0;
  // Everything the run writes: OutputBytes plus OutputBytesPerInputByte for each byte of the
  // input, at most OutputCeilingBytes.
  uint64_t OutputBytes = 0;
  uint64_t OutputBytesPerInputByte = 0;
  uint64_t OutputCeilingBytes = 0;
  // All the run's processes together.
  uint64_t RunBytes = 0;
  // A worker's address space besides the input file, when it is set from outside; 0 when the
  // workers share what the run may use.
  uint64_t WorkerBytes = 0;

  double DocumentLimit(uint64_t InputBytes) const;
  uint64_t OutputLimit(uint64_t InputBytes) const;
};

// The defaults (see converter/README.md), each replaced by its environment variable when that
// holds a positive number: QUIRECAST_PAGE_SECONDS, QUIRECAST_DOCUMENT_SECONDS (the whole run's
// time, whatever the input's size), QUIRECAST_MEMORY_MEGABYTES (the whole run's memory) and
// QUIRECAST_WORKER_MEGABYTES (each worker's). Lookup is getenv.
Budgets ReadBudgets(const char* (*Lookup)(const char* Name));

// How many workers a run starts and the address space each may use besides the input file.
struct WorkerPlan {
  int Workers = 1;
  uint64_t WorkerBytes = 0;
};

// Shares the run's memory (at most half the machine's, when PhysicalBytes is known) out among
// at most one worker a core, each with enough to draw a heavy page, after the coordinator's own.
WorkerPlan PlanWorkers(const Budgets& Limits, int Cores, uint64_t PhysicalBytes, int PageCount);

}  // namespace Engine
