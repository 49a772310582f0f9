// The platform seam for files: everything that differs between POSIX and
// Windows lives behind these few calls (PlatformFilePosix.cpp and
// PlatformFileWin32.cpp; exactly one of them is built).
//
// Output files are written whole or not at all: the caller creates a temporary
// beside the final name, writes it completely, closes it and only then moves
// it over the final name. Every call returns true on success; on failure it
// leaves errno (or the Windows last error) set and the caller cleans up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace platform
{

// Handle of an open output file; kInvalidOutput when there is none.
using OutputHandle = intptr_t;
inline constexpr OutputHandle kInvalidOutput = -1;

// Creates a new temporary file with a unique name in the directory of
// finalName, with the permissions of a newly created file, and opens it for
// writing; its name is stored in tempName. On POSIX systems, until the
// temporary is moved into place or removed, SIGINT, SIGTERM or SIGHUP (unless
// ignored when the process started) removes it and then ends the process.
OutputHandle CreateTempBeside(const std::string& finalName, std::string& tempName);

// Writes all count bytes, continuing after short writes; false on any error.
bool WriteAll(OutputHandle file, const void* bytes, size_t count);

// Closes the file; false when the system reports that the close failed.
bool CloseOutput(OutputHandle file);

// Moves the closed temporary over finalName, replacing an existing file of
// that name.
bool ReplaceWithTemp(const std::string& tempName, const std::string& finalName);

// Removes a file; used to drop a temporary after a failure.
void RemoveFile(const std::string& name);

// Opens path for reading as a buffered stream ("rb"), but only when it names a
// regular file: directories, FIFOs and devices are refused without blocking.
// On success stores the file's size in bytes. Returns null on failure.
std::FILE* OpenRegularFileForReading(const char* path, int64_t& size);

// Positions the stream at a 64-bit offset from the start of the file.
bool SeekTo(std::FILE* file, int64_t offset);

}  // namespace platform
