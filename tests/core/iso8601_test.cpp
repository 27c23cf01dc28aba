#include "core/iso8601.h"

#include <gtest/gtest.h>

TEST(Iso8601Test, ParsesInternetDateTimesWithAndWithoutFractions) {
    const Timestamp tenOClock = Timestamp::fromUnixSeconds(1735725600.0);  // 2025-01-01T10:00:00Z
    const struct {
        const char* text;
        std::optional<Timestamp> expected;
    } cases[] = {
        {"2025-01-01T10:00:00Z", tenOClock},
        {"2025-01-01T10:00:00.123Z", tenOClock + 0.123},
        {"2025-01-01T10:00:00.5+02:00", tenOClock - 7200.0 + 0.5},
        {"2025-01-01T10:00:00", std::nullopt},
        {"2025-01-01 10:00:00Z", std::nullopt},
        {"2025-01-01T10:00:00.Z", std::nullopt},
        {"2025-01-01T10:00:00+0200", std::nullopt},
        {"2025-02-30T10:00:00Z", std::nullopt},
        {"2025-01-01T24:00:00Z", std::nullopt},
        {"2025-01-01T10:00:00Zjunk", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto parsed = parseInternetDateTime(c.text);
        ASSERT_EQ(parsed.has_value(), c.expected.has_value()) << c.text;
        if (parsed) {
            EXPECT_DOUBLE_EQ(parsed->secondsSince2001(), c.expected->secondsSince2001()) << c.text;
        }
    }
}
