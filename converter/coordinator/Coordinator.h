// The engine's run: argument check, opening the PDF, conversion page by page, and the exit status.
#pragma once

namespace Engine {

// Exit statuses, documented in converter/README.md.
enum ExitStatus : int {
  ExitSuccess = 0,
  ExitUsage = 1,
  ExitCannotOpen = 2,
  ExitNotPdf = 3,
  ExitNeedsPassword = 4,
  ExitCannotWrite = 5,
  ExitInternal = 6,
};

// Runs `pdf INPUT OUTPUTBASE` and returns the exit status; messages go to standard error.
int RunEngine(int Argc, char** Argv);

}  // namespace Engine
