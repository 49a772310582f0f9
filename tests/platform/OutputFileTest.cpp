// The file layer's writing on POSIX systems: a write that signals interrupt
// goes on until every byte is through; a cleanup signal removes every
// temporary in flight, however many there are, and every signal that ends
// the process does; output names that cannot be replaced or name the input
// are refused; a new output gets the umask's mode without the umask being
// touched.
#include "TestSupport.h"

#include "platform/Files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <iterator>
#include <csignal>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace testsupport;
namespace fs = std::filesystem;

// Every call of umask in this program, the file layer's included, is counted
// here; the test sets the mask by the system call itself.
std::atomic<int> g_umaskCalls{0};

extern "C" mode_t umask(mode_t mask) noexcept
{
    ++g_umaskCalls;
    return static_cast<mode_t>(syscall(SYS_umask, mask));
}

namespace
{

void IgnoreSignal(int)
{
}

void EndQuietly(int)
{
    _exit(7);
}

}  // namespace

// A blocking write into a pipe that a signal interrupts returns the part it
// has stored so far, or fails with EINTR when it stored nothing; both must be
// continued until every byte has gone through.
TEST(PlatformFile, WriteAllContinuesAfterInterruptedWrites)
{
    struct sigaction action{};
    struct sigaction previous{};
    action.sa_handler = IgnoreSignal;  // no SA_RESTART: interrupted writes return early
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);

    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::vector<uint8_t> bytes(size_t{2} << 20);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
    bool written = false;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        written = platform::WriteAll(ends[1], bytes.data(), bytes.size()) == kStatusOk;
        done = true;
        close(ends[1]);  // the reader sees the end of the stream
    });
    const pthread_t writerThread = writer.native_handle();

    std::vector<uint8_t> received;
    uint8_t chunk[1500];
    while (received.size() < bytes.size())
    {
        const ssize_t got = read(ends[0], chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        received.insert(received.end(), chunk, chunk + got);
        if (!done)
            pthread_kill(writerThread, SIGUSR1);
    }
    writer.join();
    close(ends[0]);
    sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_TRUE(written);
    EXPECT_TRUE(received == bytes);
}

// Three outputs in the making at once, in two threads, when SIGTERM comes:
// the process ends by the signal and no temporary is left.
TEST(PlatformFile, CleanupSignalRemovesEveryTemporaryInFlight)
{
    TempDir dir;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        platform::PrepareProcess();
        platform::COutputFile first;
        platform::COutputFile second;
        platform::COutputFile third;
        bool created = first.Create((dir / "a.bmp").string()) == kStatusOk;
        std::thread other([&] { created = second.Create((dir / "b.bmp").string()) == kStatusOk && created; });
        other.join();
        created = third.Create((dir / "c.bmp").string()) == kStatusOk && created;
        if (!created || std::distance(std::filesystem::directory_iterator(dir.Path()), {}) != 3)
            _exit(2);
        raise(SIGTERM);
        _exit(3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "wait status " << status;
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path())) << "a temporary was left behind";
}


// An output name that no file can take, or that a directory or a FIFO has,
// is refused by the check made before rendering and by Create, and the node
// stays as it was; a regular file and a symbolic link (itself) are replaced.
// A FIFO that takes the name while the output is written is found before the
// rename.
TEST(PlatformFile, OutputNamesThatCannotBeReplacedAreRefusedAndLeftAsTheyWere)
{
    TempDir dir;
    fs::create_directory(dir / "sub");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    WriteFile(dir / "plain", {'o', 'l', 'd'});
    fs::create_symlink("fifo", dir / "link");
    const std::pair<std::string, Status> names[] = {
        {"", ENOENT}, {(dir / "sub/").string(), EISDIR}, {(dir / "missing" / "x").string(), ENOENT},
        {(dir / std::string(256, 'n')).string(), ENAMETOOLONG}, {(dir / "fifo").string(), kStatusNotRegularFile},
        {(dir / "sub").string(), EISDIR}, {(dir / "plain").string(), kStatusOk}, {(dir / "link").string(), kStatusOk}};
    for (const auto& [name, expected] : names)
    {
        EXPECT_EQ(platform::CheckOutputName(name), expected) << name;
        platform::COutputFile file;
        ASSERT_EQ(file.Create(name), expected) << name;
        if (expected == kStatusOk)
        {
            EXPECT_TRUE(file.Write("new", 3) == kStatusOk && file.Commit() == kStatusOk &&
                        ReadFile(name) == std::vector<uint8_t>({'n', 'e', 'w'}) && fs::is_regular_file(fs::symlink_status(name)));
        }
    }
    platform::COutputFile late;
    ASSERT_EQ(late.Create((dir / "late").string()), kStatusOk);
    ASSERT_EQ(mkfifo((dir / "late").c_str(), 0600), 0);
    EXPECT_EQ(late.Commit(), kStatusNotRegularFile);
    EXPECT_TRUE(fs::is_fifo(dir / "fifo") && fs::is_fifo(dir / "late") && fs::is_directory(dir / "sub"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 5) << "a temporary was left";
}

// A new output has the mode of any new file, 0666 less the umask, and the
// file layer never calls umask (which only sets the mask, for every thread
// of the process at once).
TEST(PlatformFile, NewOutputsGetTheModeOfTheUmaskWhichIsNeverTouched)
{
    TempDir dir;
    const auto previous = static_cast<mode_t>(syscall(SYS_umask, 022));
    for (const mode_t mask : {mode_t{022}, mode_t{027}, mode_t{077}, mode_t{002}, mode_t{0}})
    {
        syscall(SYS_umask, mask);
        g_umaskCalls = 0;
        const fs::path path = dir / ("mask" + std::to_string(mask));
        platform::COutputFile file;
        ASSERT_EQ(file.Create(path.string()), kStatusOk);
        ASSERT_EQ(file.Write("x", 1), kStatusOk);
        ASSERT_EQ(file.Commit(), kStatusOk);
        struct stat info{};
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0666 & ~mask) << "umask " << mask;
        EXPECT_EQ(g_umaskCalls, 0) << "umask " << mask;
    }
    syscall(SYS_umask, previous);
}

// For a library user: each signal whose default action ends the process
// removes the temporary in flight and ends it as the signal does, while a
// handler the program set, and a signal it ignores, stay as they were.
TEST(PlatformFile, OutputCleanupEndsTheProcessAsEachSignalWouldAndKeepsOtherHandlers)
{
    const int signals[] = {SIGHUP,  SIGQUIT, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGSEGV, SIGBUS,
                           SIGFPE,  SIGILL,  SIGABRT, SIGTRAP, SIGSYS,
#ifdef __linux__
                           SIGPOLL, SIGPWR,  SIGSTKFLT, SIGRTMIN, SIGRTMAX,
#endif
    };
    for (const int signalNumber : signals)
    {
        TempDir dir;
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0)
        {
            const rlimit noCore = {0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            // A sanitizer's runtime may hold SIGSEGV, SIGBUS and SIGFPE; the
            // child starts from the default action, as a plain program does.
            std::signal(signalNumber, SIG_DFL);
            std::signal(SIGUSR1, EndQuietly);
            std::signal(SIGTERM, SIG_IGN);
            platform::InstallOutputCleanup();
            platform::InstallOutputCleanup();
            struct sigaction usr1{};
            struct sigaction term{};
            sigaction(SIGUSR1, nullptr, &usr1);
            sigaction(SIGTERM, nullptr, &term);
            if (usr1.sa_handler != EndQuietly || term.sa_handler != SIG_IGN)
                _exit(4);
            platform::COutputFile file;
            if (file.Create((dir / "out.bmp").string()) != kStatusOk || std::filesystem::is_empty(dir.Path()))
                _exit(2);
            raise(signalNumber);
            _exit(3);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signalNumber)
            << "signal " << signalNumber << ", wait status " << status;
        EXPECT_TRUE(std::filesystem::is_empty(dir.Path())) << "signal " << signalNumber << " left a temporary";
    }
}
