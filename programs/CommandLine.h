// What diagraw says on the command line: the banner, the usage and help
// texts, the version, and one line on standard error for every failure.
//
// Standard output carries only the banner, the usage text (without an
// argument) and the help or version when asked for. Every failure is one line
// on standard error, "diagraw: <file>: <reason>", naming the input or the
// image concerned, escaped for the terminal (platform/TerminalText.h).
#pragma once

#include "platform/Status.h"

#include <cstdint>

class CRawX10;

// The program's name as the usage line shows it: the invocation path after
// its last backslash, or all of it when it holds none (a forward slash does
// not separate).
const char* ProgramName(const char* invocation);

void PrintBanner();
void PrintUsage(const char* programName);

// What a lone argument asks for: a conversion, unless it is "--help", "-h"
// or "--version" and no file of that name exists.
enum class Request : uint8_t { Convert, Help, Version };
Request RequestOf(const char* argument);

// "--help": the usage, the four outputs and the exit statuses.
void PrintHelp(const char* programName);

// "--version": "diagraw 0.3".
void PrintVersion();

// Further arguments after the input are ignored, and said to be.
void ReportIgnoredArguments(int count);

// The input could not be loaded; raw holds what the loader found out (the
// size of a file that is too short).
void ReportInputFailure(const CRawX10& raw, const char* path, Status status);

// Reads the header of raw's input (loaded) and prints
// "diagraw: <path>: warning: <what>" when InputWarningOf (raw/RafHeader.h)
// finds something; nothing when it does not, or when the header cannot be
// read. The run goes on either way.
void WarnAboutInput(const CRawX10& raw, const char* path);

// An image, or the input, could not be made: name and reason.
void ReportFailure(const char* name, Status status);
void ReportOutOfMemory(const char* name);
