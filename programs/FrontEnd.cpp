#include "programs/FrontEnd.h"

#include "platform/TerminalText.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

bool ParseRealNumber(const char* text, double& value)
{
    if (*text == '\0' || std::isspace(static_cast<unsigned char>(*text)))
        return false;
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(text, &end);
    if (*end != '\0' || errno == ERANGE || !std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}

namespace
{

bool IsOptionLike(const char* argument, const char* optionMark)
{
    return std::strncmp(argument, optionMark, std::strlen(optionMark)) == 0 && std::strcmp(argument, "-") != 0;
}

// Takes the values of option from argv[i + 1] on, leaving i at the last.
UsageProblem TakeValues(int argc, const char* const* argv, int& i, const Option& option, const char* optionMark)
{
    const char* name = argv[i];
    if (option.valueCount == kEveryOperand)
    {
        const size_t before = option.texts->size();
        while (i + 1 < argc && !IsOptionLike(argv[i + 1], optionMark))
            option.texts->push_back(argv[++i]);
        if (option.texts->size() == before)
            return {name, std::string("expects ") + option.valueNames};
        return {};
    }
    if (option.valueCount >= argc - i)
        return {name, std::string("expects ") + option.valueNames};
    for (int v = 0; v < option.valueCount; ++v)
    {
        const char* text = argv[++i];
        int32_t whole = 0;
        if (option.texts != nullptr)
            option.texts->push_back(text);
        else if (option.reals != nullptr)
        {
            if (!ParseRealNumber(text, option.reals[v]))
                return {text, "not a number"};
        }
        else if (!ParseWholeNumber(text, whole))
            return {text, "not a whole number"};
        else
            option.values[v] = whole;
    }
    return {};
}

}  // namespace

UsageProblem ScanArguments(int argc, const char* const* argv, int first, const std::vector<Option>& options,
                           const char* optionMark, std::vector<const char*>& operands)
{
    for (int i = first; i < argc; ++i)
    {
        const char* argument = argv[i];
        const auto option = std::find_if(options.begin(), options.end(),
                                            [&](const Option& known) { return std::strcmp(known.name, argument) == 0; });
        if (option == options.end())
        {
            if (IsOptionLike(argument, optionMark))
                return {argument, "unknown option"};
            operands.push_back(argument);
            continue;
        }
        const UsageProblem problem = TakeValues(argc, argv, i, *option, optionMark);
        if (problem.Found())
            return problem;
        *option->given = true;
    }
    return {};
}
