// How every operation of diagraw that can fail says so.
//
// A Status is 0 (kStatusOk) on success. Any other value is the reason for the
// failure: either an error number of the C library (ENOENT, EACCES, ENOSPC,
// EFBIG, ...; the Windows layer translates its own error codes into these),
// or one of the few reasons of diagraw's own below, which lie above every
// system error number. DescribeStatus turns either kind into a short text for
// a message ("No such file or directory", "not a regular file").
//
// The one exception is SaveBmp32 (formats/BmpWriter.h), kept for the
// callers of its older non-zero-on-success result; it wraps WriteBmpFile,
// which follows this rule.
//
// A message with parts of its own (the numbers of an area, the signature of
// a file without a preview) is put together by the caller that prints it,
// from what it has; DescribeStatus gives the fixed part.
#pragma once

#include <cstdint>

using Status = int32_t;

inline constexpr Status kStatusOk = 0;

// The input is a directory, a device, a FIFO or a socket; or an output name
// is taken by a device, a FIFO or a socket.
inline constexpr Status kStatusNotRegularFile = 0x10001;
// The input is shorter than the two raw blocks at its end.
inline constexpr Status kStatusInputTooShort = 0x10002;
// The input ended before a block was read in full (it shrank while we read).
inline constexpr Status kStatusShortRead = 0x10003;
// The shape set for the fields does not fill a raw block of the file.
inline constexpr Status kStatusGeometryMismatch = 0x10004;
// An encoder (the TIFF library) refused the image for a reason of its own.
inline constexpr Status kStatusEncodingFailed = 0x10005;
// An output name names the input file (platform::CheckOutputName).
inline constexpr Status kStatusOutputIsInput = 0x10006;
// The input holds no embedded preview to export: it is no RAF, or its header
// gives the preview no length or places it past the end of the file.
inline constexpr Status kStatusNoEmbeddedPreview = 0x10007;
// An area of an image to measure holds no pixel (a width or height below 1).
inline constexpr Status kStatusAreaEmpty = 0x10008;
// An area of an image to measure reaches outside the image.
inline constexpr Status kStatusAreaOutsideImage = 0x10009;

// A short text for the status, without a trailing period or newline; never
// null. Not for kStatusOk. Any thread may call it; the text stays valid until
// the same thread calls it again.
const char* DescribeStatus(Status status);
