// Hand-off to the conversion engine: its file, its arguments, the run and the report line.
#pragma once

#include <string>

#include "app/RunSequence.h"
#include "paths/Paths.h"

// The engine's file name, "pdf" with the platform's executable suffix.
std::string EngineFileName();

// The output folder, then the base name twice, each joined with a separator.
std::string OutputBase(const std::string& outputFolder, const std::string& baseName,
                       const PathStyle& style);

// Two spaces, the quoted input, two spaces, the quoted output base; nothing escaped.
std::string ComposeEngineArgs(const std::string& inputFile, const std::string& outputBase);

// The engine's command line: its path, a space, its arguments. A path with a space or a tab is
// quoted so that it cannot be read as a shorter path followed by arguments.
std::string ComposeCommandLine(const std::string& enginePath, const std::string& engineArgs);

// Runs the engine on the settings' input and prints whether it wrote a new HTML file.
void RunConversion(RunSettings& settings, const LineWriter& print);
