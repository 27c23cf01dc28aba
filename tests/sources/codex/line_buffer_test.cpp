#include "sources/codex/line_buffer.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <vector>

namespace {

constexpr qsizetype kMax = LineBuffer::kMaximumMessageSize;

struct LineBufferCase {
    const char* name;
    std::vector<QByteArray> pieces;
    // The lines returned after each piece.
    std::vector<std::vector<QByteArray>> expected;
};

const QByteArray kOverflow(kMax + 1, '\0');

class LineBufferCases : public ::testing::TestWithParam<LineBufferCase> {};

TEST_P(LineBufferCases, CutsLines) {
    LineBuffer buffer;
    const LineBufferCase& test = GetParam();
    ASSERT_EQ(test.pieces.size(), test.expected.size());
    for (std::size_t index = 0; index < test.pieces.size(); ++index) {
        EXPECT_EQ(buffer.appendAndDrainLines(test.pieces[index]), test.expected[index])
            << "after piece " << index;
    }
}

INSTANTIATE_TEST_SUITE_P(
    LineBuffer, LineBufferCases,
    ::testing::Values(LineBufferCase{"lines", {"a\nbc\n"}, {{"a", "bc"}}},
                      LineBufferCase{"emptyLinesDropped", {"\n\na\n\n"}, {{"a"}}},
                      LineBufferCase{
                          "partialLineWaits", {"ab", "c\nd", "\n"}, {{}, {"abc"}, {"d"}}},
                      LineBufferCase{"carriageReturnStays", {"{}\r\n"}, {{"{}\r"}}},
                      LineBufferCase{"exactlyTheLimitWithoutLineFeedWaits",
                                     {QByteArray(kMax, 'x'), "\n"},
                                     {{}, {QByteArray(kMax, 'x')}}},
                      LineBufferCase{"oneByteOverTheLimitOverflowsAndEmpties",
                                     {QByteArray(kMax, 'x'), "y", "z\n"},
                                     {{}, {kOverflow}, {"z"}}},
                      LineBufferCase{"overTheLimitWithALineFeedIsCut",
                                     {"a\n" + QByteArray(kMax, 'x'), "\n"},
                                     {{"a"}, {QByteArray(kMax, 'x')}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
