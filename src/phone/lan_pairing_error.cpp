#include "lan_pairing_error.h"

#include <QCoreApplication>

QString LanPairingError::errorString() const {
    switch (m_code) {
        case Code::InvalidCode:
            return QCoreApplication::translate("LanPairingError",
                                               "This QR code is not an Quotamind pairing code.");
        case Code::Unavailable:
            return QCoreApplication::translate("LanPairingError",
                                               "Local pairing could not be started.");
    }
    return {};
}
