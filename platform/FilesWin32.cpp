// The file layer on Windows. An output is created with CreateFileA (write-data
// access, no sharing), written with WriteFile, closed with CloseHandle and
// moved over the final name with MoveFileExA. Narrow names are taken in the
// process's active code page (UTF-8 by the programs' manifest).
#include "platform/Files.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <io.h>
#include <sys/stat.h>

namespace platform
{
namespace
{

// The directory part of a path as a prefix for a name in it: the path up to
// its last separator, the drive of a "C:name" path, or nothing for a bare
// name; and the rest, the name within that directory.
void SplitPath(const std::string& path, std::string& prefix, std::string& name)
{
    const size_t slash = path.find_last_of("/\\");
    size_t cut = 0;
    if (slash != std::string::npos)
        cut = slash + 1;
    else if (path.size() >= 2 && path[1] == ':')
        cut = 2;  // "C:name" lies in the current directory of drive C
    prefix = path.substr(0, cut);
    name = path.substr(cut);
}

// The C library's error number for a Windows error code, so that both
// systems describe a failure in the same words.
Status StatusOfWindowsError(DWORD error)
{
    switch (error)
    {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILE_TOO_LARGE:
        return EFBIG;
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_INVALID_NAME:
        return ENAMETOOLONG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    default:
        return EIO;
    }
}

Status LastError()
{
    return StatusOfWindowsError(GetLastError());
}

bool IsDirectory(const std::string& name)
{
    const DWORD attributes = GetFileAttributesA(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

void PrepareProcess()
{
}

void InstallOutputCleanup()
{
}

void StartThreadsWithoutCleanupSignals(const std::function<void()>& startThreads)
{
    startThreads();
}

COutputFile::~COutputFile()
{
    Discard();
}

Status COutputFile::Create(const std::string& finalName)
{
    Discard();
    // The temporary lies beside the final name and says what it is:
    // ".<final name>.diagraw-XXXXXX", the final name shortened where the
    // whole would not fit a directory entry.
    static constexpr char kTag[] = ".diagraw-XXXXXX";
    static constexpr size_t kNameMax = 255;
    std::string prefix;
    std::string entry;
    SplitPath(finalName, prefix, entry);
    std::string temp = prefix + ".";
    temp.append(entry, 0, std::min(entry.size(), kNameMax - 1 - (sizeof kTag - 1)));
    temp.append(kTag);
    m_finalName = finalName;
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    uint64_t state = GetTickCount64() ^ uint64_t{GetCurrentProcessId()} << 32 ^ reinterpret_cast<uintptr_t>(this);
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt)
    {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        uint64_t bits = state >> 16;
        for (size_t i = temp.size() - 6; i < temp.size(); ++i, bits /= 62)
            temp[i] = kAlphabet[bits % 62];
        file = CreateFileA(temp.c_str(), FILE_WRITE_DATA, 0, nullptr, CREATE_NEW, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (file == INVALID_HANDLE_VALUE)
        return LastError();
    m_handle = reinterpret_cast<intptr_t>(file);
    m_tempName.swap(temp);
    return kStatusOk;
}

Status WriteAll(intptr_t handle, const void* bytes, size_t count)
{
    const auto* next = static_cast<const unsigned char*>(bytes);
    while (count > 0)
    {
        const DWORD chunk = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(handle), next, chunk, &written, nullptr))
            return LastError();
        if (written == 0)
            return EIO;
        next += written;
        count -= written;
    }
    return kStatusOk;
}

Status COutputFile::Write(const void* bytes, size_t count)
{
    return WriteAll(m_handle, bytes, count);
}

Status COutputFile::WriteAt(int64_t offset, const void* bytes, size_t count)
{
    // WriteFile writes at the file pointer: move it there and back.
    HANDLE file = reinterpret_cast<HANDLE>(m_handle);
    LARGE_INTEGER end = {};
    LARGE_INTEGER at = {};
    at.QuadPart = offset;
    if (SetFilePointerEx(file, LARGE_INTEGER{}, &end, FILE_CURRENT) == 0 ||
        SetFilePointerEx(file, at, nullptr, FILE_BEGIN) == 0)
        return LastError();
    const Status status = WriteAll(m_handle, bytes, count);
    if (SetFilePointerEx(file, end, nullptr, FILE_BEGIN) == 0 && status == kStatusOk)
        return LastError();
    return status;
}

Status COutputFile::Commit()
{
    HANDLE file = reinterpret_cast<HANDLE>(m_handle);
    m_handle = -1;
    Status status = kStatusOk;
    if (CloseHandle(file) == 0)
        status = LastError();
    else if (IsDirectory(m_finalName))
        status = EISDIR;
    else if (MoveFileExA(m_tempName.c_str(), m_finalName.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0)
        status = LastError();
    if (status != kStatusOk)
    {
        Discard();
        return status;
    }
    m_tempName.clear();
    return kStatusOk;
}

void COutputFile::Discard()
{
    if (m_handle != -1)
        CloseHandle(reinterpret_cast<HANDLE>(m_handle));
    m_handle = -1;
    if (!m_tempName.empty())
    {
        DeleteFileA(m_tempName.c_str());
        m_tempName.clear();
    }
}

Status OpenInput(const char* path, std::FILE*& stream, int64_t& size)
{
    // The C library refuses to open a directory with "Permission denied";
    // say what it is, as on POSIX systems.
    if (IsDirectory(path))
        return EISDIR;
    std::FILE* opened = std::fopen(path, "rb");
    if (opened == nullptr)
        return errno != 0 ? errno : EIO;
    struct _stat64 info;
    if (_fstat64(_fileno(opened), &info) != 0)
    {
        std::fclose(opened);
        return EIO;
    }
    if ((info.st_mode & _S_IFMT) != _S_IFREG)
    {
        std::fclose(opened);
        return (info.st_mode & _S_IFMT) == _S_IFDIR ? EISDIR : kStatusNotRegularFile;
    }
    stream = opened;
    size = static_cast<int64_t>(info.st_size);
    return kStatusOk;
}

Status ReadAt(std::FILE* stream, int64_t offset, void* bytes, size_t count)
{
    // ReadFile with an offset in an OVERLAPPED structure reads there, on a
    // handle opened for synchronous use too.
    HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (file == INVALID_HANDLE_VALUE)
        return EIO;
    auto* next = static_cast<unsigned char*>(bytes);
    while (count > 0)
    {
        const DWORD chunk = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset));
        at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
        DWORD got = 0;
        if (!ReadFile(file, next, chunk, &got, &at))
            return GetLastError() == ERROR_HANDLE_EOF ? kStatusShortRead : LastError();
        if (got == 0)
            return kStatusShortRead;
        next += got;
        offset += got;
        count -= got;
    }
    return kStatusOk;
}

}  // namespace platform
