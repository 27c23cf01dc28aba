#include "lan_pairing_error.h"

#include <QCoreApplication>

QString LANPairingError::errorString() const {
    switch (m_code) {
        case Code::invalidCode:
            return QCoreApplication::translate("LANPairingError",
                                               "This QR code is not an Quotamind pairing code.");
        case Code::unavailable:
            return QCoreApplication::translate("LANPairingError",
                                               "Local pairing could not be started.");
    }
    return {};
}
