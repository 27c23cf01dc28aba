#pragma once

#include <QCoro/QCoroTask>
#include <QString>
#include <optional>
#include <set>

#include "core/clock.h"
#include "phone/cloud_database.h"
#include "phone/cloud_wake_error.h"
#include "phone/lan_pairing_payload.h"

// Wakes the paired phone while it is away from the local network: it touches one record in the
// user's private cloud database, in a zone named after the pairing code, and the phone, which
// watches that zone, reconnects. Each signal writes a new time and a new nonce, so every signal
// is a change even within one second. One signal per call; the store coalesces and retries.
//
// Lives on the main thread; calls run one at a time between their awaits. Errors are
// CloudWakeError, or the database's own (CloudError or the platform's) passed on unchanged.
class CloudWakeService final {
public:
    // The container the phone app and this program share.
    static inline const QString kContainerIdentifier =
        QStringLiteral("iCloud.com.brindlecove.Quotamind");
    static inline const QString kZonePrefix = QStringLiteral("wake-v1-");
    static inline const QString kRecordName = QStringLiteral("latest");
    static inline const QString kRecordType = QStringLiteral("WakeSignal");
    static inline const QString kUpdatedAtKey = QStringLiteral("updatedAt");
    static inline const QString kNonceKey = QStringLiteral("nonce");

    // `database` is the wake container's private database, or null when no wake container is
    // configured for this program; then every call throws missingEntitlement before touching
    // anything. Neither is owned; both must outlive the service.
    CloudWakeService(CloudDatabase* database, Clock& clock);
    Q_DISABLE_COPY_MOVE(CloudWakeService)

    // Writes one wake signal for the phone paired with `pairing` (only its service name is
    // used, never its secret).
    QCoro::Task<> sendWake(LanPairingPayload pairing);

    // The steps of sendWake.
    QCoro::Task<> requireAvailableAccount();
    // Makes sure the zone exists, asking the database once per zone and process.
    QCoro::Task<> ensureZone(CloudZoneId zone);
    // The stored record, or none when the database has no such item.
    QCoro::Task<std::optional<CloudRecord>> existingRecord(CloudRecordId id);

    // The wake zone of a pairing code's service name, owned by the signed-in user.
    static CloudZoneId wakeZone(const QString& serviceName);

private:
    CloudDatabase& database() const;

    CloudDatabase* m_database;
    Clock& m_clock;
    // Zones known to exist in this process.
    std::set<QString> m_preparedZoneNames;
};
