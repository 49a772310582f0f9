#include "sensor/FrameSeries.h"

#include <cstdio>
#include <limits>

namespace
{

std::string ExposureText(const ExifFraction& exposure)
{
    char text[64];
    std::snprintf(text, sizeof text, "%u/%u s", exposure.numerator, exposure.denominator);
    return text;
}

}  // namespace

double FrameFacts::ExposureSeconds() const
{
    return exposure ? exposure->Value() : std::numeric_limits<double>::quiet_NaN();
}

FrameFacts FactsOfFrame(const std::string& name, const ExifMetadata& exif)
{
    FrameFacts facts;
    facts.name = name;
    if (exif.make || exif.model)
        facts.camera = exif.make.value_or("") + (exif.make && exif.model ? " " : "") + exif.model.value_or("");
    facts.iso = exif.iso;
    facts.exposure = exif.exposureTime;
    return facts;
}

std::optional<FrameRefusal> RefusalOfFrames(const std::vector<FrameFacts>& frames)
{
    const FrameFacts* camera = nullptr;
    const FrameFacts* iso = nullptr;
    for (size_t i = 0; i < frames.size(); ++i)
    {
        const FrameFacts& frame = frames[i];
        if (frame.camera && camera != nullptr && *frame.camera != *camera->camera)
            return FrameRefusal{i, "taken with " + *frame.camera + ", not " + *camera->camera + " as " + camera->name};
        if (frame.iso && iso != nullptr && *frame.iso != *iso->iso)
            return FrameRefusal{i, "ISO " + std::to_string(*frame.iso) + ", not ISO " + std::to_string(*iso->iso) +
                                       " as " + iso->name};
        if (frame.camera && camera == nullptr)
            camera = &frame;
        if (frame.iso && iso == nullptr)
            iso = &frame;
    }
    return std::nullopt;
}

std::optional<std::string> RefusalOfPair(const FrameFacts& a, const FrameFacts& b)
{
    if (const std::optional<FrameRefusal> refusal = RefusalOfFrames({a, b}))
        return refusal->reason;
    // Fractions of the same value may be written differently: 1/100 and 10/1000.
    if (a.exposure && b.exposure &&
        uint64_t{a.exposure->numerator} * b.exposure->denominator !=
            uint64_t{b.exposure->numerator} * a.exposure->denominator)
        return "exposed " + ExposureText(*b.exposure) + ", not " + ExposureText(*a.exposure) + " as " + a.name +
               ", its pair";
    return std::nullopt;
}
