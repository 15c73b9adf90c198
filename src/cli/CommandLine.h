// Command-line splitting, argument access, option lookup and integer parsing; all plain byte work.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/LeadByte.h"

// The arguments after the program's own path.
using Args = std::vector<std::string>;

// Splits a raw command line into its arguments, the program's own path first. Quotes group and
// are dropped, a pair of quotes where an argument would begin is skipped, and there is no escape
// character: a backslash before a quote is an ordinary character.
std::vector<std::string> SplitCommandLine(std::string_view Line, LeadByteTest IsLeadByte);

// The process's arguments: its raw command line split where the platform keeps one, else argv.
Args ProcessArgs(int Argc, char** Argv);

int ArgCount(const Args& Arguments);

// The Index-th argument, counting from 1; empty past the last one.
std::string ArgText(const Args& Arguments, int Index);

// Lower-cases A to Z, then trims bytes 0 to 32 from both ends.
std::string NormalizeArg(std::string_view Text);

std::string FirstTwoChars(std::string_view Text);
std::string AfterFirstTwoChars(std::string_view Text);

// True when some argument, normalised, begins with the normalised name.
bool HasOption(const Args& Arguments, std::string_view Name);

// What follows the name in the first argument whose first two bytes, normalised, equal the
// normalised name; taken as given. Empty when no argument matches.
std::string OptionValue(const Args& Arguments, std::string_view Name);

// Parses a signed 32-bit integer: leading spaces, a sign, then decimal digits or hexadecimal
// digits after "$", "x", "X", "0x" or "0X". Throws Failure when the text is anything else.
std::int32_t TextToInt(const std::string& Text);
