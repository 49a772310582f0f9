// A preloaded library (LD_PRELOAD) that makes the file calls of a diagraw
// process fail on demand, so the fault tests can run the real program under
// errors that a healthy machine never gives.
//
// The fault is chosen by environment variables:
//   DIAGRAW_FAULT         create | header | pixels | close | rename | nospace |
//                         deflate | read-error | short-read | slow | alloc |
//                         more-processors | threads
//   DIAGRAW_FAULT_OUTPUT  which output file is hit, counted 1.. in the order
//                         of their temporaries' creation; 0 or unset: all.
//                         alloc: the first allocation after this output's
//                         temporary was created fails
//   DIAGRAW_FAULT_BYTES   nospace: bytes the file system accepts in total;
//                         alloc without an output: the ordinal of the one
//                         allocation (operator new, counted from the
//                         process's start over every thread) that fails
// more-processors: each query of the processors (get_nprocs,
// sched_getaffinity) finds twice as many as the last, from one; threads: no
// fault, every thread started is logged.
//   DIAGRAW_FAULT_DELAY   slow: milliseconds of sleep before each write
//   DIAGRAW_FAULT_LOG     file that gets one line "<fault> <output>" each
//                         time the fault fires, so a test knows it was hit
// Every call that is not hit goes on to the next definition (the C library's,
// or a sanitizer's interceptor) unchanged. Output files are recognised as the
// files that openat creates exclusively under a temporary's name
// (".<image>.diagraw-XXXXXX"), by their descriptors and names.
//
// The shim defines read, pread and fread itself, so it must see the C
// library's plain declarations: with _FORTIFY_SOURCE (the hardened build)
// Clang gets inline wrappers of the same names from the headers.
#undef _FORTIFY_SOURCE
#include <atomic>
#include <cerrno>
#include <new>
#include <pthread.h>
#include <sched.h>
#include <sys/sysinfo.h>
#include <cstdarg>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

enum class FaultKind
{
    None,
    Create,
    Header,
    Pixels,
    Close,
    Rename,
    NoSpace,
    Deflate,
    ReadError,
    ShortRead,
    Slow,
    Alloc,
    MoreProcessors,
    Threads
};

struct FaultName
{
    const char* name;
    FaultKind kind;
};

constexpr FaultName kFaultNames[] = {
    {"create", FaultKind::Create},       {"header", FaultKind::Header},   {"pixels", FaultKind::Pixels},
    {"close", FaultKind::Close},         {"rename", FaultKind::Rename},   {"nospace", FaultKind::NoSpace},
    {"deflate", FaultKind::Deflate},
    {"read-error", FaultKind::ReadError}, {"short-read", FaultKind::ShortRead}, {"slow", FaultKind::Slow},
    {"alloc", FaultKind::Alloc},         {"more-processors", FaultKind::MoreProcessors},
    {"threads", FaultKind::Threads}};

// One output temporary of the process. The entries are kept after the file
// is closed or renamed: the "file system" of the nospace fault still holds
// the bytes until the name is removed.
struct OutputFile
{
    int fd = -1;                // -1 once closed
    int ordinal = 0;            // 1 for the first temporary created
    char name[PATH_MAX] = {};   // the temporary's name; empty once renamed
    long long bytesOnDisk = 0;  // freed when the temporary is removed
    int writeCalls = 0;
};

constexpr int kMaxOutputs = 16;
OutputFile g_outputs[kMaxOutputs];
int g_outputCount = 0;     // entries of g_outputs in use
int g_creationCalls = 0;   // temporaries asked for, refused ones included

FaultKind g_fault = FaultKind::None;
int g_faultOutput = 0;
long long g_capacityBytes = 0;
long g_delayMilliseconds = 0;
const char* g_faultLog = nullptr;
const char* g_faultName = "";
std::atomic<bool> g_inputCutShort{false};

using WriteFunction = ssize_t (*)(int, const void*, size_t);
using ReadFunction = ssize_t (*)(int, void*, size_t);
using CloseFunction = int (*)(int);
using RenameatFunction = int (*)(int, const char*, int, const char*);
using UnlinkatFunction = int (*)(int, const char*, int);
using OpenatFunction = int (*)(int, const char*, int, ...);
using DeflaterFunction = void* (*)(int);
using FreadFunction = size_t (*)(void*, size_t, size_t, FILE*);
using PreadFunction = ssize_t (*)(int, void*, size_t, off_t);

WriteFunction g_write;
ReadFunction g_read;
CloseFunction g_close;
RenameatFunction g_renameat;
UnlinkatFunction g_unlinkat;
OpenatFunction g_openat;
OpenatFunction g_openat64;
DeflaterFunction g_allocDeflater;
FreadFunction g_fread;
PreadFunction g_pread;
PreadFunction g_pread64;
using ThreadCreateFunction = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
ThreadCreateFunction g_pthreadCreate;
using AffinityFunction = int (*)(pid_t, size_t, cpu_set_t*);
AffinityFunction g_schedGetaffinity;
std::atomic<long> g_allocations{0};        // alloc: operator new calls so far
std::atomic<bool> g_allocationFailed{false};
std::atomic<int> g_processorQueries{0};    // more-processors
std::atomic<int> g_threadsStarted{0};

template <typename Function>
void FindNext(Function& function, const char* name)
{
    function = reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// Runs before the program's main, so that every later call, including one
// from a signal handler, finds the next definitions already looked up.
__attribute__((constructor)) void ReadFaultSettings()
{
    FindNext(g_write, "write");
    FindNext(g_read, "read");
    FindNext(g_close, "close");
    FindNext(g_renameat, "renameat");
    FindNext(g_unlinkat, "unlinkat");
    FindNext(g_openat, "openat");
    FindNext(g_openat64, "openat64");
    FindNext(g_allocDeflater, "libdeflate_alloc_compressor");
    FindNext(g_fread, "fread");
    FindNext(g_pread, "pread");
    FindNext(g_pread64, "pread64");
    FindNext(g_pthreadCreate, "pthread_create");
    FindNext(g_schedGetaffinity, "sched_getaffinity");

    const char* fault = std::getenv("DIAGRAW_FAULT");
    if (fault == nullptr)
        return;
    for (const FaultName& known : kFaultNames)
        if (std::strcmp(fault, known.name) == 0)
        {
            g_fault = known.kind;
            g_faultName = known.name;
        }
    if (const char* output = std::getenv("DIAGRAW_FAULT_OUTPUT"))
        g_faultOutput = std::atoi(output);
    if (const char* bytes = std::getenv("DIAGRAW_FAULT_BYTES"))
        g_capacityBytes = std::atoll(bytes);
    if (const char* delay = std::getenv("DIAGRAW_FAULT_DELAY"))
        g_delayMilliseconds = std::atol(delay);
    g_faultLog = std::getenv("DIAGRAW_FAULT_LOG");
}

void LogFired(int ordinal)
{
    if (g_faultLog == nullptr)
        return;
    const int savedErrno = errno;
    const int log = open(g_faultLog, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (log >= 0)
    {
        char line[64];
        const int length = std::snprintf(line, sizeof line, "%s %d\n", g_faultName, ordinal);
        if (length > 0)
            g_write(log, line, static_cast<size_t>(length));
        g_close(log);
    }
    errno = savedErrno;
}

OutputFile* OutputByDescriptor(int fd)
{
    for (int i = 0; i < g_outputCount; ++i)
        if (g_outputs[i].fd == fd)
            return &g_outputs[i];
    return nullptr;
}

OutputFile* OutputByName(const char* name)
{
    for (int i = 0; i < g_outputCount; ++i)
        if (g_outputs[i].name[0] != '\0' && std::strcmp(g_outputs[i].name, name) == 0)
            return &g_outputs[i];
    return nullptr;
}

bool IsHit(const OutputFile* output, FaultKind kind)
{
    return g_fault == kind && output != nullptr && (g_faultOutput == 0 || g_faultOutput == output->ordinal);
}

long long BytesOnDisk()
{
    long long total = 0;
    for (int i = 0; i < g_outputCount; ++i)
        total += g_outputs[i].bytesOnDisk;
    return total;
}

// The creation of every temporary: counts it, and refuses it for the create
// fault before anything exists on disk.
template <typename Create>
int CreateOutput(const char* name, Create create)
{
    const int ordinal = ++g_creationCalls;
    if (g_fault == FaultKind::Create && (g_faultOutput == 0 || g_faultOutput == ordinal))
    {
        LogFired(ordinal);
        errno = EACCES;
        return -1;
    }
    const int fd = create();
    if (fd >= 0 && g_outputCount < kMaxOutputs)
    {
        OutputFile& output = g_outputs[g_outputCount++];
        output.fd = fd;
        output.ordinal = ordinal;
        std::snprintf(output.name, sizeof output.name, "%s", name);
    }
    return fd;
}

// The sleep of the slow fault, resumed after a signal whose handler returns.
void Pause(long milliseconds)
{
    timespec left = {milliseconds / 1000, (milliseconds % 1000) * 1'000'000};
    while (nanosleep(&left, &left) != 0 && errno == EINTR)
    {
    }
}

// A read of the input under the input faults; readNext(asked) reads asked
// bytes (or items) with the next definition.
template <typename ReadNext>
ssize_t ReadInput(size_t count, ReadNext readNext)
{
    if (g_fault == FaultKind::ReadError)
    {
        LogFired(0);
        errno = EIO;
        return -1;
    }
    if (g_fault == FaultKind::ShortRead && count > 0)
    {
        if (g_inputCutShort.exchange(true))
            return 0;
        LogFired(0);
        return readNext(count - 1);
    }
    return readNext(count);
}

// True for the exclusive creation of an output's temporary.
bool IsTemporaryCreation(const char* name, int flags)
{
    return (flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL) && name[0] == '.' &&
           std::strstr(name, ".diagraw-") != nullptr;
}

// openat and openat64: the creation of a temporary is counted (and may be
// refused); every other call goes on unchanged.
int OpenAt(OpenatFunction next, int directory, const char* name, int flags, va_list arguments)
{
    const mode_t mode = (flags & O_CREAT) != 0 ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
    if (!IsTemporaryCreation(name, flags))
        return next(directory, name, flags, mode);
    return CreateOutput(name, [&] { return next(directory, name, flags, mode); });
}

}  // namespace

extern "C" {

int openat(int directory, const char* name, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const int fd = OpenAt(g_openat, directory, name, flags, arguments);
    va_end(arguments);
    return fd;
}

int openat64(int directory, const char* name, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const int fd = OpenAt(g_openat64 != nullptr ? g_openat64 : g_openat, directory, name, flags, arguments);
    va_end(arguments);
    return fd;
}

// deflate: libdeflate cannot get the memory for its compressor, as under a
// tight address-space limit.
void* libdeflate_alloc_compressor(int level)
{
    if (g_fault == FaultKind::Deflate)
    {
        LogFired(0);
        return nullptr;
    }
    return g_allocDeflater != nullptr ? g_allocDeflater(level) : nullptr;
}

ssize_t write(int fd, const void* bytes, size_t count)
{
    OutputFile* output = OutputByDescriptor(fd);
    if (output == nullptr)
        return g_write(fd, bytes, count);
    const int call = output->writeCalls++;
    if (IsHit(output, FaultKind::Slow))
    {
        if (call == 0)
            LogFired(output->ordinal);
        Pause(g_delayMilliseconds);
    }
    if (IsHit(output, FaultKind::Header) && call == 0)
    {
        LogFired(output->ordinal);
        errno = EIO;
        return -1;
    }
    if (IsHit(output, FaultKind::Pixels) && call > 0)
    {
        // The first pixel write stores half of what it was given, the next
        // one fails: the temporary holds a part of the image when it fails.
        if (call == 1 && count > 1)
            count /= 2;
        else
        {
            LogFired(output->ordinal);
            errno = EIO;
            return -1;
        }
    }
    if (g_fault == FaultKind::NoSpace)
    {
        const long long room = g_capacityBytes - BytesOnDisk();
        if (room <= 0)
        {
            LogFired(output->ordinal);
            errno = ENOSPC;
            return -1;
        }
        if (static_cast<long long>(count) > room)
            count = static_cast<size_t>(room);
    }
    const ssize_t written = g_write(fd, bytes, count);
    if (written > 0)
        output->bytesOnDisk += written;
    return written;
}

int close(int fd)
{
    OutputFile* output = OutputByDescriptor(fd);
    if (output != nullptr)
        output->fd = -1;
    const int result = g_close(fd);
    if (result == 0 && IsHit(output, FaultKind::Close))
    {
        // As a network file system reports a failed deferred write: the
        // descriptor is released all the same.
        LogFired(output->ordinal);
        errno = EIO;
        return -1;
    }
    return result;
}

int renameat(int oldDirectory, const char* oldName, int newDirectory, const char* newName) noexcept
{
    OutputFile* output = OutputByName(oldName);
    if (IsHit(output, FaultKind::Rename))
    {
        LogFired(output->ordinal);
        errno = EIO;
        return -1;
    }
    const int result = g_renameat(oldDirectory, oldName, newDirectory, newName);
    if (result == 0 && output != nullptr)
        output->name[0] = '\0';
    return result;
}

int unlinkat(int directory, const char* name, int flags) noexcept
{
    OutputFile* output = OutputByName(name);
    const int result = g_unlinkat(directory, name, flags);
    if (result == 0 && output != nullptr)
    {
        output->name[0] = '\0';
        output->bytesOnDisk = 0;
    }
    return result;
}

// Input faults, for read and pread alike. An error fails every read; a short
// read delivers all but the last byte asked for, and every later read finds
// the end of the file, as when the file is cut short while it is read.
ssize_t read(int fd, void* bytes, size_t count)
{
    if (fd <= STDERR_FILENO || OutputByDescriptor(fd) != nullptr)
        return g_read(fd, bytes, count);
    return ReadInput(count, [&](size_t asked) { return g_read(fd, bytes, asked); });
}

ssize_t pread(int fd, void* bytes, size_t count, off_t offset)
{
    return ReadInput(count, [&](size_t asked) { return g_pread(fd, bytes, asked, offset); });
}

ssize_t pread64(int fd, void* bytes, size_t count, off_t offset)
{
    PreadFunction next = g_pread64 != nullptr ? g_pread64 : g_pread;
    return ReadInput(count, [&](size_t asked) { return next(fd, bytes, asked, offset); });
}

size_t fread(void* items, size_t itemSize, size_t itemCount, FILE* stream)
{
    const ssize_t got =
        ReadInput(itemCount, [&](size_t asked) { return static_cast<ssize_t>(g_fread(items, itemSize, asked, stream)); });
    return got < 0 ? 0 : static_cast<size_t>(got);
}

}  // extern "C"

// alloc: whether this allocation is the one that fails.
static bool AllocationFails()
{
    if (g_fault != FaultKind::Alloc || g_allocationFailed)
        return false;
    const long ordinal = ++g_allocations;
    const bool due = g_faultOutput > 0 ? g_creationCalls >= g_faultOutput : ordinal == g_capacityBytes;
    if (!due || g_allocationFailed.exchange(true))
        return false;
    LogFired(static_cast<int>(ordinal));
    return true;
}

// Every allocation that does not fail goes on to the next definition (the
// C++ library's, or a sanitizer's, which also frees it).
using NewFunction = void* (*)(size_t);
using AlignedNewFunction = void* (*)(size_t, std::align_val_t);

template <typename Function>
Function NextNew(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

void* operator new(size_t bytes)
{
    static const NewFunction s_next = NextNew<NewFunction>("_Znwm");
    if (AllocationFails())
        throw std::bad_alloc();
    return s_next(bytes);
}

void* operator new[](size_t bytes)
{
    static const NewFunction s_next = NextNew<NewFunction>("_Znam");
    if (AllocationFails())
        throw std::bad_alloc();
    return s_next(bytes);
}

void* operator new(size_t bytes, std::align_val_t alignment)
{
    static const AlignedNewFunction s_next = NextNew<AlignedNewFunction>("_ZnwmSt11align_val_t");
    if (AllocationFails())
        throw std::bad_alloc();
    return s_next(bytes, alignment);
}

void* operator new[](size_t bytes, std::align_val_t alignment)
{
    static const AlignedNewFunction s_next = NextNew<AlignedNewFunction>("_ZnamSt11align_val_t");
    if (AllocationFails())
        throw std::bad_alloc();
    return s_next(bytes, alignment);
}

extern "C"
{

int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*), void* argument)
{
    const int result = g_pthreadCreate(thread, attributes, start, argument);
    if (result == 0 && g_fault == FaultKind::Threads)
        LogFired(++g_threadsStarted);
    return result;
}

// more-processors: the n-th query finds 2^(n-1) processors, at most 1024.
int MoreProcessors()
{
    return 1 << std::min(g_processorQueries++, 10);
}

int sched_getaffinity(pid_t pid, size_t size, cpu_set_t* mask)
{
    const int result = g_schedGetaffinity(pid, size, mask);
    if (result == 0 && g_fault == FaultKind::MoreProcessors)
    {
        const int processors = std::min<int>(MoreProcessors(), static_cast<int>(size * 8));
        CPU_ZERO_S(size, mask);
        for (int cpu = 0; cpu < processors; ++cpu)
            CPU_SET_S(static_cast<size_t>(cpu), size, mask);
    }
    return result;
}

int get_nprocs() noexcept
{
    if (g_fault == FaultKind::MoreProcessors)
        return MoreProcessors();
    return static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN));
}

}  // extern "C"
