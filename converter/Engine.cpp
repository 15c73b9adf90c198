// The engine's entry: a worker when started as one, else a conversion of INPUT into OUTPUTBASE.html.
#include "Engine.h"

#include "coordinator/Coordinator.h"
#include "platform/Platform.h"
#include "protocol/WorkerProtocol.h"
#include "worker/Worker.h"

#include <string>
#include <vector>

namespace Engine {

int RunEngine(int Argc, char** Argv) {
  const std::vector<std::string> Args = Platform::Arguments(Argc, Argv);
  if (Args.size() == 4 && Args[1] == WorkerFlag) return RunWorker(Args);
  if (Args.size() != 3) {
    Platform::WriteMessage("pdf: usage: pdf INPUT OUTPUTBASE (converts the PDF INPUT into OUTPUTBASE.html)");
    return ExitUsage;
  }
  Platform::QuietLibraryMessages();
  return Convert(Args[1], Args[2], RunWorker);
}

}  // namespace Engine
