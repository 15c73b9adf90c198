// Hand-off to the conversion engine. The engine is trusted with nothing but the HTML file it
// must leave: success is a file at the expected path that this run wrote.
#include "engine/Conversion.h"

#include "platform/Platform.h"

std::string EngineFileName() { return std::string("pdf") + platform::kExecutableSuffix; }

std::string OutputBase(const std::string& outputFolder, const std::string& baseName,
                       const PathStyle& style) {
  return outputFolder + style.separator + baseName + style.separator + baseName;
}

std::string ComposeEngineArgs(const std::string& inputFile, const std::string& outputBase) {
  return "  \"" + inputFile + "\"  \"" + outputBase + "\"";
}

std::string ComposeCommandLine(const std::string& enginePath, const std::string& engineArgs) {
  const bool needsQuotes = enginePath.find_first_of(" \t") != std::string::npos;
  const std::string head = needsQuotes ? "\"" + enginePath + "\"" : enginePath;
  return head + " " + engineArgs;
}

void RunConversion(RunSettings& settings, const LineWriter& print) {
  const PathStyle style = NativePathStyle();
  const std::string baseName = NameWithoutExt(settings.InputFile, style);
  const std::string outputBase = OutputBase(settings.OutputFolder, baseName, style);
  settings.EngineArgs = ComposeEngineArgs(settings.InputFile, outputBase);

  platform::ChildCommand engine;
  engine.program = ExeFolderFile(EngineFileName());
  engine.commandLine = ComposeCommandLine(engine.program, settings.EngineArgs);
  engine.args = {engine.program, settings.InputFile, outputBase};

  // A file left by an earlier run must not pass for this run's result.
  const std::string expected = outputBase + ".html";
  const platform::FileLookup before = platform::LookUpFile(expected);
  platform::RunAndWait(engine);
  const platform::FileLookup after = platform::LookUpFile(expected);

  const bool wroteFile = after.found && !after.isFolder &&
                         (!before.found || before.isFolder || before.writeTime != after.writeTime);
  print("Convert to: " + settings.OutputFolder + (wroteFile ? " [Success]" : " [Failed]"));
}
