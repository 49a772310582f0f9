// The stages after the loader, shared by diagraw and the Python module's
// save(): the four images in the order they must be written, and the rule
// for a failure.
//
//   .f0.bmp, .f1.bmp -> .src.bmp -> .bmp
//
// The mosaic preview comes before the demosaic, which white-balances the
// mosaic in place. Every output name is checked before anything is rendered:
// an image whose name cannot take it (or that names the input) is not made.
// Every other image is still made after one fails, and running out of memory
// (ENOMEM) fails one image alone, since a later stage may need less.
#pragma once

#include "platform/Status.h"
#include "raw/RawX10.h"

#include <functional>
#include <string>

inline constexpr OutputImage kImagesInOrder[] = {OutputImage::Field0Preview, OutputImage::Field1Preview,
                                                 OutputImage::MosaicPreview, OutputImage::Demosaiced};

// Writes the four images of raw, named after raw.m_path, and calls failed
// with the name and the status of each image not written. raw.m_file, when
// open, is the input that no output may replace. Returns whether all four
// were written.
bool SaveImages(CRawX10& raw, const std::function<void(const std::string& image, Status status)>& failed);
