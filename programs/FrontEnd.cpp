#include "programs/FrontEnd.h"

#include "platform/TerminalText.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

Request RequestOf(int argc, const char* const* argv)
{
    if (argc != 2)
        return Request::Run;
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)
        return Request::Help;
    return std::strcmp(argv[1], "--version") == 0 ? Request::Version : Request::Run;
}

int PrintRequested(const char* program, Request request, std::string_view help)
{
    if (request == Request::Help)
        return PrintText(program, help);
    return PrintText(program, std::string(program) + " " DIAGRAW_VERSION "\n");
}

int PrintText(const char* program, std::string_view text)
{
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    if (std::fflush(stdout) == 0 && written)
        return kExitSuccess;
    return ReportFailure(program, "standard output", errno != 0 ? DescribeStatus(errno) : "write failed");
}

int ReportFailure(const char* program, std::string_view name, std::string_view reason)
{
    std::fprintf(stderr, "%s: %s: %s\n", program, EscapedForTerminal(name).c_str(), EscapedForTerminal(reason).c_str());
    return kExitFailure;
}

int ReportFailure(const char* program, std::string_view name, Status status)
{
    return ReportFailure(program, name, DescribeStatus(status));
}

int ReportOutOfMemory(const char* program, std::string_view name)
{
    return ReportFailure(program, name, "out of memory");
}

int ReportUsageProblem(const char* program, const UsageProblem& problem)
{
    ReportFailure(program, problem.name, problem.reason + " (see " + program + " --help)");
    return kExitWrongUsage;
}

bool ParseWholeNumber(const char* text, int32_t& value)
{
    const bool negative = *text == '-';
    const char* digits = negative ? text + 1 : text;
    if (*digits == '\0')
        return false;
    int64_t magnitude = 0;
    for (const char* p = digits; *p != '\0'; ++p)
    {
        if (*p < '0' || *p > '9')
            return false;
        magnitude = std::min<int64_t>(magnitude * 10 + (*p - '0'), INT32_MAX);
    }
    value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

UsageProblem ScanArguments(int argc, const char* const* argv, int first, std::initializer_list<Option> options,
                           const char* optionMark, std::vector<const char*>& operands)
{
    for (int i = first; i < argc; ++i)
    {
        const char* argument = argv[i];
        const Option* option = std::find_if(options.begin(), options.end(),
                                            [&](const Option& known) { return std::strcmp(known.name, argument) == 0; });
        if (option == options.end())
        {
            if (std::strncmp(argument, optionMark, std::strlen(optionMark)) == 0 && std::strcmp(argument, "-") != 0)
                return {argument, "unknown option"};
            operands.push_back(argument);
            continue;
        }
        if (option->valueCount >= argc - i)
            return {argument, std::string("expects ") + option->valueNames};
        for (int v = 0; v < option->valueCount; ++v)
        {
            int32_t value = 0;
            if (!ParseWholeNumber(argv[++i], value))
                return {argv[i], "not a whole number"};
            option->values[v] = value;
        }
        *option->given = true;
    }
    return {};
}
