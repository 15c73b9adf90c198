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
  EXPECT_GT(Defaults.DocumentLimit(1000), Defaults.DocumentLimit(10)) << "longer documents get more time";

  Environment = {{"QUIRECAST_PAGE_SECONDS", "2.5"}, {"QUIRECAST_DOCUMENT_SECONDS", "30"},
                 {"QUIRECAST_WORKER_MEGABYTES", "300"}};
  const Budgets Set = ReadBudgets(Lookup);
  EXPECT_EQ(Set.PageSeconds, 2.5);
  EXPECT_EQ(Set.DocumentLimit(1000), 30) << "a document budget that is set is the whole run's";
  EXPECT_EQ(Set.WorkerBytes, 300ull << 20);

  for (const char* Bad : {"", "0", "-5", "1e3", "5s", "1.2.3", "nan"}) {
    Environment = {{"QUIRECAST_PAGE_SECONDS", Bad}, {"QUIRECAST_WORKER_MEGABYTES", Bad}};
    const Budgets Ignored = ReadBudgets(Lookup);
    EXPECT_EQ(Ignored.PageSeconds, Defaults.PageSeconds) << Bad;
    EXPECT_EQ(Ignored.WorkerBytes, Defaults.WorkerBytes) << Bad;
  }
}

}  // namespace
