#include "lan_pairing_server.h"

#include "core/system_clock.h"

// The work on the server's thread; filled in with the listener and the connections.
class LANPairingServerEngine final : public QObject {
public:
    LANPairingServerEngine() = default;
};

LANPairingServer::LANPairingServer(LANPairingPayload pairing, Options options)
    : m_pairing(std::move(pairing)), m_thread(std::make_unique<QThread>()) {
    Q_UNUSED(options);
    m_thread->setObjectName(QStringLiteral("com.brindlecove.Quotamind.lan-server"));
    m_engine = new LANPairingServerEngine();
    m_engine->moveToThread(m_thread.get());
    connect(m_thread.get(), &QThread::finished, m_engine, &QObject::deleteLater);
    m_thread->start();
}

LANPairingServer::~LANPairingServer() {
    m_thread->quit();
    m_thread->wait();
}

void LANPairingServer::setCallbacks(Callbacks callbacks) {
    Q_UNUSED(callbacks);
}

void LANPairingServer::start() {}

void LANPairingServer::stop() {}

void LANPairingServer::publish(const AgentUsageSnapshot& snapshot) {
    Q_UNUSED(snapshot);
}
