// The command line of diagraw-synth, read into what to run; nothing is
// written here (programs/synth_main.cpp does that).
//
//   [--raf] OUT
//   --sensor [model options] OUT
//   --help | -h | --version
//
// The model options (tools/SensorModel.h); --dead and --hot add a cell each
// time, of any other option given twice the last value counts:
//   --light flat|chart   --electrons N   --prnu P   --field-ratio R
//   --dead F,Y,X   --hot F,Y,X[,E]   --dsnu E   --read-noise E   --gain K
//   --offset DN   --seed S   --pattern-seed S   --exposure SECONDS   --iso N
// A model option without --sensor, a value outside its range, a cell
// outside the fields are wrong usage. --raf beside --sensor changes nothing.
//
// Any other argument that starts with "-" is an unknown option; a lone "-"
// is a name. The help and the version follow the rule of every program
// (programs/FrontEnd.h).
#pragma once

#include "programs/FrontEnd.h"
#include "tools/SensorModel.h"

struct SynthArguments
{
    bool raf = false;
    bool sensor = false;
    SensorModel model;  // with sensor
    const char* out = nullptr;
    UsageProblem problem;  // a wrong command line
};

// argv[1] to argv[argc - 1], as main receives them, of a run (RequestOf).
SynthArguments ParseSynthArguments(int argc, const char* const* argv);
