// Text for the diagnostics of the programs: names from outside the program
// (file names, arguments) made safe to print on a terminal, and numbers
// grouped by thousands.
//
// Every byte below 0x20 and the byte 0x7F is shown escaped, as in a C string
// literal: \n, \t, \r for those three, \xHH (two lower-case hex digits) for
// the others, so that no name can break a message into two lines or send an
// escape sequence to the terminal. A backslash is doubled (\\), so that an
// escaped byte and the same characters in a name never look alike; but not
// on Windows, where it separates folders and no file name holds one (nor a
// byte below 0x20). Every other byte, those of UTF-8 letters included,
// passes unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

std::string EscapedForTerminal(std::string_view text);

// value in decimal with a comma between groups of three digits: 18937856 as
// "18,937,856".
std::string WithThousandsSeparators(int64_t value);
