// Hand-off to the conversion engine. The engine is trusted with nothing but the HTML file it
// must leave: success is a file at the expected path that this run wrote.
#include "engine/Conversion.h"

#include "platform/Platform.h"

std::string EngineFileName() { return std::string("pdf") + Platform::ExecutableSuffix; }

std::string OutputBase(const std::string& OutputFolder, const std::string& BaseName, char Separator) {
  return OutputFolder + Separator + BaseName + Separator + BaseName;
}

std::string ComposeEngineArgs(const std::string& InputFile, const std::string& Base) {
  return "  \"" + InputFile + "\"  \"" + Base + "\"";
}

std::string ComposeCommandLine(const std::string& EnginePath, const std::string& EngineArgs) {
  const bool NeedsQuotes = EnginePath.find_first_of(" \t") != std::string::npos;
  const std::string Head = NeedsQuotes ? "\"" + EnginePath + "\"" : EnginePath;
  return Head + " " + EngineArgs;
}

bool RunConversion(const std::string& EnginePath, const std::string& InputFile,
                   const std::string& Base) {
  Platform::ChildCommand Engine;
  Engine.Program = EnginePath;
  Engine.CommandLine = ComposeCommandLine(EnginePath, ComposeEngineArgs(InputFile, Base));
  Engine.Arguments = {EnginePath, InputFile, Base};

  // A file left by an earlier run must not pass for this run's result.
  const std::string Expected = Base + ".html";
  const Platform::FileLookup Before = Platform::LookUpFile(Expected);
  Platform::RunAndWait(Engine);
  const Platform::FileLookup After = Platform::LookUpFile(Expected);
  return After.Found && !After.IsFolder &&
         (!Before.Found || Before.IsFolder || Before.WriteTime != After.WriteTime);
}
