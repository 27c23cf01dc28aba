#include "core/timestamp.h"

#include <gtest/gtest.h>

#include <QDateTime>

TEST(TimestampTest, ConvertsToAndFromTheCalendar) {
    const QDateTime newYear2026(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
    EXPECT_EQ(Timestamp(788918400.0).toDateTime(), newYear2026);
    EXPECT_EQ(Timestamp::fromDateTime(newYear2026), Timestamp(788918400.0));
}

TEST(TimestampTest, InstantsBeyondTheCalendarGiveAnInvalidDateInsteadOfOverflowing) {
    EXPECT_FALSE(Timestamp(1e300).toDateTime().isValid());
    EXPECT_FALSE(Timestamp(std::numeric_limits<double>::quiet_NaN()).toDateTime().isValid());
}
