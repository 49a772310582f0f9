// diagraw-fault-launch: prepares the process the fault tests need and then
// becomes the program under test, so that the test's own process keeps its
// limits, identity and signal actions.
//
//   diagraw-fault-launch [--preload LIBRARY] [--env NAME=VALUE]...
//       [--address-space BYTES] [--file-size BYTES] [--user NAME] [--ignore SIGNAL]
//       [--stdout-unread yes] -- PROGRAM [ARGUMENT]...
//
// --preload puts LIBRARY into LD_PRELOAD (and lets a sanitizer runtime accept
// a library loaded before it); --address-space sets RLIMIT_AS; --user drops
// root privileges to that user; --ignore starts the program with the signal
// number ignored; --file-size sets RLIMIT_FSIZE, with SIGXFSZ at its default
// action (as a shell's "ulimit -f" leaves it); --stdout-unread makes standard
// output a pipe whose reading end is already closed, with SIGPIPE at its
// default action (as in "program | true"). Exit status 125 when the preparation fails, 127 when the
// program cannot be started; otherwise the program's own.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace
{

constexpr int kPreparationFailed = 125;
constexpr int kCannotStart = 127;

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "diagraw-fault-launch: %s: %s\n", what, std::strerror(errno));
    std::exit(kPreparationFailed);
}

void AppendToVariable(const char* name, const std::string& value, const char* separator)
{
    const char* old = std::getenv(name);
    const std::string joined = old != nullptr && *old != '\0' ? std::string(old) + separator + value : value;
    if (setenv(name, joined.c_str(), 1) != 0)
        Fail(name);
}

void DropPrivilegesTo(const char* user)
{
    const passwd* account = getpwnam(user);
    if (account == nullptr)
        Fail("no such user");
    if (setgroups(0, nullptr) != 0 || setgid(account->pw_gid) != 0 || setuid(account->pw_uid) != 0)
        Fail("cannot change user");
}

}  // namespace

int main(int argc, char** argv)
{
    int next = 1;
    for (; next < argc && std::strcmp(argv[next], "--") != 0; ++next)
    {
        const std::string option = argv[next];
        if (next + 1 >= argc)
        {
            errno = EINVAL;
            Fail(option.c_str());
        }
        const char* value = argv[++next];
        if (option == "--preload")
        {
            AppendToVariable("LD_PRELOAD", value, ":");
            // The library is loaded ahead of an address sanitizer's runtime;
            // its calls still reach the sanitizer's interceptors.
            AppendToVariable("ASAN_OPTIONS", "verify_asan_link_order=0", ":");
        }
        else if (option == "--env")
        {
            if (putenv(const_cast<char*>(value)) != 0)
                Fail(value);
        }
        else if (option == "--address-space")
        {
            const auto bytes = static_cast<rlim_t>(std::strtoull(value, nullptr, 10));
            const rlimit limit = {bytes, bytes};
            if (setrlimit(RLIMIT_AS, &limit) != 0)
                Fail("setrlimit");
        }
        else if (option == "--file-size")
        {
            const auto bytes = static_cast<rlim_t>(std::strtoull(value, nullptr, 10));
            const rlimit limit = {bytes, bytes};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0 || std::signal(SIGXFSZ, SIG_DFL) == SIG_ERR)
                Fail("setrlimit");
        }
        else if (option == "--stdout-unread")
        {
            int ends[2];
            if (pipe(ends) != 0 || close(ends[0]) != 0 || dup2(ends[1], STDOUT_FILENO) < 0 ||
                std::signal(SIGPIPE, SIG_DFL) == SIG_ERR)
                Fail("pipe");
            close(ends[1]);
        }
        else if (option == "--user")
        {
            DropPrivilegesTo(value);
        }
        else if (option == "--ignore")
        {
            if (std::signal(std::atoi(value), SIG_IGN) == SIG_ERR)
                Fail("signal");
        }
        else
        {
            errno = EINVAL;
            Fail(option.c_str());
        }
    }
    if (next + 1 >= argc)
    {
        errno = EINVAL;
        Fail("no program");
    }
    execv(argv[next + 1], argv + next + 1);
    std::fprintf(stderr, "diagraw-fault-launch: %s: %s\n", argv[next + 1], std::strerror(errno));
    return kCannotStart;
}
