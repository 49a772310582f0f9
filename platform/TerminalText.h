// Text for the diagnostics and the help of the programs: names from outside
// the program (file names, arguments) made safe to print on a terminal,
// numbers grouped by thousands, and the two columns of a help text.
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

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

std::string EscapedForTerminal(std::string_view text);

// value in decimal with a comma between groups of three digits: 18937856 as
// "18,937,856".
std::string WithThousandsSeparators(int64_t value);

// The lines of a help text for one entry: label, padded with spaces to
// width (or cut to it), before the first line of text, and width spaces before each line
// after it ("a\nb" holds two lines).
std::string LabelledLines(const std::string& label, const char* text, size_t width);
