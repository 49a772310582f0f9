#include "pipeline/Pipeline.h"

#include "platform/Files.h"

#include <iterator>
#include <new>

namespace
{

Status SaveImage(CRawX10& raw, OutputImage image)
{
    switch (image)
    {
    case OutputImage::Field0Preview:
        return raw.SaveFieldPreview(raw.m_field0.get());
    case OutputImage::Field1Preview:
        return raw.SaveFieldPreview(raw.m_field1.get());
    case OutputImage::MosaicPreview:
        return raw.SaveMosaicPreview();
    case OutputImage::Demosaiced:
        break;
    }
    return raw.Demosaic();
}

}  // namespace

bool SaveImages(CRawX10& raw, const std::function<void(const std::string& image, Status status)>& failed)
{
    bool usable[std::size(kImagesInOrder)] = {};
    bool allWritten = true;
    for (size_t i = 0; i < std::size(kImagesInOrder); ++i)
    {
        const std::string name = OutputNameOf(raw.m_path, kImagesInOrder[i]);
        const Status checked = platform::CheckOutputName(name, raw.m_file.get());
        usable[i] = checked == kStatusOk;
        if (!usable[i])
        {
            failed(name, checked);
            allWritten = false;
        }
    }
    for (size_t i = 0; i < std::size(kImagesInOrder); ++i)
    {
        if (!usable[i])
            continue;
        Status status = kStatusOk;
        try
        {
            status = SaveImage(raw, kImagesInOrder[i]);
        }
        catch (const std::bad_alloc&)
        {
            status = ENOMEM;
        }
        if (status != kStatusOk)
        {
            failed(OutputNameOf(raw.m_path, kImagesInOrder[i]), status);
            allWritten = false;
        }
    }
    return allWritten;
}
