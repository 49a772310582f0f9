// The file layer on POSIX systems (Linux, macOS).
#include "platform/Files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform
{
namespace
{

// Permissions a newly created file gets: 0666 less the process's umask. The
// umask can only be read by setting it; the lock keeps two outputs created
// at once in two threads from reading each other's 0 and leaving it set.
mode_t NewFileMode()
{
    static std::mutex s_umask;
    const std::lock_guard<std::mutex> lock(s_umask);
    const mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

// The register of temporaries in flight, for the signal handler: one entry
// per output being written, from any thread, each the descriptor of the
// temporary's directory and its name there. An entry is claimed, filled and
// only then marked live, and marked free before it is reused, all through
// lock-free atomics, so the handler reads only whole entries. Past
// kRegisterSlots outputs at once, the further ones are written as well but
// not removed on a signal.
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr size_t kNameMax = 255;  // longest file name a directory entry takes (NAME_MAX)
constexpr int kRegisterSlots = 64;
enum RegisterState : int { kSlotFree, kSlotFilling, kSlotLive };

struct TempInFlight
{
    std::atomic<int> state{kSlotFree};
    int directory = -1;
    char name[kNameMax + 1] = {};
};

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads the register");
TempInFlight g_tempsInFlight[kRegisterSlots];

// Only async-signal-safe calls: unlinkat, signal, raise. The signal is
// blocked while the handler runs, so the one raised here is delivered, with
// its default action, as soon as the handler returns.
extern "C" void RemoveTempAndRaise(int signalNumber)
{
    for (TempInFlight& temp : g_tempsInFlight)
        if (temp.state.load(std::memory_order_acquire) == kSlotLive)
            unlinkat(temp.directory, temp.name, 0);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

// Enters a temporary in the register; returns its slot, or -1 when the
// register is full.
int RegisterTemp(int directory, const std::string& name)
{
    for (int slot = 0; slot < kRegisterSlots; ++slot)
    {
        TempInFlight& temp = g_tempsInFlight[slot];
        int expected = kSlotFree;
        if (!temp.state.compare_exchange_strong(expected, kSlotFilling, std::memory_order_acquire))
            continue;
        temp.directory = directory;
        std::memcpy(temp.name, name.c_str(), name.size() + 1);
        temp.state.store(kSlotLive, std::memory_order_release);
        return slot;
    }
    return -1;
}

void UnregisterTemp(int slot)
{
    if (slot >= 0)
        g_tempsInFlight[slot].state.store(kSlotFree, std::memory_order_release);
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

Status ErrorNumber()
{
    return errno != 0 ? errno : EIO;
}

// The name of the temporary for the file finalName names in its directory:
// hidden, and saying what it is,
//   .<finalName>.diagraw-XXXXXX
// with the final name shortened where the whole would not fit a directory
// entry. The Xs are left for the caller.
std::string TemporaryNameFor(const std::string& finalName)
{
    static constexpr char kTag[] = ".diagraw-XXXXXX";
    const size_t kept = std::min(finalName.size(), kNameMax - 1 - (sizeof kTag - 1));
    std::string name(1, '.');
    name.append(finalName, 0, kept);
    name.append(kTag);
    return name;
}

// Replaces the six Xs at the end of name with letters and digits that differ
// from call to call and from process to process.
void FillUniqueTail(std::string& name, uint64_t& state)
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    // A step of splitmix64 over a state seeded from the clock and the pid.
    state += 0x9E3779B97F4A7C15ull;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    for (size_t i = name.size() - 6; i < name.size(); ++i, z /= 62)
        name[i] = kAlphabet[z % 62];
}

// Writes all count bytes at offset, or where the descriptor stands when
// offset is negative, continuing after short or interrupted writes.
Status WriteFully(int fd, const void* bytes, size_t count, int64_t offset)
{
    const auto* next = static_cast<const unsigned char*>(bytes);
    while (count > 0)
    {
        const ssize_t written =
            offset < 0 ? write(fd, next, count) : pwrite(fd, next, count, static_cast<off_t>(offset));
        if (written < 0)
        {
            if (errno == EINTR)
                continue;
            return ErrorNumber();
        }
        if (written == 0)
            return EIO;
        next += written;
        offset = offset < 0 ? offset : offset + written;
        count -= static_cast<size_t>(written);
    }
    return kStatusOk;
}

}  // namespace

void InstallOutputCleanup()
{
    struct sigaction handler = {};
    handler.sa_handler = RemoveTempAndRaise;
    sigemptyset(&handler.sa_mask);
    for (const int signalNumber : kCleanupSignals)
        sigaddset(&handler.sa_mask, signalNumber);
    // A signal that the process was started to ignore, or that already has
    // a handler, keeps what it has.
    for (const int signalNumber : kCleanupSignals)
    {
        struct sigaction previous;
        if (sigaction(signalNumber, nullptr, &previous) == 0 && (previous.sa_flags & SA_SIGINFO) == 0 &&
            previous.sa_handler == SIG_DFL)
            sigaction(signalNumber, &handler, nullptr);
    }
}

void PrepareProcess()
{
    InstallOutputCleanup();
    // Past the file-size limit a write would end the process by SIGXFSZ, and
    // output to a pipe nobody reads by SIGPIPE. Ignored, the write fails with
    // EFBIG or EPIPE instead and the run cleans up and goes on.
    for (const int signalNumber : {SIGXFSZ, SIGPIPE})
    {
        struct sigaction previous;
        if (sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler == SIG_DFL)
            std::signal(signalNumber, SIG_IGN);
    }
}

void StartThreadsWithoutCleanupSignals(const std::function<void()>& startThreads)
{
    const CCleanupSignalsBlocked blocked;
    startThreads();
}

COutputFile::~COutputFile()
{
    Discard();
}

Status COutputFile::Create(const std::string& finalName)
{
    Discard();
    // The temporary is made and later renamed relative to its directory, so
    // that the length of the directory's path never matters: an output whose
    // final name fits can be written. Every string exists before the file
    // does, so nothing that can throw stands between its creation and the
    // cleanup that owns it.
    const size_t slash = finalName.rfind('/');
    const std::string directory =
        slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : finalName.substr(0, slash);
    std::string finalEntry = slash == std::string::npos ? finalName : finalName.substr(slash + 1);
    std::string tempEntry = TemporaryNameFor(finalEntry);
    const int directoryFd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directoryFd < 0)
        return ErrorNumber();
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    uint64_t state = static_cast<uint64_t>(now.tv_nsec) ^ static_cast<uint64_t>(now.tv_sec) << 30 ^
                     static_cast<uint64_t>(getpid()) << 40 ^ reinterpret_cast<uintptr_t>(this);
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt)
    {
        FillUniqueTail(tempEntry, state);
        const CCleanupSignalsBlocked blocked;
        fd = openat(directoryFd, tempEntry.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            m_registered = RegisterTemp(directoryFd, tempEntry);
        else if (errno != EEXIST)
            break;
    }
    if (fd < 0)
    {
        const Status status = ErrorNumber();
        close(directoryFd);
        return status;
    }
    m_handle = fd;
    m_directory = directoryFd;
    m_finalName.swap(finalEntry);
    m_tempName.swap(tempEntry);
    // The temporary starts private (0600); the output is to have the mode of
    // any new file. Set through the descriptor, never by name: the name lies
    // in a directory that others may be able to write. Some file systems
    // (FAT, exFAT, CIFS mounts of another user, FUSE layers) refuse to change
    // a mode; the image is worth more than its mode, so that is no failure.
    (void)fchmod(fd, NewFileMode());
    return kStatusOk;
}

Status WriteAll(intptr_t handle, const void* bytes, size_t count)
{
    return WriteFully(static_cast<int>(handle), bytes, count, -1);
}

Status COutputFile::Write(const void* bytes, size_t count)
{
    return WriteAll(m_handle, bytes, count);
}

Status COutputFile::WriteAt(int64_t offset, const void* bytes, size_t count)
{
    return WriteFully(static_cast<int>(m_handle), bytes, count, offset);
}

Status COutputFile::Commit()
{
    const int fd = static_cast<int>(m_handle);
    m_handle = -1;
    const int directoryFd = static_cast<int>(m_directory);
    if (close(fd) != 0 || renameat(directoryFd, m_tempName.c_str(), directoryFd, m_finalName.c_str()) != 0)
    {
        const Status status = ErrorNumber();
        Discard();
        return status;
    }
    UnregisterTemp(std::exchange(m_registered, -1));
    m_tempName.clear();
    close(directoryFd);
    m_directory = -1;
    return kStatusOk;
}

void COutputFile::Discard()
{
    if (m_handle != -1)
        close(static_cast<int>(m_handle));
    m_handle = -1;
    if (!m_tempName.empty())
    {
        unlinkat(static_cast<int>(m_directory), m_tempName.c_str(), 0);
        UnregisterTemp(std::exchange(m_registered, -1));
        m_tempName.clear();
    }
    if (m_directory != -1)
        close(static_cast<int>(m_directory));
    m_directory = -1;
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
    const int fd = fileno(stream);
    auto* next = static_cast<unsigned char*>(bytes);
    while (count > 0)
    {
        const ssize_t got = pread(fd, next, count, static_cast<off_t>(offset));
        if (got < 0)
        {
            if (errno == EINTR)
                continue;
            return ErrorNumber();
        }
        if (got == 0)
            return kStatusShortRead;  // the file ended before the block did
        next += got;
        offset += got;
        count -= static_cast<size_t>(got);
    }
    return kStatusOk;
}

}  // namespace platform
