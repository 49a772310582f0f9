// The command line of diagraw-export, read into what to run; nothing is
// opened and nothing printed here (programs/export_main.cpp does both).
//
//   [--compress] FILE KIND OUT | --help | -h | --version
//
// --compress may stand anywhere; any other argument that starts with "--"
// is an unknown option.
#pragma once

#include "export/Export.h"

#include <string>

struct ExportArguments
{
    bool help = false;     // --help or -h as the only argument
    bool version = false;  // --version as the only argument
    bool deflate = false;  // --compress
    const char* input = nullptr;
    ExportKind kind = ExportKind::Preview;
    const char* output = nullptr;
    // A wrong command line: the argument concerned and why; both empty when
    // the command line is sound.
    std::string problemName;
    std::string problem;
};

// argv[1] to argv[argc - 1], as main receives them.
ExportArguments ParseExportArguments(int argc, const char* const* argv);
