#include "raw/InputFailure.h"

#include "platform/TerminalText.h"
#include "raw/RawX10.h"

std::string DescribeInputFailure(const CRawX10& raw, Status status)
{
    return DescribeInputFailure(status, raw.m_fileSize);
}

std::string DescribeInputFailure(Status status, int64_t fileSize)
{
    if (status != kStatusInputTooShort)
        return DescribeStatus(status);
    return std::string(DescribeStatus(status)) + ": " + WithThousandsSeparators(fileSize) + " bytes, at least " +
           WithThousandsSeparators(CRawX10::kTailBytes) + " needed";
}
