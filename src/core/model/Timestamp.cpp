#include "core/model/Timestamp.h"

#include <QTimeZone>

#include <cmath>

namespace halvora {

Timestamp Timestamp::now()
{
    return fromDateTime(QDateTime::currentDateTimeUtc());
}

Timestamp Timestamp::fromDateTime(const QDateTime &dateTime)
{
    return fromSecondsSince1970(static_cast<double>(dateTime.toMSecsSinceEpoch()) / 1000.0);
}

QDateTime Timestamp::toDateTime() const
{
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(secondsSince1970() * 1000.0)),
                                          Qt::UTC);
}

} // namespace halvora
