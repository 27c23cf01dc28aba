#include "iso8601.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <cctype>
#include <charconv>
#include <cmath>
#include <string>

namespace {

// Reads exactly `count` digits at `position`.
std::optional<int> digits(std::string_view text, std::size_t position, std::size_t count) {
    if (position + count > text.size()) {
        return std::nullopt;
    }
    int value = 0;
    for (std::size_t i = position; i < position + count; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

bool hasAt(std::string_view text, std::size_t position, char expected) {
    return position < text.size() && text[position] == expected;
}

}  // namespace

std::optional<Timestamp> parseInternetDateTime(std::string_view text) {
    // yyyy-mm-ddThh:mm:ss is 19 characters at fixed positions.
    const auto year = digits(text, 0, 4);
    const auto month = digits(text, 5, 2);
    const auto day = digits(text, 8, 2);
    const auto hour = digits(text, 11, 2);
    const auto minute = digits(text, 14, 2);
    const auto second = digits(text, 17, 2);
    if (!year || !month || !day || !hour || !minute || !second || !hasAt(text, 4, '-') ||
        !hasAt(text, 7, '-') || !hasAt(text, 10, 'T') || !hasAt(text, 13, ':') ||
        !hasAt(text, 16, ':')) {
        return std::nullopt;
    }
    const QDate date(*year, *month, *day);
    const QTime time(*hour, *minute, *second);
    if (!date.isValid() || !time.isValid()) {
        return std::nullopt;
    }
    std::size_t position = 19;
    double fraction = 0.0;
    if (hasAt(text, position, '.')) {
        const std::size_t first = position;
        while (position + 1 < text.size() &&
               std::isdigit(static_cast<unsigned char>(text[position + 1]))) {
            ++position;
        }
        if (position == first) {
            return std::nullopt;
        }
        // "0.123" read as one number is the correctly rounded double of the fraction.
        std::string decimal = "0";
        decimal.append(text.substr(first, position + 1 - first));
        std::from_chars(decimal.data(), decimal.data() + decimal.size(), fraction);
        ++position;
    }
    int offsetSeconds = 0;
    if (hasAt(text, position, 'Z')) {
        ++position;
    } else if (hasAt(text, position, '+') || hasAt(text, position, '-')) {
        const int sign = text[position] == '-' ? -1 : 1;
        const auto offsetHours = digits(text, position + 1, 2);
        const auto offsetMinutes = digits(text, position + 4, 2);
        if (!offsetHours || !offsetMinutes || !hasAt(text, position + 3, ':') ||
            *offsetHours > 23 || *offsetMinutes > 59) {
            return std::nullopt;
        }
        offsetSeconds = sign * (*offsetHours * 3600 + *offsetMinutes * 60);
        position += 6;
    } else {
        return std::nullopt;
    }
    if (position != text.size()) {
        return std::nullopt;
    }
    const QDateTime utc(date, time, Qt::UTC);
    const double unixSeconds =
        static_cast<double>(utc.toSecsSinceEpoch()) - offsetSeconds + fraction;
    return Timestamp::fromUnixSeconds(unixSeconds);
}
