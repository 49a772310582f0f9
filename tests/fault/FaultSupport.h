// Helpers of the fault-injection suite: running diagraw through
// diagraw-fault-launch with a fault of the preloaded shim, starting it in the
// background, and checking what a run left on disk.
// The checks return a testing::AssertionResult that says what is wrong.
#pragma once

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace faultsupport
{

inline const char* const kLaunchExe = DIAGRAW_FAULT_LAUNCH_EXE;
inline const char* const kShimLibrary = DIAGRAW_FAULT_SHIM;

// The smallest input diagraw accepts: both packed fields and the gap between.
inline constexpr int64_t kMinimumInputBytes = 18'937'856;

struct OutputImage
{
    const char* suffix;
    int32_t width;
    int32_t height;
};

// The four outputs in the order they are written.
inline constexpr OutputImage kOutputImages[] = {
    {".f0.bmp", 2944, 2144}, {".f1.bmp", 2944, 2144}, {".src.bmp", 5088, 5088}, {".bmp", 5088, 5088}};

std::filesystem::path OutputPath(const std::filesystem::path& input, const OutputImage& image);

// How diagraw-fault-launch prepares one run. An empty fault runs without the
// shim; the other fields are left out of the command when 0 or empty.
struct RunSetup
{
    std::string fault;               // the shim's DIAGRAW_FAULT
    int faultOutput = 0;             // DIAGRAW_FAULT_OUTPUT: 1 to 4, or 0 for all
    int64_t faultBytes = 0;          // DIAGRAW_FAULT_BYTES
    int faultDelayMilliseconds = 0;  // DIAGRAW_FAULT_DELAY
    std::filesystem::path faultLog;  // DIAGRAW_FAULT_LOG
    uint64_t addressSpaceBytes = 0;  // RLIMIT_AS of the run
    uint64_t fileSizeBytes = 0;      // RLIMIT_FSIZE of the run, SIGXFSZ at its default
    bool stdoutUnread = false;       // standard output a pipe nobody reads
    std::string user;                // run as this user (the suite runs as root)
    int ignoredSignal = 0;           // start with this signal ignored
};

// The launcher's command line for diagraw on input.
std::vector<std::string> DiagrawCommand(const RunSetup& setup, const std::filesystem::path& input);

// Runs diagraw on input in the input's directory and waits for it.
testsupport::ProcessResult RunDiagraw(const RunSetup& setup, const std::filesystem::path& input,
                                      std::chrono::milliseconds timeout = std::chrono::seconds(300));

// Starts diagraw on input in the background, with standard output discarded
// and standard error going to errorFile; returns its process id.
pid_t StartDiagraw(const RunSetup& setup, const std::filesystem::path& input,
                   const std::filesystem::path& errorFile);

// Waits for a child started by StartDiagraw and returns its wait status; kills
// it and returns -1 when it does not end within the timeout.
int WaitForChild(pid_t child, std::chrono::milliseconds timeout);

// Names of the temporaries (".<image>.diagraw-XXXXXX") in a directory.
std::vector<std::string> TemporariesIn(const std::filesystem::path& directory);

// Names of everything in a directory, sorted.
std::vector<std::string> EntriesOf(const std::filesystem::path& directory);

// A complete 32-bit BMP of the given size: the file's length and the
// header's signature, sizes, offset, dimensions and depth all agree.
testing::AssertionResult IsWholeBmp(const std::filesystem::path& path, int32_t width, int32_t height);

// Byte-for-byte equality of two files.
testing::AssertionResult SameContents(const std::filesystem::path& first, const std::filesystem::path& second);

// Lines in the shim's log: how often the fault fired.
int FaultsFired(const std::filesystem::path& log);

// Reproducible random bytes.
std::vector<uint8_t> RandomBytes(size_t count, uint64_t seed);

}  // namespace faultsupport
