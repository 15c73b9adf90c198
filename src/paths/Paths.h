// Paths on this system: its path style, the executable's folder, file test, folder creation.
#pragma once

#include <string>
#include <string_view>

#include "paths/PathPieces.h"

PathStyle NativePathStyle();

// The named file in the folder of the running executable.
std::string ExeFolderFile(std::string_view Name);

// True when the path names an entry that is not a folder.
bool IsExistingFile(const std::string& Path);

// Makes sure the folder and every folder above it exist; false when one cannot be made.
bool MakeFolderChain(const std::string& Path, const PathStyle& Style);
