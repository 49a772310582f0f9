// diagraw-view: one raw file in the browser, every view of it down to the
// single cell, with the probe's numbers under the pointer.
//
//   diagraw-view FILE [--defects DEFECTS.json] [--port N] [--bind ADDRESS] [--no-browser]
//   diagraw-view --help | -h | --version
//
// Loads FILE as diagraw does, and with --defects the sensor's defects that
// `diagraw-probe defects --json` lists (view/Defects.h), listens on
// 127.0.0.1 (or ADDRESS, with a warning), prints the page's address with its
// token on standard output and opens it in the browser; Ctrl-C (or SIGTERM,
// SIGHUP) stops it. Exit status: 0 when stopped so; 1 when the file cannot
// be loaded, the defects file is refused, the port cannot be had or the
// server cannot run, with one line on standard error; 2 for a wrong command
// line, also with one line.
#include "platform/Files.h"
#include "platform/Workers.h"
#include "programs/FrontEnd.h"
#include "raw/RafHeader.h"
#include "view/Defects.h"
#include "view/ViewServer.h"
#include "view/ViewedFile.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <new>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace
{

constexpr const char* kProgram = "diagraw-view";

constexpr const char* kHelp =
    "Usage:\n"
    "  diagraw-view FILE.raf [--defects DEFECTS.json] [--port N] [--bind ADDRESS]\n"
    "               [--no-browser]\n"
    "  diagraw-view --help | --version\n"
    "\n"
    "Shows FILE.raf in the browser: the two field previews, the mosaic preview,\n"
    "the demosaiced image and the upright view, in deep zoom, with the probe's\n"
    "facts of the cell under the pointer and the statistics of a dragged area.\n"
    "Prints the address to open (http://127.0.0.1:PORT/?token=...) and opens it.\n"
    "\n"
    "--defects JSON ring the sensor's defects that diagraw-probe defects --json\n"
    "               lists, from the file JSON\n"
    "--port N       listen on port N (1 to 65535) instead of a free one\n"
    "--bind ADDRESS listen on ADDRESS instead of 127.0.0.1 (a warning says so)\n"
    "--no-browser   only print the address\n"
    "\n"
    "Ctrl-C stops it. Exit status: 0 when stopped, 1 when FILE.raf cannot be\n"
    "loaded, DEFECTS.json is refused or the port cannot be had, 2 wrong usage.\n";

// A failure, or a warning (on which the run goes on): one line,
// "diagraw-view: name: reason", as every program prints it.
int Fail(const std::string& name, const std::string& reason)
{
    return ReportFailure(kProgram, name, reason);
}

int UsageError(const std::string& name, const std::string& reason)
{
    return ReportUsageProblem(kProgram, UsageProblem{name, reason});
}

struct ViewArguments
{
    const char* file = nullptr;
    std::string defects;  // empty: none given
    int32_t port = 0;
    std::string bind = "127.0.0.1";
    bool bindGiven = false;
    bool browser = true;
};

// Parses argv[1..]; returns -1 to go on, or the exit status.
int ParseArguments(int argc, char** argv, ViewArguments& arguments)
{
    const Request request = RequestOf(argc, argv);
    if (request != Request::Run)
        return PrintRequested(kProgram, request, kHelp);
    for (int i = 1; i < argc; ++i)
    {
        const std::string argument = argv[i];
        if (argument == "--no-browser")
            arguments.browser = false;
        else if (argument == "--port" || argument == "--bind" || argument == "--defects")
        {
            if (i + 1 >= argc)
                return UsageError(argument, "expects a value");
            const std::string value = argv[++i];
            if (argument == "--defects")
            {
                if (!arguments.defects.empty())
                    return UsageError(argument, "given twice");
                if (value.empty())
                    return UsageError(argument, "expects a file name");
                arguments.defects = value;
                continue;
            }
            if (argument == "--bind")
            {
                arguments.bind = value;
                arguments.bindGiven = true;
                continue;
            }
            const bool digits = !value.empty() && value.size() <= 5 &&
                                value.find_first_not_of("0123456789") == std::string::npos;
            const long port = digits ? std::stol(value) : 0;
            if (port < 1 || port > 65535)
                return UsageError(value, "not a port number (1 to 65535)");
            arguments.port = static_cast<int32_t>(port);
        }
        else if (argument.rfind("--", 0) == 0 && argument.size() > 2)
            return UsageError(argument, "unknown option");
        else if (arguments.file != nullptr)
            return UsageError(argument, "one file at a time");
        else
            arguments.file = argv[i];
    }
    if (arguments.file == nullptr)
        return UsageError("FILE", "missing");
    return -1;
}

bool IsLoopback(const std::string& address)
{
    return address == "localhost" || address == "::1" || address.rfind("127.", 0) == 0;
}

// Opens address in the user's browser, without waiting for it; a note when
// there is nothing to open it with.
void OpenBrowser(const std::string& address)
{
#if defined(__APPLE__)
    const char* opener = "open";
#else
    const char* opener = "xdg-open";
#endif
    // The shell starts the opener in the background and ends at once, so
    // that no child of ours is left to reap.
    const std::string script = std::string("command -v ") + opener + " >/dev/null 2>&1 || exit 127; " + opener +
                               " \"$1\" >/dev/null 2>&1 </dev/null &";
    const char* const argv[] = {"sh", "-c", script.c_str(), "sh", address.c_str(), nullptr};
    pid_t child = 0;
    int status = 0;
    if (posix_spawnp(&child, "sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0 ||
        waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        Fail(opener, "could not be started; open the address above in a browser");
}

int Run(int argc, char** argv)
{
    ViewArguments arguments;
    const int parsed = ParseArguments(argc, argv, arguments);
    if (parsed >= 0)
        return parsed;
    const char* const path = arguments.file;

    // Ctrl-C, SIGTERM and SIGHUP are taken by a thread of their own, which
    // stops the server; every other thread keeps them blocked.
    sigset_t stopping;
    sigemptyset(&stopping);
    sigaddset(&stopping, SIGINT);
    sigaddset(&stopping, SIGTERM);
    sigaddset(&stopping, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopping, nullptr);

    Status status = kStatusOk;
    std::string failure;
    const std::unique_ptr<CViewedFile> file = CViewedFile::Load(path, WorkerCount(), status, failure);
    if (!file)
        return Fail(path, failure);
    const std::string warning = file->InputWarning();
    if (!warning.empty())
        Fail(path, "warning: " + warning);
    // The defects are checked before anything is served, and kept as the
    // answer the page asks for.
    std::string defectsJson;
    {
        std::vector<Defect> defects;
        if (!arguments.defects.empty() &&
            !ReadDefects(arguments.defects, file->Raw().m_width, file->Raw().m_height, defects, failure))
            return Fail(arguments.defects, failure);
        defectsJson = DefectsJson(arguments.defects, defects);
    }

    const std::string token = NewToken(status);
    if (token.empty())
        return Fail("token", DescribeStatus(status));
    // Tiles kept encoded: a budget that, with the coarser levels and the
    // samples, keeps the whole program well under 400 MB.
    CViewServer server(*file, token, 8, size_t{64} << 20, std::move(defectsJson));
    std::string reason;
    std::string where = arguments.bind;
    if (arguments.port != 0)
        where.append(":").append(std::to_string(arguments.port));
    if (!server.Bind(arguments.bind, arguments.port, reason))
        return Fail(where, reason);
    if (arguments.bindGiven && !IsLoopback(arguments.bind))
        Fail(arguments.bind, "warning: listening beyond this machine; whoever reaches it with the address can read the file's data");
    server.Prepare(ViewName::Image);
    if (PrintText(kProgram, server.Address() + "\n") != kExitSuccess)
        return kExitFailure;
    if (arguments.browser)
        OpenBrowser(server.Address());

    std::atomic<bool> served{false};
    std::thread stopper;
    try
    {
        stopper = std::thread([&] {
            int signal = 0;
            sigwait(&stopping, &signal);
            // Stop until the server has stopped: a signal that comes before
            // it listens finds nothing to stop yet.
            while (!served)
            {
                server.Stop();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    catch (...)
    {
        // No thread to take the signals: they end the program as usual.
        pthread_sigmask(SIG_UNBLOCK, &stopping, nullptr);
    }
    const bool ran = server.Serve();
    served = true;
    if (stopper.joinable())
    {
        if (!ran)
            pthread_kill(stopper.native_handle(), SIGTERM);
        stopper.join();
    }
    return ran ? kExitSuccess : Fail(where, "the server stopped");
}

}  // namespace

int main(int argc, char** argv)
{
    platform::PrepareProcess();
    try
    {
        return Run(argc, argv);
    }
    catch (const std::bad_alloc&)
    {
        return ReportOutOfMemory(kProgram, argc > 1 ? argv[1] : kProgram);
    }
}
