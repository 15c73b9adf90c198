// Entry point of the conversion engine `pdf INPUT OUTPUTBASE`.
#include "coordinator/Coordinator.h"

int main(int Argc, char** Argv) { return Engine::RunEngine(Argc, Argv); }
