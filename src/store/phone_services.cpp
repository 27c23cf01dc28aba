#include "phone_services.h"

#include <QCoreApplication>

#include "phone/lan_pairing_server.h"

namespace {

class LanServerAdapter final : public PairingServer {
public:
    LanServerAdapter(const LanPairingPayload& pairing, LanPairingServer::Options options)
        : m_server(pairing, options) {}

    void setCallbacks(Callbacks callbacks) override { m_server.setCallbacks(std::move(callbacks)); }
    void start() override { m_server.start(); }
    void stop() override { m_server.stop(); }
    void publish(const AgentUsageSnapshot& snapshot) override { m_server.publish(snapshot); }

    LanPairingServer m_server;
};

}  // namespace

std::unique_ptr<PairingServer> LanPairingServers::make(const LanPairingPayload& pairing) {
    auto server = std::make_unique<LanServerAdapter>(pairing, m_options);
    m_latest = &server->m_server;
    return server;
}

QString WakeUnavailableError::errorString() const {
    return QCoreApplication::translate(
        "UsageStore", "The phone is updated while it is on the same network as this computer.");
}

QCoro::Task<> UnavailableWakeSender::sendWake(LanPairingPayload) {
    throw WakeUnavailableError();
    co_return;
}
