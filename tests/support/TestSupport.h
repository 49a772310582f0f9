// Helpers shared by the test files: temporary directories, whole-file reads
// and writes, and running the real executables as child processes.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport
{

// Paths of the built executables, filled in by the build.
inline const char* const kDiagrawExe = DIAGRAW_EXE;
inline const char* const kSynthExe = DIAGRAW_SYNTH_EXE;
inline const char* const kProbeExe = DIAGRAW_PROBE_EXE;

// A fresh directory below the system's temporary directory, removed with
// everything in it when the object goes out of scope.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

std::vector<uint8_t> ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// Outcome of a child process. exitStatus is -1 when it ended by a signal
// (termSignal then holds it) or when it was killed after the timeout
// (timedOut).
struct ProcessResult
{
    int exitStatus = -1;
    int termSignal = 0;
    bool timedOut = false;
    std::string out;
    std::string err;
};

// Runs argv[0] with the arguments argv[1..] (argv[0] is also the child's own
// argv[0] unless argv0 is given), with standard input closed, and collects
// standard output and standard error.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         std::chrono::milliseconds timeout = std::chrono::seconds(120),
                         const std::string& argv0 = std::string(),
                         const std::filesystem::path& workingDirectory = std::filesystem::path());

// Writes the built-in chart file to path with diagraw-synth; true on success.
bool WriteChartFile(const std::filesystem::path& path);

}  // namespace testsupport
