// Process entry of the front end.
#include "app/RunSequence.h"
#include "platform/Platform.h"

int main(int Argc, char** Argv) {
  const int Code = RunSequence(Argc, Argv, [](std::string_view Line) {
    Platform::WriteOut(std::string(Line) + Platform::LineEnd);
  });
  Platform::Terminate(Code);
}
