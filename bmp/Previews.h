// Display values of the colour-coded previews of the raw data.
//
// In both previews every sample lights only the channel of its own filter
// colour; red and blue are raised against green by fixed display gains.
// The precision of every step is part of the result: the field preview uses
// an integer division by 12 and a double gain of 1.6; the mosaic preview uses
// the single-precision 1.61 widened to double, the double 1.6 and a
// single-precision division by 13, truncating toward zero after each step.
// The images themselves are written by CRawX10::SaveFieldPreview and
// CRawX10::SaveMosaicPreview.
#pragma once

#include <cstdint>

// Channel value of a 12-bit field sample in the field preview.
constexpr uint8_t FieldPreviewValue(uint16_t sample, bool green)
{
    const int32_t q = sample / 12;
    if (green)
        return static_cast<uint8_t>(q > 255 ? 255 : q);
    const auto t = static_cast<uint16_t>(static_cast<int32_t>(static_cast<double>(q) * 1.6));
    return static_cast<uint8_t>(t > 255 ? 255 : t);
}

// Channel value of a raw composite sample in the mosaic preview.
constexpr uint8_t MosaicPreviewValue(uint16_t sample, bool green)
{
    uint16_t w;
    if (green)
    {
        w = static_cast<uint16_t>(static_cast<int32_t>(static_cast<float>(sample) / 13.0f));
    }
    else
    {
        const auto t1 = static_cast<uint16_t>(
            static_cast<int32_t>(static_cast<double>(sample) * static_cast<double>(1.61f)));
        const auto t2 = static_cast<uint16_t>(static_cast<int32_t>(static_cast<double>(t1) * 1.6));
        w = static_cast<uint16_t>(static_cast<int32_t>(static_cast<float>(t2) / 13.0f));
    }
    return static_cast<uint8_t>(w > 255 ? 255 : w);
}
