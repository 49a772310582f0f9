#include "raw/InputFailure.h"

#include "platform/TerminalText.h"
#include "raw/RawX10.h"

std::string DescribeInputFailure(const CRawX10& raw, Status status)
{
    if (status != kStatusInputTooShort)
        return DescribeStatus(status);
    return std::string(DescribeStatus(status)) + ": " + WithThousandsSeparators(raw.m_fileSize) + " bytes, at least " +
           WithThousandsSeparators(CRawX10::kTailBytes) + " needed";
}
