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
#include <cstring>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
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

// A node that an output must not replace, or may, made at path.
void MakeFifo(const fs::path& path)
{
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
}

void MakeSocket(const fs::path& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.string().size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, path.c_str());
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    close(fd);
}

void MakeNullDevice(const fs::path& path)
{
    if (mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "mknod needs the superuser";
}

void MakeDirectory(const fs::path& path)
{
    fs::create_directory(path);
}

void MakeFile(const fs::path& path)
{
    WriteFile(path, {'o', 'l', 'd'});
}

void MakeLinkToFifo(const fs::path& path)
{
    MakeFifo(path.string() + ".fifo");
    fs::create_symlink(path.filename().string() + ".fifo", path);
}

struct NameCase
{
    const char* name;           // below the test's directory; "" for an empty name
    void (*prepare)(const fs::path& path);
    Status expected;
};

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


// What already has an output's name, or the name itself, decides: the check
// that the programs make before rendering and Create agree, a refused name
// keeps its node as it was and no temporary remains; a name that may be
// replaced becomes the new regular file (a symbolic link itself, not what it
// points to).
TEST(PlatformFile, OutputNamesThatCannotBeReplacedAreRefusedAndLeftAsTheyWere)
{
    const std::string kTooLong(256, 'n');  // one more than a directory entry takes
    const NameCase cases[] = {
        {"", nullptr, ENOENT},
        {"sub/", MakeDirectory, EISDIR},
        {"missing/out", nullptr, ENOENT},
        {kTooLong.c_str(), nullptr, ENAMETOOLONG},
        {"fifo", MakeFifo, kStatusNotRegularFile},
        {"socket", MakeSocket, kStatusNotRegularFile},
        {"null", MakeNullDevice, kStatusNotRegularFile},
        {"directory", MakeDirectory, EISDIR},
        {"plain", MakeFile, kStatusOk},
        {"link", MakeLinkToFifo, kStatusOk},
    };
    for (const NameCase& c : cases)
    {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const fs::path path = dir / c.name;
        const std::string name = *c.name == '\0' ? std::string() : path.string();
        if (c.prepare != nullptr)
            c.prepare(path);
        if (testing::Test::IsSkipped())
            return;
        struct stat before{};
        lstat(path.c_str(), &before);
        EXPECT_EQ(platform::CheckOutputName(name), c.expected);
        platform::COutputFile file;
        ASSERT_EQ(file.Create(name), c.expected);
        struct stat after{};
        if (c.expected == kStatusOk)
        {
            ASSERT_EQ(file.Write("new", 3), kStatusOk);
            ASSERT_EQ(file.Commit(), kStatusOk);
            EXPECT_EQ(ReadFile(path), (std::vector<uint8_t>{'n', 'e', 'w'}));
            EXPECT_TRUE(lstat(path.c_str(), &after) == 0 && S_ISREG(after.st_mode));
        }
        else
            EXPECT_TRUE(lstat(path.c_str(), &after) != 0 || (after.st_mode == before.st_mode && after.st_rdev == before.st_rdev));
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), c.prepare == MakeLinkToFifo ? 2 : c.prepare != nullptr);
    }
}

// A FIFO that takes the name while the output is written is found again
// before the rename, and stays.
TEST(PlatformFile, NameTakenWhileWritingIsCheckedAgainBeforeTheRename)
{
    TempDir dir;
    platform::COutputFile file;
    ASSERT_EQ(file.Create((dir / "late").string()), kStatusOk);
    MakeFifo(dir / "late");
    EXPECT_EQ(file.Commit(), kStatusNotRegularFile);
    EXPECT_TRUE(fs::is_fifo(dir / "late"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 1);
}

// The input under its own name, through a symbolic link and through a hard
// link is the open file; a copy of it and a free name are not.
TEST(PlatformFile, OutputNamingTheOpenInputIsRefused)
{
    TempDir dir;
    WriteFile(dir / "in.raf", {1, 2, 3});
    WriteFile(dir / "copy.raf", {1, 2, 3});
    fs::create_symlink("in.raf", dir / "symlink.raf");
    fs::create_hard_link(dir / "in.raf", dir / "hard.raf");
    std::FILE* input = nullptr;
    int64_t size = 0;
    ASSERT_EQ(platform::OpenInput((dir / "in.raf").c_str(), input, size), kStatusOk);
    const std::pair<const char*, bool> names[] = {
        {"in.raf", true}, {"symlink.raf", true}, {"hard.raf", true}, {"copy.raf", false}, {"free.raf", false}};
    for (const auto& [name, isInput] : names)
    {
        EXPECT_EQ(platform::NamesOpenFile((dir / name).string(), input), isInput) << name;
        EXPECT_EQ(platform::CheckOutputName((dir / name).string(), input), isInput ? kStatusOutputIsInput : kStatusOk)
            << name;
    }
    std::fclose(input);
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
