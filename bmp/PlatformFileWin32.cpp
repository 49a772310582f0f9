// Windows implementation of the file seam. The output file is created with
// CreateFileA (write-data access, no sharing, CREATE_ALWAYS), written with
// WriteFile, closed with CloseHandle and moved over the final name with
// MoveFileExA. Narrow names are taken in the process's active code page.
#include "bmp/PlatformFile.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

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

}  // namespace

OutputHandle CreateTempBeside(const std::string& finalName, std::string& tempName)
{
    const std::string directory = DirectoryOf(finalName);
    char unique[MAX_PATH];
    // GetTempFileNameA reserves a unique name by creating an empty file.
    if (GetTempFileNameA(directory.c_str(), "dgr", 0, unique) == 0)
        return kInvalidOutput;
    HANDLE file = CreateFileA(unique, FILE_WRITE_DATA, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        DeleteFileA(unique);
        return kInvalidOutput;
    }
    tempName = unique;
    return reinterpret_cast<OutputHandle>(file);
}

bool WriteAll(OutputHandle file, const void* bytes, size_t count)
{
    const auto* next = static_cast<const unsigned char*>(bytes);
    while (count > 0)
    {
        const DWORD chunk = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(file), next, chunk, &written, nullptr))
            return false;
        if (written == 0)
            return false;
        next += written;
        count -= written;
    }
    return true;
}

bool CloseOutput(OutputHandle file)
{
    return CloseHandle(reinterpret_cast<HANDLE>(file)) != 0;
}

bool ReplaceWithTemp(const std::string& tempName, const std::string& finalName)
{
    return MoveFileExA(tempName.c_str(), finalName.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void RemoveFile(const std::string& name)
{
    DeleteFileA(name.c_str());
}

std::FILE* OpenRegularFileForReading(const char* path, int64_t& size)
{
    std::FILE* stream = std::fopen(path, "rb");
    if (stream == nullptr)
        return nullptr;
    struct _stat64 info;
    if (_fstat64(_fileno(stream), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG)
    {
        std::fclose(stream);
        return nullptr;
    }
    size = static_cast<int64_t>(info.st_size);
    return stream;
}

bool SeekTo(std::FILE* file, int64_t offset)
{
    return _fseeki64(file, offset, SEEK_SET) == 0;
}

}  // namespace platform
