// The engine's entry: a worker when started as one, else a conversion of INPUT into OUTPUTBASE.html.
#pragma once

namespace Engine {

// Runs `pdf INPUT OUTPUTBASE`, or a worker, and returns the exit status; messages go to standard error.
int RunEngine(int Argc, char** Argv);

}  // namespace Engine
