// The command line of diagraw-probe, read into what to run; nothing is opened
// and nothing printed here (programs/probe_main.cpp does both).
//
//   info FILE [--json] | stats FILE [--area X Y W H] [--json]
//   | cell FILE X Y [--json] | --help | -h | --version
//
// --json may stand anywhere after the command, and --area with its four
// numbers after stats; a minus sign alone does not make an option, so that a
// negative coordinate is an operand.
#pragma once

#include "probe/AreaStats.h"

#include <cstdint>
#include <string>

enum class ProbeCommand : uint8_t { Help, Version, Info, Stats, Cell };

struct ProbeArguments
{
    ProbeCommand command = ProbeCommand::Help;
    bool json = false;
    bool hasArea = false;
    ImageArea area;              // with hasArea
    const char* file = nullptr;  // the FILE operand of info, stats and cell
    const char* xText = nullptr;  // cell: X and Y as given, and their values
    const char* yText = nullptr;
    int32_t x = 0;
    int32_t y = 0;
    // A wrong command line: the argument concerned and why; both empty when
    // the command line is sound.
    std::string problemName;
    std::string problem;
};

// A whole number in decimal, with an optional minus sign; values beyond
// what int32_t holds saturate (they lie outside every image anyway).
bool ParseCoordinate(const char* text, int32_t& value);

// argv[1] to argv[argc - 1], as main receives them.
ProbeArguments ParseProbeArguments(int argc, const char* const* argv);
