// The coordinator: hands pages to worker processes, holds them to their budgets, writes the HTML in order.
#pragma once

#include "platform/Platform.h"

#include <string>

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

// Converts the PDF file Input into OutputBase.html and the page drawings beside it, with workers
// that run Worker; returns the exit status, after a line on standard error when the conversion
// failed or lost anything.
int Convert(const std::string& Input, const std::string& OutputBase, Platform::WorkerProcess::WorkerEntry Worker);

}  // namespace Engine
