// The front end's run: the checks of the command line in their fixed order, exit codes.
#pragma once

#include <functional>
#include <string>
#include <string_view>

enum ExitCode : int {
  ExitDone = 0,
  ExitUsage = 1,
  ExitTooManyArgs = 2,
  ExitNoInputFile = 4,
  ExitLoopCount = 6,
  ExitVerboseLevel = 7,
  ExitPixelWidth = 8,
  ExitPixelHeight = 9,
  ExitUnexpected = 99,
};

// Receives each console line without its line end.
using LineWriter = std::function<void(std::string_view)>;

// The usage lines joined with the platform's line end, none after the last.
std::string UsageText();

// Runs the whole job for the process's arguments and returns the exit code; every message
// goes to Print. The caller ends the process with the code.
int RunSequence(int Argc, char** Argv, const LineWriter& Print);
