#include "platform/Status.h"

#include <cstring>

const char* DescribeStatus(Status status)
{
    switch (status)
    {
    case kStatusOk:
        return "no error";
    case kStatusNotRegularFile:
        return "not a regular file";
    case kStatusInputTooShort:
        return "file too short";
    case kStatusShortRead:
        return "file ended while it was read";
    case kStatusEncodingFailed:
        return "the image could not be encoded";
    default:
        break;
    }
    // std::strerror's buffer is only overwritten by later calls, and only the
    // main thread reports failures.
    const char* text = std::strerror(status);
    return text != nullptr ? text : "unknown error";
}
