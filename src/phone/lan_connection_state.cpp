#include "lan_connection_state.h"

#include <QCoreApplication>

QString LanConnectionState::title() const {
    switch (kind) {
        case Kind::idle:
            return QCoreApplication::translate("LanConnectionState", "Starting local pairing…");
        case Kind::advertising:
        case Kind::searching:
        case Kind::connecting:
            return QCoreApplication::translate("LanConnectionState", "Ready to pair");
        case Kind::connected:
            return QCoreApplication::translate("LanConnectionState", "iPhone connected");
        case Kind::failed:
            break;
    }
    return QCoreApplication::translate("LanConnectionState", "Local pairing unavailable");
}
