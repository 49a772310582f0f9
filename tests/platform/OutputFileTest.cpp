// The file layer's writing on POSIX systems: a write that signals interrupt
// goes on until every byte is through, and a cleanup signal removes every
// temporary in flight, however many there are.
#include "TestSupport.h"

#include "platform/Files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <iterator>
#include <csignal>
#include <pthread.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace testsupport;

namespace
{

void IgnoreSignal(int)
{
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

