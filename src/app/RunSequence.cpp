// The front end's run: checks the command line in a fixed order, each failure with its own
// message and exit code, makes the output subfolder and hands over to the conversion.
#include "app/RunSequence.h"

#include <new>

#include "cli/CommandLine.h"
#include "common/Failure.h"
#include "engine/Conversion.h"
#include "paths/Paths.h"
#include "platform/Platform.h"

namespace {

// The run's settings. Option values stay the texts that were given.
struct RunSettings {
  std::string InputFile;
  std::string OutputFolder;
  std::string LoopCount = "0";
  std::string VerboseLevel = "1";
  std::string PixelWidth = "0";
  std::string PixelHeight = "0";
};

bool InRange(const std::string& Value, int Low, int High) {
  const int Number = TextToInt(Value);
  return Number >= Low && Number <= High;
}

int Checked(const Args& Arguments, const LineWriter& Print) {
  if (ArgCount(Arguments) < 1) {
    Print(UsageText());
    return ExitUsage;
  }
  if (ArgCount(Arguments) > 6) {
    Print("Parameters error! Please run Quirecast to get help.");
    return ExitTooManyArgs;
  }
  RunSettings Settings;
  Settings.InputFile = ArgText(Arguments, 1);
  if (Settings.InputFile.find('?') != std::string::npos) {
    Print(UsageText());
    return ExitUsage;
  }
  if (!IsExistingFile(Settings.InputFile)) {
    Print("Input file does not found: " + Settings.InputFile);
    return ExitNoInputFile;
  }

  // A folder that cannot be made is not an error here: the report will say the run failed.
  const PathStyle Style = NativePathStyle();
  const std::string BaseName = NameWithoutExt(Settings.InputFile, Style);
  Settings.OutputFolder = ArgText(Arguments, 2);
  if (!Settings.OutputFolder.empty()) {
    MakeFolderChain(Settings.OutputFolder + Style.Separator + BaseName + Style.Separator, Style);
  }

  const struct {
    const char* Name;
    std::string* Field;
  } Options[] = {{"-L", &Settings.LoopCount},
                 {"-V", &Settings.VerboseLevel},
                 {"-X", &Settings.PixelWidth},
                 {"-Y", &Settings.PixelHeight}};
  for (const auto& Option : Options) {
    if (HasOption(Arguments, Option.Name)) *Option.Field = OptionValue(Arguments, Option.Name);
  }

  if (!InRange(Settings.LoopCount, 0, 100)) {
    Print("Loop count must be in the range 1-100.");
    return ExitLoopCount;
  }
  const std::string& Verbose = Settings.VerboseLevel;
  if (!Verbose.empty() && Verbose != "0" && Verbose != "1" && Verbose != "2") {
    Print("Verbose level must be in [0,1,2].");
    return ExitVerboseLevel;
  }
  if (!InRange(Settings.PixelWidth, 0, 9999)) {
    Print("Pixel width must be in the range 1-9999.");
    return ExitPixelWidth;
  }
  if (!InRange(Settings.PixelHeight, 0, 9999)) {
    Print("Pixel height must be in the range 1-9999.");
    return ExitPixelHeight;
  }

  const std::string Base = OutputBase(Settings.OutputFolder, BaseName, Style.Separator);
  const bool Wrote = RunConversion(ExeFolderFile(EngineFileName()), Settings.InputFile, Base);
  Print("Convert to: " + Settings.OutputFolder + (Wrote ? " [Success]" : " [Failed]"));
  return ExitDone;
}

}  // namespace

std::string UsageText() {
  const char* const Lines[] = {
#include "app/UsageText.inc"
  };
  std::string Text;
  for (const char* Line : Lines) {
    if (!Text.empty()) Text += Platform::LineEnd;
    Text += Line;
  }
  return Text;
}

int RunSequence(int Argc, char** Argv, const LineWriter& Print) {
  try {
    return Checked(ProcessArgs(Argc, Argv), Print);
  } catch (const Failure& Caught) {
    Print(std::string("Unexpected error: ") + Caught.what() + ".");
  } catch (const std::bad_alloc&) {
    Print("Unexpected error: Out of memory.");
  }
  return ExitUnexpected;
}
