// The frames of one analysis side by side: what each one's Exif says about
// the shot, and whether they may be analysed together. Frames of different
// cameras or different ISO settings measure different things and are
// refused; so are the two frames of a pair at different exposures. A frame
// without Exif (or without the fact concerned) is taken as it is.
#pragma once

#include "metadata/ExifMetadata.h"

#include <optional>
#include <string>
#include <vector>

struct FrameFacts
{
    std::string name;                     // the file, as the user gave it
    std::optional<std::string> camera;    // "make model"
    std::optional<uint32_t> iso;
    std::optional<ExifFraction> exposure;  // seconds

    double ExposureSeconds() const;  // NaN when unknown
};

FrameFacts FactsOfFrame(const std::string& name, const ExifMetadata& exif);

// Why frames cannot be analysed together: the index of the first frame that
// differs from an earlier one in camera or ISO, and the reason ("ISO 400,
// not ISO 200 as A.raf"); nullopt when they agree.
struct FrameRefusal
{
    size_t frame = 0;
    std::string reason;
};
std::optional<FrameRefusal> RefusalOfFrames(const std::vector<FrameFacts>& frames);

// The same for the two frames of a pair, which must also share their
// exposure; the refusal names b.
std::optional<std::string> RefusalOfPair(const FrameFacts& a, const FrameFacts& b);
