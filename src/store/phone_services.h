#pragma once

#include "store/store_services.h"

// Real pairing servers on the local network, made with `options` (the program's advertise
// themselves by DNS-SD).
class LanPairingServers final : public PairingServerFactory {
public:
    explicit LanPairingServers(LanPairingServer::Options options = {}) : m_options(options) {}
    std::unique_ptr<PairingServer> make(const LanPairingPayload& pairing) override;

    // The server made last; valid while its owner keeps it.
    LanPairingServer* latest() const { return m_latest; }

private:
    LanPairingServer::Options m_options;
    LanPairingServer* m_latest = nullptr;
};

// The program's wake sender. Waking a phone that is away from the local network needs the wake
// record in the phone app's own cloud container, which nothing on Linux can write: it answers
// WakeUnavailableError at once, and the phone link stops asking.
class UnavailableWakeSender final : public WakeSender {
public:
    QCoro::Task<> sendWake(LanPairingPayload pairing) override;
};
