#include "sources/codex/line_buffer.h"

#include <gtest/gtest.h>

namespace {

constexpr qsizetype kMax = LineBuffer::kMaximumMessageSize;

TEST(LineBufferTest, CutsLinesUpToTheLimit) {
    // Each case: the pieces appended and the lines returned after each.
    const QByteArray full(kMax, 'x');
    const std::vector<std::pair<std::vector<QByteArray>, std::vector<std::vector<QByteArray>>>>
        cases = {
            // Empty lines dropped, a partial line waits, a carriage return stays.
            {{"\n\na\nb", "c\r\nd", "\n"}, {{"a"}, {"bc\r"}, {"d"}}},
            {{full, "\n"}, {{}, {full}}},
            // One byte over the limit without a line feed overflows and empties the buffer.
            {{full, "y", "z\n"}, {{}, {QByteArray(kMax + 1, '\0')}, {"z"}}},
            {{"a\n" + full, "\n"}, {{"a"}, {full}}},
        };
    for (const auto& [pieces, expected] : cases) {
        LineBuffer buffer;
        for (std::size_t index = 0; index < pieces.size(); ++index) {
            EXPECT_EQ(buffer.appendAndDrainLines(pieces[index]), expected[index]) << index;
        }
    }
}

}  // namespace
