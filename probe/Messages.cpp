#include "probe/Messages.h"

#include "platform/TerminalText.h"
#include "raw/RawX10.h"

#include <cstdio>

int ReportFailure(const char* program, int status, const std::string& name, const std::string& reason)
{
    std::fprintf(stderr, "%s: %s: %s\n", program, EscapedForTerminal(name).c_str(), EscapedForTerminal(reason).c_str());
    return status;
}

std::string DescribeLoadFailure(const CRawX10& raw, Status status)
{
    if (status != kStatusInputTooShort)
        return DescribeStatus(status);
    return std::string(DescribeStatus(status)) + ": " + WithThousandsSeparators(raw.m_fileSize) + " bytes, " +
           WithThousandsSeparators(CRawX10::kTailBytes) + " needed";
}
