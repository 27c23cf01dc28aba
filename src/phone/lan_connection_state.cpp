#include "lan_connection_state.h"

#include <QCoreApplication>

QString LANConnectionState::title() const {
    switch (kind) {
        case Kind::idle:
            return QCoreApplication::translate("LANConnectionState", "Starting local pairing…");
        case Kind::advertising:
        case Kind::searching:
        case Kind::connecting:
            return QCoreApplication::translate("LANConnectionState", "Ready to pair");
        case Kind::connected:
            return QCoreApplication::translate("LANConnectionState", "iPhone connected");
        case Kind::failed:
            break;
    }
    return QCoreApplication::translate("LANConnectionState", "Local pairing unavailable");
}
