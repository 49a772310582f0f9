// The file layer on POSIX systems (Linux, macOS).
#include "platform/Files.h"

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

// The temporary in flight, for the signal handler: its name, or an empty
// string. It is only changed while the cleanup signals are blocked, so the
// handler never sees half a name. A name that mkstemp accepted is shorter
// than PATH_MAX.
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
char g_tempInFlight[PATH_MAX];

// Only async-signal-safe calls: unlink, signal, raise. The signal is blocked
// while the handler runs, so the one raised here is delivered, with its
// default action, as soon as the handler returns.
extern "C" void RemoveTempAndRaise(int signalNumber)
{
    if (g_tempInFlight[0] != '\0')
        unlink(g_tempInFlight);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

class CCleanupSignalsBlocked
{
public:
    CCleanupSignalsBlocked()
    {
        sigset_t cleanup;
        sigemptyset(&cleanup);
        for (const int signalNumber : kCleanupSignals)
            sigaddset(&cleanup, signalNumber);
        pthread_sigmask(SIG_BLOCK, &cleanup, &m_previous);
    }
    ~CCleanupSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &m_previous, nullptr); }
    CCleanupSignalsBlocked(const CCleanupSignalsBlocked&) = delete;
    CCleanupSignalsBlocked& operator=(const CCleanupSignalsBlocked&) = delete;

private:
    sigset_t m_previous;
};

void ClearTempInFlight()
{
    const CCleanupSignalsBlocked blocked;
    g_tempInFlight[0] = '\0';
}

Status ErrorNumber()
{
    return errno != 0 ? errno : EIO;
}

}  // namespace

void InstallOutputCleanup()
{
    struct sigaction handler = {};
    handler.sa_handler = RemoveTempAndRaise;
    sigemptyset(&handler.sa_mask);
    for (const int signalNumber : kCleanupSignals)
        sigaddset(&handler.sa_mask, signalNumber);
    // A signal that the process was started to ignore stays ignored.
    for (const int signalNumber : kCleanupSignals)
    {
        struct sigaction previous;
        if (sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler == SIG_DFL)
            sigaction(signalNumber, &handler, nullptr);
    }
}

COutputFile::~COutputFile()
{
    Discard();
}

Status COutputFile::Create(const std::string& finalName)
{
    Discard();
    // Every string is made before the temporary exists, so that nothing which
    // can throw stands between its creation and the cleanup that owns it.
    m_finalName = finalName;
    std::string pattern = DirectoryOf(finalName) + ".diagraw-XXXXXX";
    int fd;
    {
        const CCleanupSignalsBlocked blocked;
        fd = mkstemp(pattern.data());
        if (fd >= 0 && pattern.size() < sizeof g_tempInFlight)
            std::memcpy(g_tempInFlight, pattern.c_str(), pattern.size() + 1);
    }
    if (fd < 0)
        return ErrorNumber();
    m_handle = fd;
    m_tempName.swap(pattern);
    // mkstemp makes the file private (0600); the output is to have the mode of
    // any new file. Set through the descriptor, never by name: the name lies
    // in a directory that others may be able to write.
    if (fchmod(fd, NewFileMode()) != 0)
    {
        const Status status = ErrorNumber();
        Discard();
        return status;
    }
    return kStatusOk;
}

Status WriteAll(intptr_t handle, const void* bytes, size_t count)
{
    const auto* next = static_cast<const unsigned char*>(bytes);
    while (count > 0)
    {
        const ssize_t written = write(static_cast<int>(handle), next, count);
        if (written < 0)
        {
            if (errno == EINTR)
                continue;
            return ErrorNumber();
        }
        if (written == 0)
            return EIO;
        next += written;
        count -= static_cast<size_t>(written);
    }
    return kStatusOk;
}

Status COutputFile::Write(const void* bytes, size_t count)
{
    return WriteAll(m_handle, bytes, count);
}

Status COutputFile::Commit()
{
    const int fd = static_cast<int>(m_handle);
    m_handle = -1;
    if (close(fd) != 0 || rename(m_tempName.c_str(), m_finalName.c_str()) != 0)
    {
        const Status status = ErrorNumber();
        Discard();
        return status;
    }
    ClearTempInFlight();
    m_tempName.clear();
    return kStatusOk;
}

void COutputFile::Discard()
{
    if (m_handle != -1)
        close(static_cast<int>(m_handle));
    m_handle = -1;
    if (!m_tempName.empty())
    {
        unlink(m_tempName.c_str());
        ClearTempInFlight();
        m_tempName.clear();
    }
}

Status OpenInput(const char* path, std::FILE*& stream, int64_t& size)
{
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; what was
    // opened is then checked, and only a regular file is read.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return ErrorNumber();
    struct stat info;
    if (fstat(fd, &info) != 0)
    {
        const Status status = ErrorNumber();
        close(fd);
        return status;
    }
    if (!S_ISREG(info.st_mode))
    {
        close(fd);
        return S_ISDIR(info.st_mode) ? EISDIR : kStatusNotRegularFile;
    }
    const int flags = fcntl(fd, F_GETFL);
    std::FILE* opened = nullptr;
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 || (opened = fdopen(fd, "rb")) == nullptr)
    {
        const Status status = ErrorNumber();
        close(fd);
        return status;
    }
    stream = opened;
    size = static_cast<int64_t>(info.st_size);
    return kStatusOk;
}

Status ReadAt(std::FILE* stream, int64_t offset, void* bytes, size_t count)
{
    if (fseeko(stream, static_cast<off_t>(offset), SEEK_SET) != 0)
        return ErrorNumber();
    if (std::fread(bytes, 1, count, stream) == count)
        return kStatusOk;
    return std::ferror(stream) != 0 ? ErrorNumber() : kStatusShortRead;
}

}  // namespace platform
