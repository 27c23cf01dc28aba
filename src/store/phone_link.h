#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "core/clock.h"
#include "core/job.h"
#include "core/preferences.h"
#include "model/agent_usage_snapshot.h"
#include "phone/lan_connection_state.h"
#include "phone/lan_pairing_payload.h"
#include "phone/lan_pairing_storage.h"
#include "platform/secrets/secret_store.h"
#include "store/delivery_time_saver.h"
#include "store/store_services.h"

// The link to the paired phone: the pairing code and its server, the paired phone, the delivery
// of every changed snapshot and the wake that tells an absent phone to come and fetch it.
//
// Lives on the main thread. The pairing server is made through the factory the first time it is
// needed, and a new one with a new code when the phone is forgotten; it is owned, and destroyed
// before anything else, which joins its thread. Its callbacks become queued jobs that hold the
// link weakly and carry the generation of their server, so a replaced server's last words are
// dropped. The wake timer and send are Jobs; destroying the link cancels them.
//
// A changed snapshot goes to the server; while the phone is not connected it also leads to one
// coalesced wake, one second after the last change, retried with back-off (PhoneDelivery) until it
// succeeds or the phone connects. Once the sender answers WakeUnavailableError, no wake is sent
// again and no error is kept.
class PhoneLink final : public QObject, public PhoneFollower {
    Q_OBJECT
    Q_PROPERTY(LanConnectionState lanConnectionState READ lanConnectionState NOTIFY
                   lanConnectionStateChanged)
    Q_PROPERTY(LanPairingPayload pairingPayload READ pairingPayload NOTIFY pairingPayloadChanged)
    Q_PROPERTY(
        std::optional<PairedPhoneInfo> pairedPhone READ pairedPhone NOTIFY pairedPhoneChanged)
    Q_PROPERTY(std::optional<Timestamp> lastPhoneDataSentAt READ lastPhoneDataSentAt NOTIFY
                   lastPhoneDataSentAtChanged)
    Q_PROPERTY(
        std::optional<Timestamp> lastPushSentAt READ lastPushSentAt NOTIFY lastPushSentAtChanged)
    Q_PROPERTY(QString lastPushError READ lastPushErrorText NOTIFY lastPushErrorChanged)

public:
    // Not owned; all of it outlives the link.
    struct Services {
        Clock& clock;
        PairingServerFactory& pairingServers;
        WakeSender& wake;
        // The legacy wake key is removed from here.
        SecretStore& secrets;
        // The program's own domain: the pairing code, the paired phone, the last delivery.
        Preferences standardPreferences;
    };

    // Loads the pairing (making a code the first time) and removes the legacy wake key.
    explicit PhoneLink(Services services, QObject* parent = nullptr);
    ~PhoneLink() override;
    Q_DISABLE_COPY_MOVE(PhoneLink)

    const LanConnectionState& lanConnectionState() const { return m_lanConnectionState; }
    const LanPairingPayload& pairingPayload() const { return m_pairingPayload; }
    const std::optional<PairedPhoneInfo>& pairedPhone() const { return m_pairedPhone; }
    const std::optional<Timestamp>& lastPhoneDataSentAt() const { return m_lastPhoneDataSentAt; }
    const std::optional<Timestamp>& lastPushSentAt() const { return m_lastPushSentAt; }
    const std::optional<QString>& lastPushError() const { return m_lastPushError; }
    QString lastPushErrorText() const { return m_lastPushError.value_or(QString()); }

    void start(const std::optional<AgentUsageSnapshot>& stored) override;
    void publish(const AgentUsageSnapshot& snapshot, bool changed) override;

    void maybeSendWakePush(const AgentUsageSnapshot& snapshot);
    // Sends one wake for the paired phone. `force` is the user's test button: without a phone it
    // says so, and its failure is not retried. `signature` is the snapshot's, for an automatic
    // wake. Only one wake is in flight at a time.
    void sendWakePush(bool force, std::optional<QString> signature);
    // Forgets the phone: a new pairing code, a new server started with the latest snapshot.
    void disconnectPhone();

Q_SIGNALS:
    void lanConnectionStateChanged();
    void pairingPayloadChanged();
    void pairedPhoneChanged();
    void lastPhoneDataSentAtChanged();
    void lastPushSentAtChanged();
    void lastPushErrorChanged();
    // The phone asked for fresh data; the store decides whether to read the agents.
    void refreshRequested();

private:
    template <typename T>
    void publishField(T& field, T value, void (PhoneLink::*changed)()) {
        if (field != value) {
            field = std::move(value);
            Q_EMIT(this->*changed)();
        }
    }

    LanPairingStorage pairingStorage() const;
    PairingServer& pairingServer();
    void configurePairingServer();
    void registerPairedPhone(const PairedPhoneInfo& info);
    void recordPhoneDataSent(Timestamp at);
    bool isPhoneConnected() const;
    void scheduleWakeFlush(double seconds);
    void flushPendingWake();
    void finishWakeSend(const std::optional<QString>& signature, const std::exception_ptr& failure);

    static QCoro::Task<> wakeFlushTimer(QPointer<PhoneLink> link, CancellationToken token,
                                        double seconds);
    static QCoro::Task<> wakeSend(QPointer<PhoneLink> link, CancellationToken token,
                                  LanPairingPayload pairing, std::optional<QString> signature);

    Services m_services;
    LanConnectionState m_lanConnectionState;
    LanPairingPayload m_pairingPayload;
    std::optional<PairedPhoneInfo> m_pairedPhone;
    std::optional<Timestamp> m_lastPhoneDataSentAt;
    std::optional<Timestamp> m_lastPushSentAt;
    std::optional<QString> m_lastPushError;
    // The latest changed snapshot, for the server of a new pairing code.
    std::optional<AgentUsageSnapshot> m_snapshot;

    // Made on first use; replaced when the phone is forgotten. Callbacks of a server that was
    // replaced meanwhile carry an older generation and are dropped.
    std::unique_ptr<PairingServer> m_pairingServer;
    std::uint64_t m_pairingServerGeneration = 0;
    // lastPhoneDataSentAt in the preferences, written off the main thread at most once a minute.
    DeliveryTimeSaver m_deliveryTimeSaver;
    // The signature whose wake last succeeded, and the one waiting to be sent.
    std::optional<QString> m_lastPushedSnapshotSignature;
    std::optional<QString> m_pendingWakeSignature;
    std::int64_t m_consecutiveWakeFailures = 0;
    bool m_isSendingWake = false;
    // The wake sender said waking cannot work here; no wake is sent again.
    bool m_wakeUnavailable = false;

    Job<PhoneLink> m_wakeCoalescingJob{this};
    Job<PhoneLink> m_wakeSendJob{this};
};
