// Default budgets and their overrides from the environment.
#include "coordinator/Budgets.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace Engine {

namespace {

// Each a few times what the slowest and largest real documents measured need (see
// converter/README.md for the figures and why).
constexpr double DefaultPageSeconds = 120;
constexpr double DefaultDocumentSeconds = 60;
constexpr double DefaultDocumentSecondsPerMegabyte = 180;
constexpr double DefaultDocumentCeilingSeconds = 7200;
constexpr uint64_t DefaultOutputBytes = 48ull << 20;
constexpr uint64_t DefaultOutputBytesPerInputByte = 24;
constexpr uint64_t DefaultOutputCeilingBytes = 4ull << 30;
constexpr uint64_t DefaultRunMegabytes = 1536;
// What the coordinator keeps of the run's memory: its own code, the text of the pages ahead of
// the one it writes, the fonts.
constexpr uint64_t CoordinatorBytes = 256ull << 20;
// The least a worker needs to draw the heaviest real pages measured (transparency groups as
// large as the page, at a quarter point).
constexpr uint64_t LeastWorkerBytes = 384ull << 20;
constexpr int MostWorkers = 8;

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

double Budgets::DocumentLimit(uint64_t InputBytes) const {
  const double Megabytes = static_cast<double>(InputBytes) / (1 << 20);
  return std::min(DocumentCeilingSeconds, DocumentSeconds + DocumentSecondsPerMegabyte * Megabytes);
}

uint64_t Budgets::OutputLimit(uint64_t InputBytes) const {
  const uint64_t Room = OutputCeilingBytes > OutputBytes ? OutputCeilingBytes - OutputBytes : 0;
  if (OutputBytesPerInputByte > 0 && InputBytes > Room / OutputBytesPerInputByte) return OutputCeilingBytes;
  return std::min(OutputCeilingBytes, OutputBytes + OutputBytesPerInputByte * InputBytes);
}

Budgets ReadBudgets(const char* (*Lookup)(const char* Name)) {
  Budgets Out;
  Out.PageSeconds = DefaultPageSeconds;
  Out.DocumentSeconds = DefaultDocumentSeconds;
  Out.DocumentSecondsPerMegabyte = DefaultDocumentSecondsPerMegabyte;
  Out.DocumentCeilingSeconds = DefaultDocumentCeilingSeconds;
  Out.OutputBytes = DefaultOutputBytes;
  Out.OutputBytesPerInputByte = DefaultOutputBytesPerInputByte;
  Out.OutputCeilingBytes = DefaultOutputCeilingBytes;
  Out.RunBytes = DefaultRunMegabytes << 20;
  if (const double Page = Positive(Lookup("QUIRECAST_PAGE_SECONDS")); Page > 0) Out.PageSeconds = Page;
  if (const double Document = Positive(Lookup("QUIRECAST_DOCUMENT_SECONDS")); Document > 0) {
    Out.DocumentSeconds = Out.DocumentCeilingSeconds = Document;
    Out.DocumentSecondsPerMegabyte = 0;
  }
  if (const double Megabytes = Positive(Lookup("QUIRECAST_MEMORY_MEGABYTES")); Megabytes >= 1 && Megabytes < 1e9) {
    Out.RunBytes = static_cast<uint64_t>(Megabytes) << 20;
  }
  if (const double Megabytes = Positive(Lookup("QUIRECAST_WORKER_MEGABYTES")); Megabytes >= 1 && Megabytes < 1e9) {
    Out.WorkerBytes = static_cast<uint64_t>(Megabytes) << 20;
  }
  return Out;
}

WorkerPlan PlanWorkers(const Budgets& Limits, int Cores, uint64_t PhysicalBytes, int PageCount) {
  uint64_t Run = Limits.RunBytes;
  if (PhysicalBytes > 0) Run = std::min(Run, PhysicalBytes / 2);
  // However small the machine, one worker gets what a heavy page needs: the run is then slower
  // to fail, never unable to start.
  const uint64_t Pool = std::max(LeastWorkerBytes, Run > CoordinatorBytes ? Run - CoordinatorBytes : 0);
  const uint64_t Each = Limits.WorkerBytes > 0 ? Limits.WorkerBytes : LeastWorkerBytes;
  const uint64_t Fit = Pool / Each;
  WorkerPlan Plan;
  Plan.Workers = static_cast<int>(std::min<uint64_t>(Fit, static_cast<uint64_t>(std::clamp(Cores, 1, MostWorkers))));
  Plan.Workers = std::max(1, std::min(Plan.Workers, std::max(PageCount, 1)));
  Plan.WorkerBytes = Limits.WorkerBytes > 0 ? Limits.WorkerBytes : Pool / static_cast<uint64_t>(Plan.Workers);
  return Plan;
}

}  // namespace Engine
