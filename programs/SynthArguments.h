// The command line of diagraw-synth, read into what to run; nothing is
// written here (programs/synth_main.cpp does that).
//
//   [--raf] OUT | --help | -h | --version
//
// Any other argument that starts with "-" is an unknown option; a lone "-"
// is a name. The help and the version follow the rule of every program
// (programs/FrontEnd.h).
#pragma once

#include "programs/FrontEnd.h"

struct SynthArguments
{
    bool raf = false;
    const char* out = nullptr;
    UsageProblem problem;  // a wrong command line
};

// argv[1] to argv[argc - 1], as main receives them, of a run (RequestOf).
SynthArguments ParseSynthArguments(int argc, const char* const* argv);
