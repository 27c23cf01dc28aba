#pragma once

#include <compare>

class QDateTime;

// An absolute instant as seconds since 2001-01-01 00:00:00 UTC, fractional part kept.
// This is the form every stored and transmitted timestamp of Quotamind takes; the outside
// services' Unix seconds and ISO 8601 texts are converted here and nowhere else.
class Timestamp final {
public:
    // Seconds between the Unix epoch and 2001-01-01 00:00:00 UTC.
    static constexpr double kUnixOffsetSeconds = 978307200.0;

    constexpr Timestamp() = default;
    constexpr explicit Timestamp(double secondsSince2001) : m_seconds(secondsSince2001) {}

    static constexpr Timestamp fromUnixSeconds(double unixSeconds) {
        return Timestamp(unixSeconds - kUnixOffsetSeconds);
    }
    static Timestamp fromDateTime(const QDateTime& dateTime);
    // The wall-clock time of this computer.
    static Timestamp now();

    constexpr double secondsSince2001() const { return m_seconds; }
    constexpr double unixSeconds() const { return m_seconds + kUnixOffsetSeconds; }
    // Millisecond precision; instants outside QDateTime's range give an invalid QDateTime.
    QDateTime toDateTime() const;

    constexpr Timestamp operator+(double seconds) const { return Timestamp(m_seconds + seconds); }
    constexpr Timestamp operator-(double seconds) const { return Timestamp(m_seconds - seconds); }
    constexpr double operator-(Timestamp other) const { return m_seconds - other.m_seconds; }

    constexpr bool operator==(const Timestamp&) const = default;
    constexpr std::partial_ordering operator<=>(const Timestamp&) const = default;

private:
    double m_seconds = 0.0;
};
