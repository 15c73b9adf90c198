// The engine's worker mode: reads the document for the coordinator, one page at a time.
#pragma once

#include <string>
#include <vector>

namespace Engine {

// Runs a worker started with Args (the whole argument list); returns its exit status.
int RunWorker(const std::vector<std::string>& Args);

}  // namespace Engine
