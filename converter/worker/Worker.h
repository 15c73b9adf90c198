// The engine's worker mode: reads the document for the coordinator, one page at a time.
#pragma once

#include <string>
#include <vector>

namespace Engine {

// The arguments that start a worker after the program's name: the mode, its memory cap in bytes
// and the coordinator's process id.
constexpr const char* WorkerFlag = "--worker";
std::vector<std::string> WorkerArguments(unsigned long long MemoryCap, const std::string& ParentId);

// Runs a worker started with Args (the whole argument list); returns its exit status.
int RunWorker(const std::vector<std::string>& Args);

}  // namespace Engine
