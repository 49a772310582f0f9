// The command line of diagraw-synth, read into what to run; nothing is
// written here (programs/synth_main.cpp does that).
//
//   [--raf] OUT | --help | -h
//
// The arguments are read in order: --help or -h asks for the help even
// after others, unless an unknown option or a second OUT came first. A lone
// "-" is a name.
#pragma once

#include <string>

struct SynthArguments
{
    bool help = false;
    bool raf = false;
    const char* out = nullptr;
    // A wrong command line: the argument concerned and why; both empty when
    // the command line is sound.
    std::string problemName;
    std::string problem;
};

// argv[1] to argv[argc - 1], as main receives them.
SynthArguments ParseSynthArguments(int argc, const char* const* argv);
