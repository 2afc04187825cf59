#include "cli/TakeoverNotification.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace halvora::cli {

std::optional<QString> notifyTakeovers(const QList<Takeover> &takeovers)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return QStringLiteral("세션 버스에 연결할 수 없습니다.");
    QStringList extensions;
    for (const Takeover &takeover : takeovers)
        extensions.append(u'.' + takeover.association.fileExtension());
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    call << QStringLiteral("Halvora") << 0u << QStringLiteral("org.halvora.Halvora")
         << QStringLiteral("다른 프로그램이 기본 앱을 바꿨습니다")
         << QStringLiteral("%1: Halvora에서 고른 기본 앱이 바뀌었습니다. 'halvora-cli check'로 확인하고 "
                           "'halvora-cli check --restore'로 되돌릴 수 있습니다.")
                .arg(extensions.join(QStringLiteral(", ")))
         << QStringList() << QVariantMap() << -1;
    const QDBusMessage reply = bus.call(call);
    if (reply.type() == QDBusMessage::ErrorMessage)
        return QStringLiteral("알림을 보낼 수 없습니다: ") + reply.errorMessage();
    return std::nullopt;
}

} // namespace halvora::cli
