#include "probe/Messages.h"

#include "raw/RawX10.h"

#include <cstdio>

namespace
{

// A file name as a message shows it; the one place to change how names are
// shown on standard error.
std::string ShownName(const std::string& name)
{
    return name;
}

}  // namespace

int ReportFailure(const char* program, int status, const std::string& name, const std::string& reason)
{
    std::fprintf(stderr, "%s: %s: %s\n", program, ShownName(name).c_str(), reason.c_str());
    return status;
}

std::string WithSeparators(int64_t value)
{
    const std::string digits = std::to_string(value);
    const size_t first = value < 0 ? 1 : 0;
    std::string text;
    for (size_t i = 0; i < digits.size(); ++i)
    {
        if (i > first && (digits.size() - i) % 3 == 0)
            text += ',';
        text += digits[i];
    }
    return text;
}

std::string DescribeLoadFailure(const CRawX10& raw, Status status)
{
    if (status != kStatusInputTooShort)
        return DescribeStatus(status);
    return std::string(DescribeStatus(status)) + ": " + WithSeparators(raw.m_fileSize) + " bytes, " +
           WithSeparators(CRawX10::kTailBytes) + " needed";
}
