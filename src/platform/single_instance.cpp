#include "single_instance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::Outcome SingleInstance::claim(int activateTimeLimitMilliseconds) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr) {
        return Outcome::NoBus;
    }
    // Exported before the name is claimed, so an activation never finds the name without the
    // object.
    bus.registerObject(kObjectPath, this, QDBusConnection::ExportAllSlots);
    const auto reply =
        bus.interface()->registerService(kServiceName, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        return Outcome::Primary;
    }
    bus.unregisterObject(kObjectPath);
    if (!reply.isValid()) {
        return Outcome::NoBus;
    }
    const QDBusMessage call = QDBusMessage::createMethodCall(
        kServiceName, kObjectPath, QStringLiteral("com.brindlecove.Quotamind.Application"),
        QStringLiteral("Activate"));
    const QDBusMessage answer = bus.call(call, QDBus::Block, activateTimeLimitMilliseconds);
    return answer.type() == QDBusMessage::ReplyMessage ? Outcome::ActivatedRunning
                                                       : Outcome::ActivationFailed;
}

void SingleInstance::Activate() {
    Q_EMIT activationRequested();
}
