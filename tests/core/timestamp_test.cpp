#include "core/timestamp.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <limits>

TEST(TimestampTest, InstantsBeyondTheCalendarGiveAnInvalidDateInsteadOfOverflowing) {
    EXPECT_FALSE(Timestamp(1e300).toDateTime().isValid());
    EXPECT_FALSE(Timestamp(std::numeric_limits<double>::quiet_NaN()).toDateTime().isValid());
}
