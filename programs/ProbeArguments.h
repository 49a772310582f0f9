// The command line of diagraw-probe, read into what to run, and its help;
// nothing is opened and nothing printed here (programs/probe_main.cpp does
// both).
//
//   info FILE [--json] | stats FILE [--area X Y W H] [--json]
//   | cell FILE X Y [--json]
//   | pair A B | fields FILE | ptc --dark D1 D2 FLAT1A FLAT1B [...]
//   | defects --darks FILE... | defects --flats FILE... [--darks FILE...]
//     (each of these four with [--area X Y W H] [--json | --csv])
//   | --help | -h | --version
//
// Options may stand anywhere after the command; --darks, --flats take every
// argument up to the next option. A minus sign alone does not make an
// option, so that a negative coordinate is an operand. The help and the
// version follow the rule of every program (programs/FrontEnd.h).
#pragma once

#include "probe/AreaStats.h"
#include "programs/FrontEnd.h"

#include <cstdint>
#include <string>
#include <vector>

enum class ProbeCommand : uint8_t { Info, Stats, Cell, Pair, Ptc, Defects, Fields };

struct ProbeArguments
{
    ProbeCommand command = ProbeCommand::Info;
    bool json = false;
    bool csv = false;
    bool hasArea = false;
    ImageArea area;              // with hasArea
    const char* file = nullptr;  // the FILE operand of info, stats, cell and fields
    std::vector<const char*> frames;  // pair: A B; ptc: D1 D2, then the flats in pairs
    std::vector<const char*> darks;   // defects
    std::vector<const char*> flats;
    double sigma = 8.0;      // defects: --sigma, --dead-below, --gain (0: not given)
    double deadBelow = 0.5;
    double gain = 0.0;
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
