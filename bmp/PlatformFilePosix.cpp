// POSIX implementation of the file seam (Linux, macOS).
#include "bmp/PlatformFile.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform
{
namespace
{

// Directory part of a path, with its trailing slash; empty for a bare name.
std::string DirectoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Permissions a newly created file gets: 0666 less the process's umask.
mode_t NewFileMode()
{
    const mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

// A temporary in flight when an interrupt, a termination request or a hang-up
// ends the process is removed by the handler before the signal takes its
// default effect. g_tempInFlight holds its name (empty when none is in
// flight); it is only changed while these signals are blocked, so the handler
// never sees half a name. A name that mkstemp accepted is shorter than
// PATH_MAX.
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kCleanupSignalCount = sizeof kCleanupSignals / sizeof kCleanupSignals[0];
char g_tempInFlight[PATH_MAX];
bool g_handlerInstalled[kCleanupSignalCount];

// Only async-signal-safe calls: unlink, signal, raise. The signal is blocked
// while the handler runs, so the raised one is delivered, with its default
// action, as soon as the handler returns.
extern "C" void RemoveTempAndRaise(int signalNumber)
{
    if (g_tempInFlight[0] != '\0')
        unlink(g_tempInFlight);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

void BlockCleanupSignals(sigset_t& previousMask)
{
    sigset_t cleanup;
    sigemptyset(&cleanup);
    for (const int signalNumber : kCleanupSignals)
        sigaddset(&cleanup, signalNumber);
    sigprocmask(SIG_BLOCK, &cleanup, &previousMask);
}

// Records the temporary and installs the handler for every cleanup signal
// that has its default action; a signal the process was started to ignore
// stays ignored. Called with the signals blocked.
void MarkTempInFlight(const std::string& tempName)
{
    if (tempName.size() >= sizeof g_tempInFlight)
        return;
    std::memcpy(g_tempInFlight, tempName.c_str(), tempName.size() + 1);
    struct sigaction handler = {};
    handler.sa_handler = RemoveTempAndRaise;
    sigemptyset(&handler.sa_mask);
    for (const int signalNumber : kCleanupSignals)
        sigaddset(&handler.sa_mask, signalNumber);
    for (int i = 0; i < kCleanupSignalCount; ++i)
    {
        struct sigaction previous;
        if (sigaction(kCleanupSignals[i], nullptr, &previous) == 0 && previous.sa_handler == SIG_DFL)
            g_handlerInstalled[i] = sigaction(kCleanupSignals[i], &handler, nullptr) == 0;
    }
}

// The temporary is gone (renamed or removed): the signals get their default
// action back. One that arrived meanwhile is delivered on unblocking.
void ClearTempInFlight()
{
    sigset_t previousMask;
    BlockCleanupSignals(previousMask);
    g_tempInFlight[0] = '\0';
    for (int i = 0; i < kCleanupSignalCount; ++i)
    {
        if (g_handlerInstalled[i])
            std::signal(kCleanupSignals[i], SIG_DFL);
        g_handlerInstalled[i] = false;
    }
    sigprocmask(SIG_SETMASK, &previousMask, nullptr);
}

}  // namespace

OutputHandle CreateTempBeside(const std::string& finalName, std::string& tempName)
{
    // A short fixed prefix keeps the name well below the file system's limit
    // even when the final name is close to it.
    std::string pattern = DirectoryOf(finalName) + ".diagraw-XXXXXX";
    sigset_t previousMask;
    BlockCleanupSignals(previousMask);
    const int fd = mkstemp(pattern.data());
    if (fd >= 0)
        MarkTempInFlight(pattern);
    sigprocmask(SIG_SETMASK, &previousMask, nullptr);
    if (fd < 0)
        return kInvalidOutput;
    // mkstemp makes the file private (0600); the output is to have the mode of
    // any new file. Set through the descriptor, never by name: the name lies
    // in a directory that others may be able to write.
    if (fchmod(fd, NewFileMode()) != 0)
    {
        close(fd);
        RemoveFile(pattern);
        return kInvalidOutput;
    }
    tempName = pattern;
    return fd;
}

bool WriteAll(OutputHandle file, const void* bytes, size_t count)
{
    const auto* next = static_cast<const unsigned char*>(bytes);
    while (count > 0)
    {
        const ssize_t written = write(static_cast<int>(file), next, count);
        if (written < 0)
        {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0)
        {
            errno = EIO;
            return false;
        }
        next += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

bool CloseOutput(OutputHandle file)
{
    return close(static_cast<int>(file)) == 0;
}

bool ReplaceWithTemp(const std::string& tempName, const std::string& finalName)
{
    if (rename(tempName.c_str(), finalName.c_str()) != 0)
        return false;
    ClearTempInFlight();
    return true;
}

void RemoveFile(const std::string& name)
{
    unlink(name.c_str());
    if (name == g_tempInFlight)
        ClearTempInFlight();
}

std::FILE* OpenRegularFileForReading(const char* path, int64_t& size)
{
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; what was
    // opened is then checked, and only a regular file is read.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
    {
        close(fd);
        return nullptr;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
    {
        close(fd);
        return nullptr;
    }
    std::FILE* stream = fdopen(fd, "rb");
    if (stream == nullptr)
    {
        close(fd);
        return nullptr;
    }
    size = static_cast<int64_t>(info.st_size);
    return stream;
}

bool SeekTo(std::FILE* file, int64_t offset)
{
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

}  // namespace platform
