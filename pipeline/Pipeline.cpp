#include "pipeline/Pipeline.h"

#include "demosaic/Demosaic.h"
#include "platform/Files.h"
#include "previews/Previews.h"

#include <iterator>
#include <new>

namespace
{

Status SaveImage(const SampleView& samples, const ImageRun& run, OutputImage image, const std::string& name)
{
    switch (image)
    {
    case OutputImage::Field0Preview:
    case OutputImage::Field1Preview:
        return WriteFieldPreview(name, samples, image == OutputImage::Field0Preview ? 0 : 1, run.workers, run.buffers);
    case OutputImage::MosaicPreview:
        return WriteMosaicPreview(name, samples, run.workers, run.buffers);
    case OutputImage::Demosaiced:
        break;
    }
    return WriteDemosaicedImage(name, samples, run.workers, run.buffers);
}

}  // namespace

bool SaveImages(const SampleView& samples, const ImageRun& run, const ImageFailed& failed)
{
    bool usable[std::size(kImagesInOrder)] = {};
    bool allWritten = true;
    for (size_t i = 0; i < std::size(kImagesInOrder); ++i)
    {
        const std::string name = OutputNameOf(run.stem, kImagesInOrder[i]);
        const Status checked = platform::CheckOutputName(name, run.input);
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
            status = SaveImage(samples, run, kImagesInOrder[i], OutputNameOf(run.stem, kImagesInOrder[i]));
        }
        catch (const std::bad_alloc&)
        {
            status = ENOMEM;
        }
        if (status != kStatusOk)
        {
            failed(OutputNameOf(run.stem, kImagesInOrder[i]), status);
            allWritten = false;
        }
    }
    return allWritten;
}

bool SaveImages(CRawX10& raw, const ImageFailed& failed)
{
    return SaveImages(raw.Samples(), {raw.m_path, raw.m_file.get(), raw.Workers(), raw.Buffers()}, failed);
}
