// Process entry of the front end.
#include "app/RunSequence.h"
#include "platform/Platform.h"

int main(int argc, char** argv) {
  RunSettings settings;
  const int code = RunSequence(argc, argv, settings, [](std::string_view line) {
    platform::WriteOut(std::string(line) + platform::kLineEnd);
  });
  platform::Terminate(code);
}
