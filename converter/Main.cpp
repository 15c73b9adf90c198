// Entry point of the conversion engine `pdf INPUT OUTPUTBASE`.
#include "Engine.h"
#include "platform/Platform.h"

int main(int Argc, char** Argv) { Engine::Platform::EndProcess(Engine::RunEngine(Argc, Argv)); }
