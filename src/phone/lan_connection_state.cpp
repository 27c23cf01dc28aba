#include "lan_connection_state.h"

#include <QCoreApplication>

QString LanConnectionState::title() const {
    switch (kind) {
        case Kind::Idle:
            return QCoreApplication::translate("LanConnectionState", "Starting local pairing…");
        case Kind::Advertising:
        case Kind::Searching:
        case Kind::Connecting:
            return QCoreApplication::translate("LanConnectionState", "Ready to pair");
        case Kind::Connected:
            return QCoreApplication::translate("LanConnectionState", "iPhone connected");
        case Kind::Failed:
            break;
    }
    return QCoreApplication::translate("LanConnectionState", "Local pairing unavailable");
}
