// The front end's run: settings, the checks of the command line in their fixed order, exit codes.
#pragma once

#include <functional>
#include <string>
#include <string_view>

// The run's settings. Option values stay the texts that were given.
struct RunSettings {
  std::string InputFile;
  std::string OutputFolder;
  std::string LoopCount = "0";
  std::string VerboseLevel = "1";
  std::string PixelWidth = "0";
  std::string PixelHeight = "0";
  std::string EngineArgs;
};

enum ExitCode : int {
  kExitDone = 0,
  kExitUsage = 1,
  kExitTooManyArgs = 2,
  kExitNoInputFile = 4,
  kExitLoopCount = 6,
  kExitVerboseLevel = 7,
  kExitPixelWidth = 8,
  kExitPixelHeight = 9,
  kExitUnexpected = 99,
};

// Receives each console line without its line end.
using LineWriter = std::function<void(std::string_view)>;

std::string UsageText();

// Runs the whole job for the process's arguments and returns the exit code; every message
// goes to print. The caller ends the process with the code.
int RunSequence(int argc, char** argv, RunSettings& settings, const LineWriter& print);
