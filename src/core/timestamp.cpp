#include "timestamp.h"

#include <QDateTime>
#include <cmath>

Timestamp Timestamp::fromDateTime(const QDateTime& dateTime) {
    return fromUnixSeconds(static_cast<double>(dateTime.toMSecsSinceEpoch()) / 1000.0);
}

Timestamp Timestamp::now() {
    return fromDateTime(QDateTime::currentDateTimeUtc());
}

QDateTime Timestamp::toDateTime() const {
    const double milliseconds = std::round(unixSeconds() * 1000.0);
    // QDateTime holds qint64 milliseconds; anything beyond that has no calendar date.
    if (!std::isfinite(milliseconds) || std::fabs(milliseconds) >= 0x1p62) {
        return {};
    }
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(milliseconds), Qt::UTC);
}
