// Entry point of the conversion engine `pdf INPUT OUTPUTBASE`.
#include "Engine.h"

int main(int Argc, char** Argv) { return Engine::RunEngine(Argc, Argv); }
