// The command line of diagraw-export, read into what to run; nothing is
// opened and nothing printed here (programs/export_main.cpp does both).
//
//   [--compress] FILE KIND OUT | --help | -h | --version
//
// --compress may stand anywhere; any other argument that starts with "--"
// is an unknown option. The help and the version follow the rule of every
// program (programs/FrontEnd.h).
#pragma once

#include "export/Export.h"
#include "programs/FrontEnd.h"

struct ExportArguments
{
    bool deflate = false;  // --compress
    const char* input = nullptr;
    ExportKind kind = ExportKind::Preview;
    const char* output = nullptr;
    UsageProblem problem;  // a wrong command line
};

// argv[1] to argv[argc - 1], as main receives them, of a run (RequestOf).
ExportArguments ParseExportArguments(int argc, const char* const* argv);
