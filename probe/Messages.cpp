#include "probe/Messages.h"

#include "platform/TerminalText.h"

#include <cstdio>

int ReportFailure(const char* program, int status, const std::string& name, const std::string& reason)
{
    std::fprintf(stderr, "%s: %s: %s\n", program, EscapedForTerminal(name).c_str(), EscapedForTerminal(reason).c_str());
    return status;
}
