// What diagraw says on the command line: the banner, the usage and help
// texts, the warning about its input and the note on ignored arguments.
// Failures are reported as every program reports them (programs/FrontEnd.h).
//
// Standard output carries only the banner, the usage text (without an
// argument) and the help or version when asked for. Every failure is one
// line on standard error, "diagraw: <file>: <reason>", naming the input or
// the image concerned.
#pragma once

#include "programs/FrontEnd.h"

#include <string>

class CRawX10;

inline constexpr const char* kDiagrawProgram = "diagraw";

// The program's name as the usage line shows it: the invocation path after
// its last backslash, or all of it when it holds none (a forward slash does
// not separate).
const char* ProgramName(const char* invocation);

// "diagraw, the X10 raw field and mosaic inspector v0.3" and a newline.
const char* BannerText();

// "Usage:" and the line of the command.
std::string UsageText(const char* programName);

// What diagraw's command line asks for: RequestOf's answer, except that a
// lone "--help", "-h" or "--version" that names a file asks to convert it.
Request DiagrawRequestOf(int argc, const char* const* argv);

// "--help": the usage, the four outputs and the exit statuses.
std::string HelpText(const char* programName);

// Further arguments after the input are ignored, and said to be.
void ReportIgnoredArguments(int count);

// Reads the header of raw's input (loaded) and prints
// "diagraw: <path>: warning: <what>" when InputWarningOf (raw/RafHeader.h)
// finds something; nothing when it does not, or when the header cannot be
// read. The run goes on either way.
void WarnAboutInput(const CRawX10& raw, const char* path);
