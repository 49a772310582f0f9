// The command line of diagraw-probe, read into what to run, and its help;
// nothing is opened and nothing printed here (programs/probe_main.cpp does
// both).
//
//   info FILE [--json] | stats FILE [--area X Y W H] [--json]
//   | cell FILE X Y [--json] | --help | -h | --version
//
// --json may stand anywhere after the command, and --area with its four
// numbers after stats; a minus sign alone does not make an option, so that a
// negative coordinate is an operand. The help and the version follow the
// rule of every program (programs/FrontEnd.h).
#pragma once

#include "probe/AreaStats.h"
#include "programs/FrontEnd.h"

#include <cstdint>
#include <string>

enum class ProbeCommand : uint8_t { Info, Stats, Cell };

struct ProbeArguments
{
    ProbeCommand command = ProbeCommand::Info;
    bool json = false;
    bool hasArea = false;
    ImageArea area;              // with hasArea
    const char* file = nullptr;  // the FILE operand of info, stats and cell
    const char* xText = nullptr;  // cell: X and Y as given, and their values
    const char* yText = nullptr;
    int32_t x = 0;
    int32_t y = 0;
    UsageProblem problem;  // a wrong command line
};

// argv[1] to argv[argc - 1], as main receives them, of a run (RequestOf).
ProbeArguments ParseProbeArguments(int argc, const char* const* argv);

// The text of --help: the usage of each command and what each command and
// option does, from the tables the parser reads, then the exit statuses.
std::string ProbeHelp();
