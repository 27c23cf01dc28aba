#include "phone_link.h"

#include "core/time_limit.h"
#include "phone/legacy_apns_key_cleanup.h"
#include "store/failure_text.h"
#include "store/phone_delivery.h"

namespace {

bool isWakeUnavailable(const std::exception_ptr& failure) {
    if (!failure) {
        return false;
    }
    try {
        std::rethrow_exception(failure);
    } catch (const WakeUnavailableError&) {
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

PhoneLink::PhoneLink(Services services, QObject* parent)
    : QObject(parent),
      m_services(std::move(services)),
      m_deliveryTimeSaver(m_services.clock, m_services.standardPreferences,
                          LanPairingStorage::kLastPhoneDataSentAtKey) {
    QCoro::Task<> cleaning =
        LegacyApnsKeyCleanup::run(m_services.secrets, m_services.standardPreferences);
    LanPairingStorage storage = pairingStorage();
    if (auto stored = storage.load<LanPairingPayload>(LanPairingStorage::kServerIdentityKey)) {
        m_pairingPayload = std::move(*stored);
    } else {
        m_pairingPayload = LanPairingPayload::makeServerIdentity();
        storage.save(m_pairingPayload, LanPairingStorage::kServerIdentityKey);
    }
    m_pairedPhone = storage.load<PairedPhoneInfo>(LanPairingStorage::kPairedPhoneKey);
    m_lastPhoneDataSentAt =
        m_services.standardPreferences.date(LanPairingStorage::kLastPhoneDataSentAtKey);
}

PhoneLink::~PhoneLink() {
    // Joins the server's thread, so no callback can race with the link going away.
    m_pairingServer.reset();
}

void PhoneLink::start(const std::optional<AgentUsageSnapshot>& stored) {
    configurePairingServer();
    pairingServer().start();
    if (stored) {
        // A phone that connects at once gets the stored data.
        m_snapshot = stored;
        pairingServer().publish(*stored);
    }
}

void PhoneLink::publish(const AgentUsageSnapshot& snapshot, bool changed) {
    pairingServer().publish(snapshot);
    if (changed) {
        m_snapshot = snapshot;
        maybeSendWakePush(snapshot);
    }
}

LanPairingStorage PhoneLink::pairingStorage() const {
    return LanPairingStorage(m_services.standardPreferences);
}

PairingServer& PhoneLink::pairingServer() {
    if (!m_pairingServer) {
        m_pairingServer = m_services.pairingServers.make(m_pairingPayload);
    }
    return *m_pairingServer;
}

void PhoneLink::configurePairingServer() {
    const QPointer<PhoneLink> link(this);
    const std::uint64_t generation = ++m_pairingServerGeneration;
    // Called on the server's thread: each event becomes a job on the link's thread, dropped
    // when it comes from a server that has been replaced since.
    const auto onLink = [link, generation](std::function<void(PhoneLink&)> job) {
        queueOn<PhoneLink>(link, [generation, job = std::move(job)](PhoneLink& current) {
            if (current.m_pairingServerGeneration == generation) {
                job(current);
            }
        });
    };
    PairingServer::Callbacks callbacks;
    callbacks.onStateChange = [onLink](const LanConnectionState& state) {
        onLink([state](PhoneLink& current) {
            current.publishField(current.m_lanConnectionState, state,
                                 &PhoneLink::lanConnectionStateChanged);
        });
    };
    callbacks.onPhonePaired = [onLink](const PairedPhoneInfo& info) {
        onLink([info](PhoneLink& current) { current.registerPairedPhone(info); });
    };
    callbacks.onSnapshotSent = [onLink](Timestamp at) {
        onLink([at](PhoneLink& current) { current.recordPhoneDataSent(at); });
    };
    // The server has already answered with its latest snapshot; a changed result reaches the
    // phone through the normal publish.
    callbacks.onRefreshRequested = [onLink] {
        onLink([](PhoneLink& current) { Q_EMIT current.refreshRequested(); });
    };
    pairingServer().setCallbacks(std::move(callbacks));
}

void PhoneLink::registerPairedPhone(const PairedPhoneInfo& info) {
    // The same phone pairing again keeps the time it first paired.
    if (m_pairedPhone && m_pairedPhone->model == info.model) {
        return;
    }
    publishField(m_pairedPhone, std::optional(info), &PhoneLink::pairedPhoneChanged);
    pairingStorage().save(info, LanPairingStorage::kPairedPhoneKey);
}

void PhoneLink::recordPhoneDataSent(Timestamp at) {
    publishField(m_lastPhoneDataSentAt, std::optional(at), &PhoneLink::lastPhoneDataSentAtChanged);
    m_deliveryTimeSaver.save(at);
}

bool PhoneLink::isPhoneConnected() const {
    return m_lanConnectionState.kind == LanConnectionState::Kind::Connected;
}

void PhoneLink::maybeSendWakePush(const AgentUsageSnapshot& snapshot) {
    if (isPhoneConnected() || m_wakeUnavailable) {
        // The phone already has the data, or cannot be woken from here.
        m_pendingWakeSignature.reset();
        m_wakeCoalescingJob.cancel();
        return;
    }
    QString signature = PhoneDelivery::snapshotSignature(snapshot);
    if (signature == m_lastPushedSnapshotSignature || signature == m_pendingWakeSignature) {
        return;
    }
    m_pendingWakeSignature = std::move(signature);
    scheduleWakeFlush(PhoneDelivery::kCoalescingSeconds);
}

void PhoneLink::scheduleWakeFlush(double seconds) {
    m_wakeCoalescingJob.start(&PhoneLink::wakeFlushTimer, seconds);
}

QCoro::Task<> PhoneLink::wakeFlushTimer(QPointer<PhoneLink> link, CancellationToken token,
                                        double seconds) {
    if (!link) {
        co_return;
    }
    QCoro::Task<> waiting = runAfter(link->m_services.clock, seconds, std::move(token), [link] {
        if (link) {
            link->flushPendingWake();
        }
    });
    co_await waiting;
}

void PhoneLink::flushPendingWake() {
    if (isPhoneConnected()) {
        m_pendingWakeSignature.reset();
        return;
    }
    // A send in flight keeps the signature and flushes again when it ends.
    if (m_isSendingWake || !m_pendingWakeSignature) {
        return;
    }
    sendWakePush(false, std::exchange(m_pendingWakeSignature, std::nullopt));
}

void PhoneLink::sendWakePush(bool force, std::optional<QString> signature) {
    if (!m_pairedPhone) {
        if (force) {
            publishField(m_lastPushError, std::optional(tr("Pair an iPhone first.")),
                         &PhoneLink::lastPushErrorChanged);
        }
        return;
    }
    if (m_wakeUnavailable) {
        return;
    }
    if (m_isSendingWake) {
        if (signature) {
            m_pendingWakeSignature = std::move(signature);
        }
        return;
    }
    m_isSendingWake = true;
    m_wakeSendJob.start(&PhoneLink::wakeSend, m_pairingPayload, std::move(signature));
}

QCoro::Task<> PhoneLink::wakeSend(QPointer<PhoneLink> link, CancellationToken,
                                  LanPairingPayload pairing, std::optional<QString> signature) {
    if (!link) {
        co_return;
    }
    WakeSender& sender = link->m_services.wake;
    std::exception_ptr failure;
    try {
        QCoro::Task<> sending = sender.sendWake(std::move(pairing));
        co_await sending;
    } catch (...) {
        failure = std::current_exception();
    }
    if (link) {
        link->finishWakeSend(signature, failure);
    }
}

void PhoneLink::finishWakeSend(const std::optional<QString>& signature,
                               const std::exception_ptr& failure) {
    m_isSendingWake = false;
    if (isWakeUnavailable(failure)) {
        // Said once: no error to show, nothing to retry, no wake ever again.
        m_wakeUnavailable = true;
        m_pendingWakeSignature.reset();
        m_wakeCoalescingJob.cancel();
        return;
    }
    if (!failure) {
        publishField(m_lastPushSentAt, std::optional(m_services.clock.now()),
                     &PhoneLink::lastPushSentAtChanged);
        publishField(m_lastPushError, std::optional<QString>(), &PhoneLink::lastPushErrorChanged);
        m_consecutiveWakeFailures = 0;
        if (signature) {
            m_lastPushedSnapshotSignature = signature;
        }
        if (m_pendingWakeSignature) {
            scheduleWakeFlush(PhoneDelivery::kCoalescingSeconds);
        }
        return;
    }
    publishField(m_lastPushError, std::optional(failureText(failure)),
                 &PhoneLink::lastPushErrorChanged);
    if (signature && signature != m_lastPushedSnapshotSignature && !isPhoneConnected()) {
        // The failed signature is retried, in place of any newer one: the wake carries no data.
        m_pendingWakeSignature = signature;
        scheduleWakeFlush(PhoneDelivery::wakeRetryDelay(m_consecutiveWakeFailures++));
    } else if (m_pendingWakeSignature) {
        // A change that arrived during a send that is not retried (the test button's) would
        // otherwise wait for the next change.
        scheduleWakeFlush(PhoneDelivery::kCoalescingSeconds);
    }
}

void PhoneLink::disconnectPhone() {
    if (m_pairingServer) {
        m_pairingServer->stop();
    }
    LanPairingPayload identity = LanPairingPayload::makeServerIdentity();
    LanPairingStorage storage = pairingStorage();
    storage.save(identity, LanPairingStorage::kServerIdentityKey);
    storage.remove(LanPairingStorage::kPairedPhoneKey);
    publishField(m_pairingPayload, std::move(identity), &PhoneLink::pairingPayloadChanged);
    publishField(m_pairedPhone, std::optional<PairedPhoneInfo>(), &PhoneLink::pairedPhoneChanged);
    publishField(m_lanConnectionState, LanConnectionState(), &PhoneLink::lanConnectionStateChanged);
    publishField(m_lastPhoneDataSentAt, std::optional<Timestamp>(),
                 &PhoneLink::lastPhoneDataSentAtChanged);
    m_deliveryTimeSaver.remove();

    m_lastPushedSnapshotSignature.reset();
    m_pendingWakeSignature.reset();
    m_wakeCoalescingJob.cancel();
    publishField(m_lastPushSentAt, std::optional<Timestamp>(), &PhoneLink::lastPushSentAtChanged);
    publishField(m_lastPushError, std::optional<QString>(), &PhoneLink::lastPushErrorChanged);

    // The old phone's secret no longer matches: it must scan the new code.
    m_pairingServer = m_services.pairingServers.make(m_pairingPayload);
    configurePairingServer();
    m_pairingServer->start();
    if (m_snapshot) {
        m_pairingServer->publish(*m_snapshot);
    }
}
