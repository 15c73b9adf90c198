// The front end's run: checks the command line in a fixed order, each failure with its own
// message and exit code, makes the output subfolder and hands over to the conversion.
#include "app/RunSequence.h"

#include <new>

#include "app/Failure.h"
#include "cli/CommandLine.h"
#include "engine/Conversion.h"
#include "paths/Paths.h"
#include "platform/Platform.h"

namespace {

bool InRange(const std::string& value, int low, int high) {
  const int number = TextToInt(value);
  return number >= low && number <= high;
}

int Checked(const Args& args, RunSettings& settings, const LineWriter& print) {
  if (ArgCount(args) < 1) {
    print(UsageText());
    return kExitUsage;
  }
  if (ArgCount(args) > 6) {
    print("Parameters error! Please run Quirecast to get help.");
    return kExitTooManyArgs;
  }
  settings.InputFile = ArgText(args, 1);
  if (settings.InputFile.find('?') != std::string::npos) {
    print(UsageText());
    return kExitUsage;
  }
  if (!IsExistingFile(settings.InputFile)) {
    print("Input file does not found: " + settings.InputFile);
    return kExitNoInputFile;
  }

  // A folder that cannot be made is not an error here: the report will say the run failed.
  const PathStyle style = NativePathStyle();
  settings.OutputFolder = ArgText(args, 2);
  if (!settings.OutputFolder.empty()) {
    MakeFolderChain(settings.OutputFolder + style.separator +
                        NameWithoutExt(settings.InputFile, style) + style.separator,
                    style);
  }

  const struct {
    const char* name;
    std::string* field;
  } options[] = {{"-L", &settings.LoopCount},
                 {"-V", &settings.VerboseLevel},
                 {"-X", &settings.PixelWidth},
                 {"-Y", &settings.PixelHeight}};
  for (const auto& option : options) {
    if (HasOption(args, option.name)) *option.field = OptionValue(args, option.name);
  }

  if (!InRange(settings.LoopCount, 0, 100)) {
    print("Loop count must be in the range 1-100.");
    return kExitLoopCount;
  }
  const std::string& verbose = settings.VerboseLevel;
  if (!verbose.empty() && verbose != "0" && verbose != "1" && verbose != "2") {
    print("Verbose level must be in [0,1,2].");
    return kExitVerboseLevel;
  }
  if (!InRange(settings.PixelWidth, 0, 9999)) {
    print("Pixel width must be in the range 1-9999.");
    return kExitPixelWidth;
  }
  if (!InRange(settings.PixelHeight, 0, 9999)) {
    print("Pixel height must be in the range 1-9999.");
    return kExitPixelHeight;
  }

  RunConversion(settings, print);
  return kExitDone;
}

}  // namespace

std::string UsageText() {
  const std::string lineEnd = platform::kLineEnd;
  const char* const lines[] = {
      "Vellumark PDF to Html Command Line Usage:",
      "Quirecast <Input filename> <Output Path> ",
      "Parameters",
      "<Input filename>:          Input filename.",
      "<Output path>:         Output folder.",
      "Examples:",
      "  Quirecast \"D:\\in\\sample1.pdf\" \"d:\\\" ",
      "  (c) 2026 Vellumark. Free software under the GNU GPL, version 2 or later.",
  };
  std::string text;
  for (const char* line : lines) {
    if (!text.empty()) text += lineEnd;
    text += line;
  }
  return text;
}

int RunSequence(int argc, char** argv, RunSettings& settings, const LineWriter& print) {
  try {
    return Checked(ProcessArgs(argc, argv), settings, print);
  } catch (const Failure& failure) {
    print(std::string("Unexpected error: ") + failure.what() + ".");
  } catch (const std::bad_alloc&) {
    print("Unexpected error: Out of memory.");
  }
  return kExitUnexpected;
}
