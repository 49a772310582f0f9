// The Windows side of the test helpers: temporary directories made under a
// random name, and child processes started with CreateProcessW, their output
// read through two pipes by two threads while the caller waits on the process.
//
// Arguments are taken as UTF-8 and handed to the child as UTF-16, so a child
// whose active code page is UTF-8 sees the same bytes in its argv. The child
// writes its console lines in text mode, ending them with CR LF; the CRs are
// dropped from what is collected, so tests compare the same text as on POSIX.
#include "TestSupport.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <thread>

namespace testsupport
{
namespace
{

std::wstring WideFromUtf8(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0)
        throw std::runtime_error("argument is not UTF-8: " + text);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        wide.data(), length);
    return wide;
}

// Appends one argument quoted the way the C runtime's command-line parser
// splits it again: backslashes are literal except before a quote, where each
// one must be doubled.
void AppendQuoted(std::wstring& commandLine, const std::wstring& argument)
{
    if (!commandLine.empty())
        commandLine += L' ';
    commandLine += L'"';
    size_t backslashes = 0;
    for (const wchar_t c : argument)
    {
        if (c == L'\\')
        {
            ++backslashes;
            continue;
        }
        commandLine.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        commandLine += c;
    }
    commandLine.append(2 * backslashes, L'\\');
    commandLine += L'"';
}

// Reads the pipe until every writer has closed it.
void Drain(HANDLE pipe, std::string* sink)
{
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0)
        sink->append(buffer, got);
}

std::string WithoutCarriageReturns(const std::string& text)
{
    std::string lines;
    lines.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            lines += text[i];
    return lines;
}

// Closes a handle when it goes out of scope.
struct CHandleCloser
{
    HANDLE m_handle = nullptr;
    ~CHandleCloser()
    {
        if (m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }
};

}  // namespace

TempDir::TempDir()
{
    std::random_device entropy;
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        const std::string name = "diagraw-test-" + std::to_string(entropy()) + std::to_string(entropy());
        const std::filesystem::path candidate = std::filesystem::temp_directory_path() / name;
        // create_directory reports false when the name is taken, so two
        // processes never share a directory.
        if (std::filesystem::create_directory(candidate))
        {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary directory");
}

ProcessResult RunProcess(const std::vector<std::string>& argv, std::chrono::milliseconds timeout,
                         const std::string& argv0, const std::filesystem::path& workingDirectory)
{
    std::wstring commandLine;
    AppendQuoted(commandLine, WideFromUtf8(argv0.empty() ? argv[0] : argv0));
    for (size_t i = 1; i < argv.size(); ++i)
        AppendQuoted(commandLine, WideFromUtf8(argv[i]));
    const std::wstring application = WideFromUtf8(argv[0]);

    SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    CHandleCloser outRead, outWrite, errRead, errWrite, nul;
    if (!CreatePipe(&outRead.m_handle, &outWrite.m_handle, &inheritable, 0) ||
        !CreatePipe(&errRead.m_handle, &errWrite.m_handle, &inheritable, 0))
        throw std::runtime_error("CreatePipe failed");
    // Only the child's ends are inherited; the reading ends stay here, or the
    // pipes would never report their end.
    SetHandleInformation(outRead.m_handle, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead.m_handle, HANDLE_FLAG_INHERIT, 0);
    nul.m_handle = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                               OPEN_EXISTING, 0, nullptr);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul.m_handle;
    startup.hStdOutput = outWrite.m_handle;
    startup.hStdError = errWrite.m_handle;
    PROCESS_INFORMATION process = {};
    const std::wstring directory = workingDirectory.wstring();
    // Wine on a loaded machine now and then fails a start that succeeds a
    // moment later; a program that cannot start at all fails all three.
    bool started = false;
    for (int attempt = 0; attempt < 3 && !started; ++attempt)
    {
        if (attempt > 0)
            Sleep(500);
        started = CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                 nullptr, directory.empty() ? nullptr : directory.c_str(), &startup, &process) != 0;
    }
    if (!started)
    {
        ProcessResult notStarted;
        notStarted.exitStatus = 127;  // what the POSIX side reports when execv fails
        return notStarted;
    }
    CHandleCloser processHandle{process.hProcess};
    CHandleCloser threadHandle{process.hThread};
    // The child holds its own copies of the writing ends now.
    CloseHandle(outWrite.m_handle);
    outWrite.m_handle = nullptr;
    CloseHandle(errWrite.m_handle);
    errWrite.m_handle = nullptr;

    ProcessResult result;
    std::string out, err;
    std::thread outReader(Drain, outRead.m_handle, &out);
    std::thread errReader(Drain, errRead.m_handle, &err);
    const DWORD waitMs = static_cast<DWORD>(std::min<int64_t>(timeout.count(), INFINITE - 1));
    if (WaitForSingleObject(process.hProcess, waitMs) == WAIT_TIMEOUT)
    {
        result.timedOut = true;
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    outReader.join();
    errReader.join();
    result.out = WithoutCarriageReturns(out);
    result.err = WithoutCarriageReturns(err);

    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    // An exit code of 0xC0000000 or above is an exception status (access
    // violation, stack overflow...): the process did not end by itself,
    // which POSIX reports as a signal.
    if (!result.timedOut && code < 0xC0000000u)
        result.exitStatus = static_cast<int>(code);
    return result;
}

}  // namespace testsupport
