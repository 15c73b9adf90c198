// Hand-off to the conversion engine: its file, its arguments, the run and its outcome.
#pragma once

#include <string>

// The engine's file name, "pdf" with the platform's executable suffix.
std::string EngineFileName();

// The output folder, then the base name twice, each joined with the separator.
std::string OutputBase(const std::string& OutputFolder, const std::string& BaseName, char Separator);

// Two spaces, the quoted input, two spaces, the quoted output base; nothing escaped.
std::string ComposeEngineArgs(const std::string& InputFile, const std::string& Base);

// The engine's command line: its path, a space, its arguments. A path with a space or a tab is
// quoted so that it cannot be read as a shorter path followed by arguments.
std::string ComposeCommandLine(const std::string& EnginePath, const std::string& EngineArgs);

// Runs the engine at EnginePath on the input and waits for it; true when it wrote the file
// Base + ".html" in this run.
bool RunConversion(const std::string& EnginePath, const std::string& InputFile,
                   const std::string& Base);
