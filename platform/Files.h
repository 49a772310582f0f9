// The file layer: everything about files that differs between POSIX and
// Windows (FilesPosix.cpp and FilesWin32.cpp; the build compiles one).
//
// Outputs are written whole or not at all. COutputFile writes into a
// temporary file beside the final name and moves it over that name only when
// every byte is written and the file is closed; until then an older file of
// the final name stays as it was, and a temporary that is not committed is
// removed (by Discard, the destructor, or the signal cleanup below). Only a
// process killed outright (SIGKILL, a power cut) leaves one behind: on POSIX
// systems a hidden ".<final name>.diagraw-XXXXXX" beside the image, safe to
// delete.
//
// Every call that can fail returns a Status (platform/Status.h).
#pragma once

#include "platform/Status.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace platform
{

// Prepares the process for its run; the entry point calls it once, first
// thing. On POSIX systems, each unless the process was started with it
// ignored: SIGINT, SIGTERM and SIGHUP then remove the temporary in flight
// before they end the process; SIGXFSZ and SIGPIPE are ignored, so that a
// write past the file-size limit or into a pipe that nobody reads fails with
// an error (EFBIG, EPIPE) that the run handles, instead of ending it.
// Elsewhere it does nothing.
void PrepareProcess();

// For a process whose entry point is not diagraw's (the Python module): makes
// the signals above remove the outputs in flight before they end the
// process, each only while its disposition is still the default; a handler
// that the program set, or a signal it ignores, is left as it is. POSIX
// only; elsewhere it does nothing. PrepareProcess calls it.
void InstallOutputCleanup();

// Calls startThreads with SIGINT, SIGTERM and SIGHUP held back from the
// calling thread, so that the threads it starts keep them blocked for their
// whole life and the signals reach the thread that owns the output in flight
// (POSIX; elsewhere it only calls startThreads).
void StartThreadsWithoutCleanupSignals(const std::function<void()>& startThreads);

// One output file in the making. Not copyable; one thread at a time. Any
// number of outputs may be in the making at once, in any threads.
class COutputFile
{
public:
    COutputFile() = default;
    ~COutputFile();
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;

    // Creates and opens the temporary in the directory of finalName, with the
    // permissions of a newly created file.
    Status Create(const std::string& finalName);

    // Appends count bytes, continuing after short or interrupted writes.
    Status Write(const void* bytes, size_t count);

    // Writes count bytes over bytes already written, from the offset on,
    // and leaves the place where Write appends as it was (formats whose
    // header points to what follows, such as TIFF).
    Status WriteAt(int64_t offset, const void* bytes, size_t count);

    // Closes the temporary and moves it over the final name, replacing a file
    // of that name. On failure the temporary is removed.
    Status Commit();

    // Closes and removes a temporary that was not committed; nothing otherwise.
    void Discard();

private:
    intptr_t m_handle = -1;     // descriptor or HANDLE; -1 when nothing is open
    intptr_t m_directory = -1;  // POSIX: descriptor of the directory of both names
    std::string m_finalName;    // POSIX: names within that directory; Windows: whole paths
    std::string m_tempName;     // empty when no temporary exists
    int m_registered = -1;      // POSIX: its entry for the signal cleanup, or -1
};

// Writes all count bytes to an open descriptor (a HANDLE on Windows),
// continuing after short or interrupted writes; COutputFile::Write uses it.
Status WriteAll(intptr_t handle, const void* bytes, size_t count);

// Opens path for reading as a buffered stream ("rb"), but only when it names a
// regular file: directories, FIFOs and devices are refused without blocking.
// On success stream and size (in bytes) are set.
Status OpenInput(const char* path, std::FILE*& stream, int64_t& size);

// Reads exactly count bytes starting at the 64-bit offset, without moving
// the stream's own position: threads may read different parts of one file
// at the same time.
Status ReadAt(std::FILE* stream, int64_t offset, void* bytes, size_t count);

}  // namespace platform
