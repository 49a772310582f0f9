// The stages after the loader, shared by diagraw and the Python module's
// save(): the four images in the order they must be written, and the rule
// for a failure.
//
//   .f0.bmp, .f1.bmp -> .src.bmp -> .bmp
//
// The stages only read the samples, so one set of samples serves any number
// of runs (the module saves what it keeps). Every output name is checked
// before anything is rendered:
// an image whose name cannot take it (or that names the input) is not made.
// Every other image is still made after one fails, and running out of memory
// (ENOMEM) fails one image alone, since a later stage may need less.
#pragma once

#include "platform/Status.h"
#include "raw/RawX10.h"
#include "raw/Samples.h"

#include <cstdio>
#include <functional>
#include <string>

class CBufferKeeper;
class CWorkerPool;

inline constexpr OutputImage kImagesInOrder[] = {OutputImage::Field0Preview, OutputImage::Field1Preview,
                                                 OutputImage::MosaicPreview, OutputImage::Demosaiced};

// What the images of a run are written with, besides the samples.
struct ImageRun
{
    const std::string& stem;  // of every output name (OutputNameOf)
    std::FILE* input;         // the input, which no output may replace; null when none is open
    CWorkerPool& workers;
    CBufferKeeper& buffers;
};

using ImageFailed = std::function<void(const std::string& image, Status status)>;

// Writes the four images of samples (fields and mosaic), which are only
// read, and calls failed with the name and the status of each image not
// written. Returns whether all four were written.
bool SaveImages(const SampleView& samples, const ImageRun& run, const ImageFailed& failed);

// The same for the run of raw: its samples, path, input, workers and buffers.
bool SaveImages(CRawX10& raw, const ImageFailed& failed);
