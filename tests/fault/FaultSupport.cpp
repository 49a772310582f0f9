#include "FaultSupport.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace faultsupport
{
namespace
{

uint32_t Read32(const std::vector<uint8_t>& bytes, size_t at)
{
    return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
           uint32_t{bytes[at + 3]} << 24;
}

std::vector<uint8_t> ReadPrefix(const fs::path& path, size_t count)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes(count);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

}  // namespace

fs::path OutputPath(const fs::path& input, const OutputImage& image)
{
    return input.string() + image.suffix;
}

std::vector<std::string> DiagrawCommand(const RunSetup& setup, const fs::path& input)
{
    std::vector<std::string> command = {kLaunchExe};
    const auto add = [&](const char* option, const std::string& value) {
        command.push_back(option);
        command.push_back(value);
    };
    if (!setup.fault.empty())
    {
        add("--preload", kShimLibrary);
        add("--env", "DIAGRAW_FAULT=" + setup.fault);
        add("--env", "DIAGRAW_FAULT_OUTPUT=" + std::to_string(setup.faultOutput));
        add("--env", "DIAGRAW_FAULT_BYTES=" + std::to_string(setup.faultBytes));
        add("--env", "DIAGRAW_FAULT_DELAY=" + std::to_string(setup.faultDelayMilliseconds));
        if (!setup.faultLog.empty())
            add("--env", "DIAGRAW_FAULT_LOG=" + setup.faultLog.string());
    }
    if (setup.addressSpaceBytes != 0)
        add("--address-space", std::to_string(setup.addressSpaceBytes));
    if (setup.fileSizeBytes != 0)
        add("--file-size", std::to_string(setup.fileSizeBytes));
    if (setup.stdoutUnread)
        add("--stdout-unread", "yes");
    if (!setup.user.empty())
        add("--user", setup.user);
    if (setup.ignoredSignal != 0)
        add("--ignore", std::to_string(setup.ignoredSignal));
    command.push_back("--");
    command.push_back(testsupport::kDiagrawExe);
    command.push_back(input.string());
    return command;
}

testsupport::ProcessResult RunDiagraw(const RunSetup& setup, const fs::path& input, std::chrono::milliseconds timeout)
{
    return testsupport::RunProcess(DiagrawCommand(setup, input), timeout, std::string(), input.parent_path());
}

pid_t StartDiagraw(const RunSetup& setup, const fs::path& input, const fs::path& errorFile)
{
    const std::vector<std::string> command = DiagrawCommand(setup, input);
    std::vector<char*> argv;
    for (const std::string& word : command)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0)
    {
        const int devNull = open("/dev/null", O_RDWR);
        const int errors = open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(devNull, 0);
        dup2(devNull, 1);
        dup2(errors >= 0 ? errors : devNull, 2);
        if (chdir(input.parent_path().c_str()) != 0)
            _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return child;
}

int WaitForChild(pid_t child, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    for (;;)
    {
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child)
            return status;
        if (done < 0 && errno != EINTR)
            return -1;
        if (std::chrono::steady_clock::now() > deadline)
        {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::vector<std::string> TemporariesIn(const fs::path& directory)
{
    std::vector<std::string> names;
    for (const std::string& name : EntriesOf(directory))
        if (name[0] == '.' && name.find(".diagraw-") != std::string::npos)
            names.push_back(name);
    return names;
}

std::vector<std::string> EntriesOf(const fs::path& directory)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(directory, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

testing::AssertionResult IsWholeBmp(const fs::path& path, int32_t width, int32_t height)
{
    std::error_code error;
    if (!fs::is_regular_file(path, error))
        return testing::AssertionFailure() << path.filename() << " is missing or not a file";
    const uint64_t pixelBytes = uint64_t{static_cast<uint32_t>(width)} * static_cast<uint32_t>(height) * 4;
    const uintmax_t size = fs::file_size(path, error);
    if (size != pixelBytes + 54)
        return testing::AssertionFailure() << path.filename() << " holds " << size << " bytes, a whole image "
                                           << pixelBytes + 54;
    const std::vector<uint8_t> header = ReadPrefix(path, 54);
    if (header.size() != 54 || header[0] != 'B' || header[1] != 'M' || Read32(header, 2) != size ||
        Read32(header, 10) != 54 || Read32(header, 14) != 40 || Read32(header, 18) != static_cast<uint32_t>(width) ||
        Read32(header, 22) != static_cast<uint32_t>(height) || header[28] != 32 || Read32(header, 34) != pixelBytes)
        return testing::AssertionFailure() << path.filename() << " has a wrong header";
    return testing::AssertionSuccess();
}

testing::AssertionResult SameContents(const fs::path& first, const fs::path& second)
{
    std::ifstream a(first, std::ios::binary);
    std::ifstream b(second, std::ios::binary);
    if (!a || !b)
        return testing::AssertionFailure() << "cannot read " << first.filename() << " or " << second.filename();
    std::vector<char> bufferA(1 << 20);
    std::vector<char> bufferB(1 << 20);
    for (uint64_t offset = 0;; offset += bufferA.size())
    {
        a.read(bufferA.data(), static_cast<std::streamsize>(bufferA.size()));
        b.read(bufferB.data(), static_cast<std::streamsize>(bufferB.size()));
        if (a.gcount() != b.gcount() || !std::equal(bufferA.begin(), bufferA.begin() + a.gcount(), bufferB.begin()))
            return testing::AssertionFailure()
                   << first.filename() << " and " << second.filename() << " differ within 1 MiB from byte " << offset;
        if (a.gcount() == 0)
            return testing::AssertionSuccess();
    }
}

int FaultsFired(const fs::path& log)
{
    std::ifstream in(log);
    int lines = 0;
    for (std::string line; std::getline(in, line);)
        ++lines;
    return lines;
}

std::vector<uint8_t> RandomBytes(size_t count, uint64_t seed)
{
    std::mt19937_64 generator(seed);
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; i += 8)
    {
        const uint64_t word = generator();
        for (size_t k = 0; k < 8 && i + k < count; ++k)
            bytes[i + k] = static_cast<uint8_t>(word >> (8 * k));
    }
    return bytes;
}

}  // namespace faultsupport
