// What the probe's programs (diagraw-probe, diagraw-export) say on standard
// error: one line, "<program>: <name>: <reason>", and the reasons they share.
#pragma once

#include "platform/Status.h"

#include <string>

// Prints "<program>: <name>: <reason>" on standard error, name and reason
// escaped for the terminal (platform/TerminalText.h), and returns status.
int ReportFailure(const char* program, int status, const std::string& name, const std::string& reason);
