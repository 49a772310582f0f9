// The file layer on Windows. An output is created with CreateFileA (write-data
// access, no sharing), written with WriteFile, closed with CloseHandle and
// moved over the final name with MoveFileExA. Narrow names are taken in the
// process's active code page (UTF-8 by the programs' manifest).
#include "platform/Files.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <io.h>
#include <sys/stat.h>

namespace platform
{
namespace
{

// Directory in which the temporary for path is made: the path up to its last
// separator, the drive of a "C:name" path, or "." for a bare name.
std::string DirectoryOf(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    if (slash != std::string::npos)
        return path.substr(0, slash + 1);
    if (path.size() >= 2 && path[1] == ':')
        return path.substr(0, 2);  // "C:name" lies in the current directory of drive C
    return std::string(".");
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

void InstallOutputCleanup()
{
}

COutputFile::~COutputFile()
{
    Discard();
}

Status COutputFile::Create(const std::string& finalName)
{
    Discard();
    m_finalName = finalName;
    std::string unique(MAX_PATH, '\0');
    // GetTempFileNameA reserves a unique name by creating an empty file.
    if (GetTempFileNameA(DirectoryOf(finalName).c_str(), "dgr", 0, unique.data()) == 0)
        return LastError();
    unique.resize(std::char_traits<char>::length(unique.c_str()));
    m_tempName.swap(unique);
    HANDLE file = CreateFileA(m_tempName.c_str(), FILE_WRITE_DATA, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        const Status status = LastError();
        Discard();
        return status;
    }
    m_handle = reinterpret_cast<intptr_t>(file);
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
    if (_fseeki64(stream, offset, SEEK_SET) != 0)
        return errno != 0 ? errno : EIO;
    if (std::fread(bytes, 1, count, stream) == count)
        return kStatusOk;
    return std::ferror(stream) != 0 ? EIO : kStatusShortRead;
}

}  // namespace platform
