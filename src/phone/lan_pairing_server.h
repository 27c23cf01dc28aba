#pragma once

#include <QObject>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>

#include "core/clock.h"
#include "model/agent_usage_snapshot.h"
#include "phone/lan_connection_state.h"
#include "phone/lan_pairing_payload.h"

class LanPairingServerEngine;

// Lets phones on the local network receive this computer's usage snapshots: listens on a port the
// system chooses (all IPv4 and IPv6 interfaces), advertises `_quotamind._tcp` under the pairing
// code's service name by DNS-SD, admits a connection once its first message is `pair` with the
// secret, and sends every published snapshot (marked syncedFromDesktop) to every admitted phone.
//
// All work runs on one thread of the server's own, named "com.brindlecove.Quotamind.lan-server"
// (the server's serial queue). start(), stop() and publish() may be called from any thread and
// return at once; the work happens on that thread, in call order. The callbacks are called on that
// thread too: an owner that lives elsewhere moves the work to its own thread.
//
// The object itself belongs to the thread that created it; destroying it stops the server and
// joins its thread.
class LanPairingServer final : public QObject {
    Q_OBJECT

public:
    struct Callbacks {
        std::function<void(LanConnectionState)> onStateChange;
        std::function<void(PairedPhoneInfo)> onPhonePaired;
        // When a usage message was handed to a phone's connection.
        std::function<void(Timestamp)> onSnapshotSent;
        std::function<void()> onRefreshRequested;
    };

    // Limits that keep a misbehaving peer from costing more than a phone would.
    struct Bounds {
        // Connections open at once that have not yet paired, from one source address and in all.
        // When either is reached, the oldest unpaired connection under that bound is closed to
        // make room, so that a phone that arrives always gets its chance to pair.
        int maxUnpairedConnectionsPerAddress = 8;
        int maxUnpairedConnections = 32;
        // A connection that has not paired by then is closed.
        double pairingDeadlineSeconds = 5.0;
        // Bytes queued for one connection that its peer has not taken yet; a send that would go
        // beyond is not made and the connection is closed. At least one largest frame.
        qint64 maxQueuedBytesPerConnection = 4 * 1024 * 1024;
        // A paired phone's refresh is answered at most once in this many seconds; more requests
        // within them are answered once, when they end.
        double refreshSpacingSeconds = 1.0;
    };

    struct Options {
        // Wall time for pairedAt and onSnapshotSent; the pairing deadline, the refresh spacing and
        // the delays before listening again. Must outlive the server; its sleeps are awaited on
        // the server's thread. Null: the system's clocks.
        Clock* clock = nullptr;
        // Whether to register the service with DNS-SD (the Avahi daemon).
        bool advertise = true;
        Bounds bounds;
        // The port to listen on; 0 lets the system choose.
        quint16 port = 0;
    };

    explicit LanPairingServer(LanPairingPayload pairing, Options options);
    ~LanPairingServer() override;
    Q_DISABLE_COPY_MOVE(LanPairingServer)

    // Set before start(); the callbacks are read on the server's thread.
    void setCallbacks(Callbacks callbacks);

    // Starts listening unless it already listens. While it cannot listen it reports `failed` and
    // tries again after 1, 2, 4 … at most 60 seconds on its clock, until stop().
    void start();
    // Stops listening and advertising and drops every connection; reports `idle`.
    void stop();
    // Keeps the snapshot (marked syncedFromDesktop) as the latest and sends it to every admitted
    // phone.
    void publish(const AgentUsageSnapshot& snapshot);

    const LanPairingPayload& pairing() const { return m_pairing; }
    // The port it listens on, or 0 while it does not listen.
    quint16 port() const { return m_port.load(); }
    // The thread all the server's work runs on.
    QThread* queueThread() const { return m_thread.get(); }

Q_SIGNALS:
    // Emitted (on this object's thread) each time listening starts, with the port.
    void listening(quint16 port);

private:
    LanPairingPayload m_pairing;
    std::unique_ptr<QThread> m_thread;
    LanPairingServerEngine* m_engine = nullptr;
    std::atomic<quint16> m_port{0};
};
