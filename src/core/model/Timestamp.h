#pragma once

#include <QDateTime>

#include <compare>

namespace halvora {

// A point in time, kept as seconds since 2001-01-01 00:00:00 UTC. QDateTime only keeps
// milliseconds, so stored times stay doubles and become QDateTime only for display.
class Timestamp {
public:
    // Seconds between 1970-01-01 and 2001-01-01, both UTC.
    static constexpr double referenceDateOffset = 978307200.0;

    constexpr Timestamp() = default;
    constexpr explicit Timestamp(double secondsSinceReferenceDate) : seconds_(secondsSinceReferenceDate) {}

    static Timestamp now();
    static Timestamp fromDateTime(const QDateTime &dateTime);
    static constexpr Timestamp fromSecondsSince1970(double seconds)
    {
        return Timestamp(seconds - referenceDateOffset);
    }

    constexpr double secondsSinceReferenceDate() const { return seconds_; }
    constexpr double secondsSince1970() const { return seconds_ + referenceDateOffset; }
    QDateTime toDateTime() const;

    constexpr auto operator<=>(const Timestamp &) const = default;

private:
    double seconds_ = 0;
};

} // namespace halvora
