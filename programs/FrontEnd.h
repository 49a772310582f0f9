// What the four programs share on the command line: their exit statuses,
// the rule for --help and --version, the scan of options and operands, and
// the one line on standard error that every failure prints.
//
// Standard output carries only what a program prints on purpose: the
// banner, a usage or help text, the version, a report. Every failure is one
// line on standard error, "<program>: <name>: <reason>", naming the file or
// the argument concerned, escaped for the terminal (platform/TerminalText.h).
#pragma once

#include "platform/Status.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The exit statuses, as the manual pages list them for each program.
inline constexpr int kExitSuccess = 0;     // done, or the help or the version printed
inline constexpr int kExitFailure = 1;     // a file could not be read or written, memory ran out, ...
inline constexpr int kExitWrongUsage = 2;  // the command line is wrong (diagraw prints its usage and exits with 1)

// What a command line asks for: a lone "--help" or "-h" the help, a lone
// "--version" the version; anything else a run, where these are arguments
// like any other. (diagraw also runs on a lone argument that names a file.)
enum class Request : uint8_t { Run, Help, Version };
Request RequestOf(int argc, const char* const* argv);

// Prints the help or the version (request is not Run) of program: help, or
// "<program> 0.3". The exit status, as PrintText gives it.
int PrintRequested(const char* program, Request request, std::string_view help);

// Writes text whole on standard output: kExitSuccess, or kExitFailure once
// "<program>: standard output: <reason>" is printed.
int PrintText(const char* program, std::string_view text);

// Prints "<program>: <name>: <reason>" on standard error, name and reason
// escaped for the terminal, and returns kExitFailure, the exit status of
// every such failure. The second form gives DescribeStatus(status) as the
// reason; "out of memory" is the reason when memory ran out.
int ReportFailure(const char* program, std::string_view name, std::string_view reason);
int ReportFailure(const char* program, std::string_view name, Status status);
int ReportOutOfMemory(const char* program, std::string_view name);

// A wrong command line: the argument concerned (or what is missing) and why.
struct UsageProblem
{
    std::string name;
    std::string reason;  // empty when the command line is sound

    bool Found() const { return !reason.empty(); }
};

// Prints "<program>: <name>: <reason> (see <program> --help)" as
// ReportFailure does and returns kExitWrongUsage.
int ReportUsageProblem(const char* program, const UsageProblem& problem);

// A whole number in decimal, with an optional minus sign; values beyond
// what int32_t holds saturate (they lie outside every image anyway).
bool ParseWholeNumber(const char* text, int32_t& value);

// An option that a program knows: a flag, or one followed by valueCount
// values (valueNames, "X Y W H", says what they are). The values are whole
// numbers into values, or real numbers into reals, or texts appended to
// texts, each time the option appears; with texts, valueCount
// kEveryOperand takes every argument up to the next option (at least one).
inline constexpr int kEveryOperand = -1;

struct Option
{
    const char* name;  // "--json"
    bool* given;       // set when the option appears
    int64_t* values = nullptr;
    int valueCount = 0;
    const char* valueNames = "";
    double* reals = nullptr;
    std::vector<const char*>* texts = nullptr;
};

// A finite real number in decimal ("0.5", "-3", "1e3"), the whole text.
bool ParseRealNumber(const char* text, double& value);

// Reads argv[first] to argv[argc - 1] in order. An argument that names an
// option sets its flag, and the option takes the valueCount arguments after
// it as its values, whatever they look like (kEveryOperand: those up to the
// next argument that starts with optionMark); any other argument that starts
// with optionMark ("--", or "-" for diagraw-synth) is an unknown option,
// but for "-" alone; every other argument is an operand, added to operands.
// The problem of the first wrong argument, or none.
UsageProblem ScanArguments(int argc, const char* const* argv, int first, const std::vector<Option>& options,
                           const char* optionMark, std::vector<const char*>& operands);
