#include "raw/InputFailure.h"

#include "raw/RawX10.h"

#include <cstdint>

namespace
{

// 18937856 as "18,937,856"; value is never negative.
std::string Grouped(int64_t value)
{
    const std::string digits = std::to_string(value);
    std::string text;
    for (size_t i = 0; i < digits.size(); ++i)
    {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            text += ',';
        text += digits[i];
    }
    return text;
}

}  // namespace

std::string DescribeInputFailure(const CRawX10& raw, Status status)
{
    if (status != kStatusInputTooShort)
        return DescribeStatus(status);
    return std::string(DescribeStatus(status)) + ": " + Grouped(raw.m_fileSize) + " bytes, at least " +
           Grouped(CRawX10::kTailBytes) + " needed";
}
