#include "platform/Status.h"

#include <cstring>

namespace
{

// strerror_r comes in two forms: the GNU one returns the text (which may lie
// elsewhere than the buffer), the POSIX one fills the buffer and returns 0.
[[maybe_unused]] const char* TextOf(const char* text, const char*)
{
    return text;
}

[[maybe_unused]] const char* TextOf(int result, const char* buffer)
{
    return result == 0 ? buffer : "unknown error";
}

const char* SystemErrorText(Status status, char* buffer, size_t size)
{
#if defined(_WIN32)
    return strerror_s(buffer, size, status) == 0 ? buffer : "unknown error";
#else
    return TextOf(strerror_r(status, buffer, size), buffer);
#endif
}

}  // namespace

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
    case kStatusGeometryMismatch:
        return "field shape does not match the raw blocks";
    case kStatusEncodingFailed:
        return "the image could not be encoded";
    case kStatusOutputIsInput:
        return "is the input file, which is never replaced";
    case kStatusNoEmbeddedPreview:
        return "no embedded preview";
    case kStatusAreaEmpty:
        return "the area is empty";
    case kStatusAreaOutsideImage:
        return "the area reaches outside the image";
    default:
        break;
    }
    // The text of a system error number, in a buffer of the calling thread,
    // so that any thread may describe a status.
    thread_local char t_text[128];
    return SystemErrorText(status, t_text, sizeof t_text);
}
