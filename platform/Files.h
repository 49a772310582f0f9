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

// Prepares a program for its run; the entry point calls it once, first
// thing. On POSIX systems SIGXFSZ and SIGPIPE are ignored, unless the process
// was started with a handler for them, so that a write past the file-size
// limit or into a pipe that nobody reads fails with an error (EFBIG, EPIPE)
// that the run handles instead of ending it; then InstallOutputCleanup.
// Elsewhere it does nothing.
void PrepareProcess();

// POSIX: every signal whose default action ends the process (HUP, INT, QUIT,
// TERM, USR1, USR2, ALRM, VTALRM, PROF, XCPU, XFSZ, PIPE, POLL, PWR, STKFLT
// where the system has them, the real-time signals, and the faults SEGV,
// BUS, FPE, ILL, ABRT, TRAP and SYS) first removes every temporary in
// flight, then ends the process as it would have. Installed only for the
// signals still at their default action: a handler set before, or a signal
// ignored, stays as it is. Any thread may call it, any number of times; a
// library user (the Python module) calls it instead of PrepareProcess.
// Elsewhere it does nothing.
void InstallOutputCleanup();

// Calls startThreads with the signals that come from outside the process
// (all of the above but the faults) held back from the calling thread, so
// that the threads it starts keep them blocked for their whole life and the
// signals reach the thread that owns the output in flight (POSIX; elsewhere
// it only calls startThreads).
void StartThreadsWithoutCleanupSignals(const std::function<void()>& startThreads);

// Whether name names the file open as stream: the same file, found through a
// symbolic link or a hard link too (POSIX: device and inode; Windows: volume
// and file index). False when name names nothing.
bool NamesOpenFile(const std::string& name, std::FILE* stream);

// Checks, before anything is rendered, that an output can be written under
// finalName: the name is not empty, does not end in a separator, is not
// longer than its file system takes; its directory exists; what already
// has that name may be replaced, a regular file or (on POSIX) a symbolic
// link, not a directory (EISDIR), a device, a FIFO or a socket
// (kStatusNotRegularFile); and when input is given, finalName does not name
// the file open as input (kStatusOutputIsInput). COutputFile::Create checks
// the same but the input, and Commit checks again what has the final name.
Status CheckOutputName(const std::string& finalName, std::FILE* input = nullptr);

// One output file in the making. Not copyable; one thread at a time. Any
// number of outputs may be in the making at once, in any threads.
class COutputFile
{
public:
    COutputFile() = default;
    ~COutputFile();
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;

    // Checks finalName as CheckOutputName does and creates and opens the
    // temporary in its directory, with the permissions of any newly created
    // file (0666 less the umask).
    Status Create(const std::string& finalName);

    // Appends count bytes, continuing after short or interrupted writes.
    Status Write(const void* bytes, size_t count);

    // Writes count bytes over bytes already written, from the offset on,
    // and leaves the place where Write appends as it was (formats whose
    // header points to what follows, such as TIFF).
    Status WriteAt(int64_t offset, const void* bytes, size_t count);

    // Closes the temporary and moves it over the final name, replacing a file
    // of that name, unless something that is not to be replaced has taken the
    // name meanwhile. On failure the temporary is removed.
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
