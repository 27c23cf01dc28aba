#include "core/timestamp.h"

#include <gtest/gtest.h>

#include <QDateTime>

TEST(TimestampTest, ConvertsBetweenReferenceDateAndUnixAndCalendar) {
    const Timestamp newYear2026(788918400.0);
    EXPECT_EQ(newYear2026.unixSeconds(), 1767225600.0);
    EXPECT_EQ(Timestamp::fromUnixSeconds(1767225600.0), newYear2026);
    EXPECT_EQ(newYear2026.toDateTime(), QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC));
}

TEST(TimestampTest, InstantsBeyondTheCalendarGiveAnInvalidDateInsteadOfOverflowing) {
    EXPECT_FALSE(Timestamp(1e300).toDateTime().isValid());
    EXPECT_FALSE(Timestamp(-1e300).toDateTime().isValid());
    EXPECT_FALSE(Timestamp(std::numeric_limits<double>::quiet_NaN()).toDateTime().isValid());
}
