// The real diagraw, run as a process under faults of the machine around it.
// Whatever the fault, the run must end by itself (exit status 1 when an input
// or an output failed, 0 when it could still finish), never by a signal; no
// temporary ".*.diagraw-*" may remain; every final name holds a whole image or
// what it held before the run.
#include "FaultSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <memory>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace faultsupport;
using testsupport::ProcessResult;
using testsupport::TempDir;
using testsupport::WriteChartFile;
using testsupport::WriteFile;
namespace fs = std::filesystem;

namespace
{

// AddressSanitizer reserves terabytes of address space for its shadow memory,
// so no address-space limit leaves room for a run built with it: the memory
// limit tests exist only in the other builds (CI's Release stage runs them).
#if defined(__SANITIZE_ADDRESS__)
#define DIAGRAW_TEST_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DIAGRAW_TEST_UNDER_ASAN 1
#endif
#endif

// A run that failed by itself: exit status 1, no signal, and on standard
// error only diagraw's own lines ("diagraw: <file>: <reason>"; a sanitizer's
// report would show as other lines), one of them giving the reason.
void ExpectCleanFailure(const ProcessResult& run, const std::string& reason)
{
    EXPECT_FALSE(run.timedOut) << "the run did not end";
    EXPECT_EQ(run.termSignal, 0) << "the run was ended by signal " << run.termSignal;
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find(": " + reason + "\n"), std::string::npos) << run.err;
    for (size_t line = 0; line < run.err.size(); line = run.err.find('\n', line) + 1)
        EXPECT_EQ(run.err.compare(line, 9, "diagraw: "), 0) << run.err;
}

void ExpectCleanSuccess(const ProcessResult& run)
{
    EXPECT_FALSE(run.timedOut) << "the run did not end";
    EXPECT_EQ(run.termSignal, 0) << "the run was ended by signal " << run.termSignal;
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.err, "");
}

void ExpectNoTemporaries(const fs::path& directory)
{
    EXPECT_EQ(TemporariesIn(directory), std::vector<std::string>()) << "a temporary was left behind";
}

// Content that no image of the program can have, to recognise an older file.
std::vector<uint8_t> OlderContent(const OutputImage& image)
{
    const std::string text = std::string("older ") + image.suffix + " of an earlier run\n";
    return std::vector<uint8_t>(text.begin(), text.end());
}

void PutOlderFiles(const fs::path& input)
{
    for (const OutputImage& image : kOutputImages)
        WriteFile(OutputPath(input, image), OlderContent(image));
}

void ExpectOlderFilesUnchanged(const fs::path& input)
{
    for (const OutputImage& image : kOutputImages)
    {
        const fs::path path = OutputPath(input, image);
        EXPECT_TRUE(fs::is_regular_file(path) && testsupport::ReadFile(path) == OlderContent(image))
            << image.suffix << " was replaced or changed";
    }
}

// A tmpfs mounted for one test and detached when the object goes.
class CSmallFileSystem
{
public:
    CSmallFileSystem(const fs::path& mountPoint, const char* options)
        : m_mountPoint(mountPoint),
          m_mounted(mount("tmpfs", mountPoint.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options) == 0),
          m_error(m_mounted ? 0 : errno)
    {
    }
    ~CSmallFileSystem()
    {
        if (m_mounted)
            umount2(m_mountPoint.c_str(), MNT_DETACH);
    }
    CSmallFileSystem(const CSmallFileSystem&) = delete;
    CSmallFileSystem& operator=(const CSmallFileSystem&) = delete;

    bool Mounted() const { return m_mounted; }
    int Error() const { return m_error; }  // errno of a failed mount

private:
    fs::path m_mountPoint;
    bool m_mounted;
    int m_error;
};

}  // namespace

// No room for the two 5088 x 5088 images, while the two field previews fit:
// a tmpfs of 80 MiB, or the shim failing writes with ENOSPC once the same
// room is used up (also where a tmpfs cannot be mounted), or a file-size
// limit of 50 MiB with SIGXFSZ at its default action (as after "ulimit -f
// 51200"). Every time the previews are written whole, the older large images
// stay as they were, and the run ends by itself with status 1.
enum class NoRoom { Tmpfs, Shim, FileSizeLimit };

class FullFileSystem : public testing::TestWithParam<NoRoom>
{
};

INSTANTIATE_TEST_SUITE_P(Methods, FullFileSystem, testing::Values(NoRoom::Tmpfs, NoRoom::Shim, NoRoom::FileSizeLimit),
                         [](const auto& instance) {
                             return instance.param == NoRoom::Tmpfs ? "Tmpfs"
                                    : instance.param == NoRoom::Shim ? "Shim"
                                                                     : "FileSizeLimit";
                         });

TEST_P(FullFileSystem, FieldPreviewsWrittenWholeNothingElseLeft)
{
    constexpr int64_t kRoomBytes = 80 << 20;
    TempDir dir;
    TempDir logDir;
    const fs::path small = dir / "small";
    fs::create_directory(small);
    std::unique_ptr<CSmallFileSystem> fileSystem;
    if (GetParam() == NoRoom::Tmpfs)
        fileSystem = std::make_unique<CSmallFileSystem>(small, "size=80m");
    const fs::path input = small / "chart.raf";
    ASSERT_TRUE(WriteChartFile(input));
    for (const OutputImage& image : {kOutputImages[2], kOutputImages[3]})
        WriteFile(OutputPath(input, image), OlderContent(image));

    RunSetup setup;
    if (GetParam() == NoRoom::FileSizeLimit)
    {
        setup.fileSizeBytes = 50 << 20;
    }
    else if (fileSystem != nullptr && fileSystem->Mounted())
    {
        std::cout << "method: a tmpfs of 80 MiB holds the input and the outputs\n";
    }
    else
    {
        setup.fault = "nospace";
        setup.faultBytes = kRoomBytes - kMinimumInputBytes;
        setup.faultLog = logDir / "fault.log";
        if (fileSystem != nullptr)
            std::cout << "cannot mount a tmpfs here: " << std::strerror(fileSystem->Error()) << "\n";
        std::cout << "method: the shim fails writes with ENOSPC after " << setup.faultBytes << " bytes\n";
    }
    ExpectCleanFailure(RunDiagraw(setup, input),
                       GetParam() == NoRoom::FileSizeLimit ? "File too large" : "No space left on device");
    if (!setup.faultLog.empty())
    {
        EXPECT_EQ(FaultsFired(setup.faultLog), 2) << "once for each of the two large images";
    }
    EXPECT_TRUE(IsWholeBmp(OutputPath(input, kOutputImages[0]), 2944, 2144));
    EXPECT_TRUE(IsWholeBmp(OutputPath(input, kOutputImages[1]), 2944, 2144));
    for (const OutputImage& image : {kOutputImages[2], kOutputImages[3]})
        EXPECT_EQ(testsupport::ReadFile(OutputPath(input, image)), OlderContent(image)) << image.suffix;
    ExpectNoTemporaries(small);
}

// Each step of writing an output fails in turn, for every output of the run:
// the older files stay as they were.
class WriteFault : public testing::TestWithParam<const char*>
{
};

INSTANTIATE_TEST_SUITE_P(Steps, WriteFault, testing::Values("create", "header", "pixels", "close", "rename"),
                         [](const auto& instance) { return std::string(instance.param); });

TEST_P(WriteFault, OlderFilesStayAsTheyWere)
{
    TempDir dir;
    TempDir logDir;
    const fs::path input = dir / "chart.raf";
    ASSERT_TRUE(WriteChartFile(input));
    PutOlderFiles(input);

    RunSetup setup;
    setup.fault = GetParam();
    setup.faultLog = logDir / "fault.log";
    const ProcessResult run = RunDiagraw(setup, input);
    EXPECT_EQ(FaultsFired(setup.faultLog), 4) << "the fault should hit each of the four outputs once";
    // The shim refuses a creation as a permission, and fails a write, close
    // or rename as an input/output error.
    ExpectCleanFailure(run, std::string(GetParam()) == "create" ? "Permission denied" : "Input/output error");
    ExpectOlderFilesUnchanged(input);
    ExpectNoTemporaries(dir.Path());
}

// The input cannot be read, or ends early while it is read.
class ReadFault : public testing::TestWithParam<const char*>
{
};

INSTANTIATE_TEST_SUITE_P(Kinds, ReadFault, testing::Values("read-error", "short-read"),
                         [](const auto& instance) { return instance.index == 0 ? "Error" : "ShortRead"; });

TEST_P(ReadFault, NoOutputAtAll)
{
    TempDir dir;
    TempDir logDir;
    const fs::path input = dir / "chart.raf";
    ASSERT_TRUE(WriteChartFile(input));

    RunSetup setup;
    setup.fault = GetParam();
    setup.faultLog = logDir / "fault.log";
    ExpectCleanFailure(RunDiagraw(setup, input), GetParam() == std::string("read-error")
                                                     ? "Input/output error"
                                                     : "file ended while it was read");
    EXPECT_GE(FaultsFired(setup.faultLog), 1) << "the input was read without the shim";
    EXPECT_EQ(EntriesOf(dir.Path()), std::vector<std::string>{"chart.raf"});
}

// An address space too small for the run: at 32 MiB the fields and the mosaic
// cannot be allocated; at 80 MiB they can (some 77 MiB) but there is no room
// left for the program, its threads and the band buffers of the images. A
// whole run needs about 100 MiB.
#ifndef DIAGRAW_TEST_UNDER_ASAN
class MemoryLimit : public testing::TestWithParam<uint64_t>
{
};

INSTANTIATE_TEST_SUITE_P(Sizes, MemoryLimit, testing::Values(uint64_t{32} << 20, uint64_t{80} << 20),
                         [](const auto& instance) { return std::to_string(instance.param >> 20) + "MiB"; });

TEST_P(MemoryLimit, ExitStatusOneWithoutAbort)
{
    TempDir dir;
    const fs::path input = dir / "chart.raf";
    ASSERT_TRUE(WriteChartFile(input));

    RunSetup setup;
    setup.addressSpaceBytes = GetParam();
    ExpectCleanFailure(RunDiagraw(setup, input), "out of memory");
    for (const OutputImage& image : kOutputImages)
    {
        const fs::path path = OutputPath(input, image);
        if (fs::exists(path))
        {
            EXPECT_TRUE(IsWholeBmp(path, image.width, image.height));
        }
    }
    ExpectNoTemporaries(dir.Path());
    for (const std::string& name : EntriesOf(dir.Path()))
        EXPECT_NE(name.rfind("core", 0), 0u) << "a core file was written: " << name;
}
#endif

// Any one allocation failing, from the first of the process on (the pool's
// threads start among the first few dozen): the run ends by itself, with
// status 0 or 1 and only its own lines, and leaves no temporary.
TEST(Allocation, AnyOneFailedAllocationEndsTheRunCleanly)
{
    TempDir dir;
    const fs::path input = dir / "chart.raf";
    ASSERT_TRUE(WriteChartFile(input));
    for (int64_t failing = 1; failing <= 40; ++failing)
    {
        RunSetup setup;
        setup.fault = "alloc";
        setup.faultBytes = failing;
        setup.faultLog = dir / "alloc.log";
        const ProcessResult run = RunDiagraw(setup, input);
        if (failing == 1 && FaultsFired(setup.faultLog) == 0)
            GTEST_SKIP() << "the program's own operator new (a sanitizer's) hides the shim's";
        EXPECT_EQ(run.termSignal, 0) << "allocation " << failing;
        EXPECT_TRUE(run.exitStatus == 0 || run.exitStatus == 1) << "allocation " << failing;
        for (size_t line = 0; line < run.err.size(); line = run.err.find('\n', line) + 1)
            EXPECT_EQ(run.err.compare(line, 9, "diagraw: "), 0) << run.err;
        ExpectNoTemporaries(dir.Path());
    }
}

// Memory runs out in the first image: that image fails, the other three are
// still written.
TEST(Allocation, OutOfMemoryInTheFirstImageLeavesTheOthers)
{
    TempDir dir;
    const fs::path input = dir / "chart.raf";
    ASSERT_TRUE(WriteChartFile(input));
    RunSetup setup;
    setup.fault = "alloc";
    setup.faultOutput = 1;
    setup.faultLog = dir / "alloc.log";
    const ProcessResult run = RunDiagraw(setup, input);
    if (FaultsFired(setup.faultLog) == 0)
        GTEST_SKIP() << "the program's own operator new (a sanitizer's) hides the shim's";
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "diagraw: " + OutputPath(input, kOutputImages[0]).string() + ": out of memory\n");
    EXPECT_FALSE(fs::exists(OutputPath(input, kOutputImages[0])));
    for (const OutputImage& image : {kOutputImages[1], kOutputImages[2], kOutputImages[3]})
        EXPECT_TRUE(IsWholeBmp(OutputPath(input, image), image.width, image.height)) << image.suffix;
    ExpectNoTemporaries(dir.Path());
}

// The run starts its workers once, no more of them than the processors it
// may use (at most 8); and a count of processors that doubles with every query
// changes nothing, as the count is taken once.
TEST(Workers, StartedOnceAndCountedOnce)
{
    TempDir dir;
    const fs::path input = dir / "chart.raf";
    ASSERT_TRUE(WriteChartFile(input));
    RunSetup counting;
    counting.fault = "threads";
    counting.faultLog = dir / "threads.log";
    ExpectCleanSuccess(RunDiagraw(counting, input));
    cpu_set_t mask;
    ASSERT_EQ(sched_getaffinity(0, sizeof mask, &mask), 0);
    EXPECT_LE(FaultsFired(counting.faultLog), std::min(CPU_COUNT(&mask), 8)) << "threads started";

    RunSetup growing;
    growing.fault = "more-processors";
    ExpectCleanSuccess(RunDiagraw(growing, input));
    for (const OutputImage& image : kOutputImages)
        EXPECT_TRUE(IsWholeBmp(OutputPath(input, image), image.width, image.height)) << image.suffix;
    ExpectNoTemporaries(dir.Path());
}

// A directory so deep that a final name just fits the longest path the
// system takes (PATH_MAX), while a name of the directory's path and a longer
// temporary name would not: the images are still written.
TEST(OutputNames, DeepDirectoryWhereOnlyTheFinalNamesFit)
{
    TempDir dir;
    const long pathMax = pathconf(dir.Path().c_str(), _PC_PATH_MAX);
    if (pathMax < 256 || pathMax > 65536)
        GTEST_SKIP() << "the system's path limit is " << pathMax;
    // The longest final name, "<dir>/x.src.bmp", is one character short of
    // the limit with its terminating zero.
    const size_t directoryLength = static_cast<size_t>(pathMax) - 1 - std::string("/x.src.bmp").size() - 1;
    std::string deep = dir.Path().string();
    while (deep.size() < directoryLength)
    {
        deep += "/" + std::string(std::min<size_t>(200, directoryLength - deep.size() - 1), 'd');
        ASSERT_EQ(mkdir(deep.c_str(), 0755), 0) << std::strerror(errno);
    }
    ASSERT_EQ(deep.size(), directoryLength);
    const fs::path input = deep + "/x";
    ASSERT_TRUE(WriteChartFile(input));
    ExpectCleanSuccess(RunDiagraw(RunSetup(), input));
    for (const OutputImage& image : kOutputImages)
        EXPECT_TRUE(IsWholeBmp(OutputPath(input, image), image.width, image.height)) << image.suffix;
    ExpectNoTemporaries(deep);
}

// Random content of exactly the smallest size runs to four whole images. The
// same bytes behind a random prefix of odd length give the same images, since
// only the file's tail is read; two runs at once on that larger file, writing
// the same names, both finish and leave exactly those images.
TEST(RandomInput, SmallestSizeOnceAndLargerTwiceAtOnceGiveTheSameImages)
{
    constexpr uint64_t kSeed = 20240611;
    TempDir single;
    TempDir shared;
    const std::vector<uint8_t> tail = RandomBytes(kMinimumInputBytes, kSeed);
    std::vector<uint8_t> longer = RandomBytes(1'000'003, kSeed + 1);
    longer.insert(longer.end(), tail.begin(), tail.end());
    const fs::path smallest = single / "smallest.raf";
    const fs::path larger = shared / "larger.raf";
    WriteFile(smallest, tail);
    WriteFile(larger, longer);

    ExpectCleanSuccess(RunDiagraw(RunSetup(), smallest));
    for (const OutputImage& image : kOutputImages)
        EXPECT_TRUE(IsWholeBmp(OutputPath(smallest, image), image.width, image.height));

    const pid_t first = StartDiagraw(RunSetup(), larger, single / "first.err");
    const pid_t second = StartDiagraw(RunSetup(), larger, single / "second.err");
    for (const pid_t child : {first, second})
    {
        const int status = WaitForChild(child, std::chrono::seconds(600));
        EXPECT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
    }
    EXPECT_EQ(fs::file_size(single / "first.err") + fs::file_size(single / "second.err"), 0u);
    for (const OutputImage& image : kOutputImages)
        EXPECT_TRUE(SameContents(OutputPath(larger, image), OutputPath(smallest, image)));
    ExpectNoTemporaries(single.Path());
    ExpectNoTemporaries(shared.Path());
}

// A signal that ends the run while the mosaic preview is being written: the
// shim holds each write of that file for a while, the test waits until the
// first of them has begun and sends the signal. Every signal whose default
// action ends the process: those a user sends, the one of a CPU-time limit
// (XCPU), the timers' and a real-time one.
class Interrupt : public testing::TestWithParam<int>
{
};

INSTANTIATE_TEST_SUITE_P(Signals, Interrupt,
                         testing::Values(SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU,
                                         SIGVTALRM, SIGRTMIN + 1, SIGABRT),
                         [](const auto& instance) {
                             const char* name = sigabbrev_np(instance.param);
                             return name != nullptr ? std::string(name)
                                                    : "RTMIN" + std::to_string(instance.param - SIGRTMIN);
                         });

// The shim holds every write of one output (1 to 4) for a while and notes
// in the log when the first of them begins.
RunSetup SlowWrites(int output, int delayMilliseconds, const fs::path& log)
{
    RunSetup setup;
    setup.fault = "slow";
    setup.faultOutput = output;
    setup.faultDelayMilliseconds = delayMilliseconds;
    setup.faultLog = log;
    return setup;
}

// Waits until the shim holds the first slowed write; false when the run ends
// or takes too long before. The run is then ended.
bool WaitForSlowWrite(const fs::path& faultLog, pid_t child)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(300);
    while (std::chrono::steady_clock::now() < deadline)
    {
        if (FaultsFired(faultLog) > 0)
            return true;
        if (waitpid(child, nullptr, WNOHANG) == child)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return false;
}

TEST_P(Interrupt, TemporaryRemovedAndTheSignalEndsTheRun)
{
    const int signalNumber = GetParam();
    TempDir dir;
    TempDir logDir;
    const fs::path input = dir / "chart.raf";
    ASSERT_TRUE(WriteChartFile(input));
    rlimit core{};
    getrlimit(RLIMIT_CORE, &core);
    const rlimit noCore = {0, core.rlim_max};  // QUIT, XCPU and ABRT dump one by default
    setrlimit(RLIMIT_CORE, &noCore);

    const RunSetup setup = SlowWrites(3, 10'000, logDir / "fault.log");
    const pid_t child = StartDiagraw(setup, input, logDir / "run.err");
    ASSERT_TRUE(WaitForSlowWrite(setup.faultLog, child)) << "the mosaic preview was never written";
    EXPECT_EQ(TemporariesIn(dir.Path()).size(), 1u) << "the mosaic preview's temporary";
    kill(child, signalNumber);
    const int status = WaitForChild(child, std::chrono::seconds(60));
    EXPECT_TRUE(status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == signalNumber) << "wait status " << status;
    ExpectNoTemporaries(dir.Path());
    EXPECT_TRUE(IsWholeBmp(OutputPath(input, kOutputImages[0]), 2944, 2144));
    EXPECT_TRUE(IsWholeBmp(OutputPath(input, kOutputImages[1]), 2944, 2144));
    EXPECT_FALSE(fs::exists(OutputPath(input, kOutputImages[2])));
    EXPECT_FALSE(fs::exists(OutputPath(input, kOutputImages[3])));
    setrlimit(RLIMIT_CORE, &core);
}

// A run started with SIGTERM ignored (as by nohup for SIGHUP, or a shell for a
// background job's SIGINT) keeps ignoring it while it writes.
// Standard output is a pipe whose reader has gone, as in "diagraw x | true":
// the banner cannot be printed, which changes nothing for the images.
TEST(Interrupt, UnreadStandardOutputChangesNothing)
{
    TempDir dir;
    const fs::path input = dir / "chart.raf";
    ASSERT_TRUE(WriteChartFile(input));
    RunSetup setup;
    setup.stdoutUnread = true;
    ExpectCleanSuccess(RunDiagraw(setup, input));
    for (const OutputImage& image : kOutputImages)
        EXPECT_TRUE(IsWholeBmp(OutputPath(input, image), image.width, image.height)) << image.suffix;
}

TEST(Interrupt, IgnoredSignalStaysIgnored)
{
    TempDir dir;
    TempDir logDir;
    const fs::path input = dir / "chart.raf";
    ASSERT_TRUE(WriteChartFile(input));

    RunSetup setup = SlowWrites(1, 300, logDir / "fault.log");
    setup.ignoredSignal = SIGTERM;
    const pid_t child = StartDiagraw(setup, input, logDir / "run.err");
    ASSERT_TRUE(WaitForSlowWrite(setup.faultLog, child)) << "the field 0 preview was never written";
    kill(child, SIGTERM);
    const int status = WaitForChild(child, std::chrono::seconds(600));
    EXPECT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
    for (const OutputImage& image : kOutputImages)
        EXPECT_TRUE(IsWholeBmp(OutputPath(input, image), image.width, image.height));
}
