// The two columns of a help text: the label padded to its width on the first
// line only, every line of the text after it.
#include "platform/TerminalText.h"

#include <gtest/gtest.h>

namespace
{

TEST(TerminalText, LabelledLinesIndentEveryLineOfTheText)
{
    EXPECT_EQ(LabelledLines("  kind", "one line", 8), "  kind  one line\n");
    EXPECT_EQ(LabelledLines("cell", "first\nsecond\nthird", 7), "cell   first\n       second\n       third\n");
}

}  // namespace
