// The budgets' defaults, and their overrides from the environment, which take only positive numbers.
#include "coordinator/Budgets.h"

#include <gtest/gtest.h>
#include <map>
#include <string>

namespace {

using namespace Engine;

TEST(Budgets, EnvironmentOverridesOnlyWithPositiveNumbers) {
  static std::map<std::string, std::string> Environment;
  const auto Lookup = [](const char* Name) -> const char* {
    const auto Found = Environment.find(Name);
    return Found == Environment.end() ? nullptr : Found->second.c_str();
  };
  const Budgets Defaults = ReadBudgets(Lookup);
  EXPECT_GT(Defaults.PageSeconds, 0);
  EXPECT_GT(Defaults.DocumentLimit(10 << 20), Defaults.DocumentLimit(10 << 10)) << "larger files get more time";

  Environment = {{"QUIRECAST_PAGE_SECONDS", "2.5"}, {"QUIRECAST_DOCUMENT_SECONDS", "30"},
                 {"QUIRECAST_WORKER_MEGABYTES", "300"}};
  const Budgets Set = ReadBudgets(Lookup);
  EXPECT_EQ(Set.PageSeconds, 2.5);
  EXPECT_EQ(Set.DocumentLimit(1ull << 40), 30) << "a document budget that is set is the whole run's";
  EXPECT_EQ(Set.WorkerBytes, 300ull << 20);

  for (const char* Bad : {"", "0", "-5", "1e3", "5s", "1.2.3", "nan"}) {
    Environment = {{"QUIRECAST_PAGE_SECONDS", Bad}, {"QUIRECAST_WORKER_MEGABYTES", Bad}};
    const Budgets Ignored = ReadBudgets(Lookup);
    EXPECT_EQ(Ignored.PageSeconds, Defaults.PageSeconds) << Bad;
    EXPECT_EQ(Ignored.WorkerBytes, Defaults.WorkerBytes) << Bad;
  }
}

TEST(Budgets, TimeAndOutputGrowWithTheFileUpToTheirCeilings) {
  Budgets Limits;
  Limits.DocumentSeconds = 60;
  Limits.DocumentSecondsPerMegabyte = 180;
  Limits.DocumentCeilingSeconds = 7200;
  Limits.OutputBytes = 48ull << 20;
  Limits.OutputBytesPerInputByte = 24;
  Limits.OutputCeilingBytes = 4ull << 30;
  const struct {
    uint64_t Input;
    double Seconds;
    uint64_t Output;
  } Cases[] = {
      {0, 60, 48ull << 20},
      {2400, 60 + 180 * 2400.0 / (1 << 20), (48ull << 20) + 24 * 2400},
      {10ull << 20, 1860, 288ull << 20},
      {1ull << 30, 7200, 4ull << 30},
      // No overflow on sizes no file has.
      {~0ull, 7200, 4ull << 30},
  };
  for (const auto& Case : Cases) {
    EXPECT_DOUBLE_EQ(Limits.DocumentLimit(Case.Input), Case.Seconds) << Case.Input;
    EXPECT_EQ(Limits.OutputLimit(Case.Input), Case.Output) << Case.Input;
  }
}

TEST(PlanWorkers, TheRunsMemoryIsSharedWithoutStarvingAWorker) {
  constexpr uint64_t MiB = 1ull << 20, GiB = 1ull << 30;
  const struct {
    const char* Name;
    uint64_t Run, Set;
    int Cores;
    uint64_t Physical;
    int Pages;
    int Workers;
    uint64_t Each;
  } Cases[] = {
      {"two cores share what the coordinator leaves", 1536 * MiB, 0, 2, 24 * GiB, 1000, 2, 640 * MiB},
      {"many cores: as many workers as have enough", 1536 * MiB, 0, 16, 64 * GiB, 1000, 3, 426 * MiB + 2 * MiB / 3},
      {"a small machine: half its memory", 1536 * MiB, 0, 8, 2 * GiB, 1000, 2, 384 * MiB},
      {"a tiny machine still gets one worker", 1536 * MiB, 0, 4, 256 * MiB, 1000, 1, 384 * MiB},
      {"one page, one worker with all of it", 1536 * MiB, 0, 4, 0, 1, 1, 1280 * MiB},
      {"a cap set from outside", 1536 * MiB, 300 * MiB, 8, 0, 1000, 4, 300 * MiB},
      {"a cap set above the run's", 1536 * MiB, 3072 * MiB, 8, 0, 1000, 1, 3072 * MiB},
  };
  for (const auto& Case : Cases) {
    Budgets Limits;
    Limits.RunBytes = Case.Run;
    Limits.WorkerBytes = Case.Set;
    const WorkerPlan Plan = PlanWorkers(Limits, Case.Cores, Case.Physical, Case.Pages);
    EXPECT_EQ(Plan.Workers, Case.Workers) << Case.Name;
    EXPECT_EQ(Plan.WorkerBytes, Case.Each) << Case.Name;
  }
}

}  // namespace
