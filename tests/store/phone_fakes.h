#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "memory_secret_store.h"
#include "store/phone_link.h"
#include "store/store_services.h"
#include "support/manual_clock.h"

namespace test {

// What one pairing server was asked; kept after the store drops the server, so a test can still
// call the callbacks of a server that was replaced.
struct ServerLog {
    LanPairingPayload pairing;
    PairingServer::Callbacks callbacks;
    int starts = 0;
    int stops = 0;
    std::vector<AgentUsageSnapshot> published;
};

class FakePairingServers final : public PairingServerFactory {
public:
    std::unique_ptr<PairingServer> make(const LanPairingPayload& pairing) override {
        made.push_back(std::make_shared<ServerLog>());
        made.back()->pairing = pairing;
        return std::make_unique<Server>(made.back());
    }
    ServerLog& current() { return *made.back(); }

    std::vector<std::shared_ptr<ServerLog>> made;

private:
    class Server final : public PairingServer {
    public:
        explicit Server(std::shared_ptr<ServerLog> log) : m_log(std::move(log)) {}
        void setCallbacks(Callbacks callbacks) override { m_log->callbacks = std::move(callbacks); }
        void start() override { ++m_log->starts; }
        void stop() override { ++m_log->stops; }
        void publish(const AgentUsageSnapshot& snapshot) override {
            m_log->published.push_back(snapshot);
        }

    private:
        std::shared_ptr<ServerLog> m_log;
    };
};

// Records when each wake was sent; a wake takes `seconds` on the manual clock, then fails with
// `failure` when one is set, or ends as `delegate` does.
class FakeWakeSender final : public WakeSender {
public:
    explicit FakeWakeSender(ManualClock& clock) : m_clock(clock) {}
    QCoro::Task<> sendWake(LanPairingPayload pairing) override {
        sentAt.push_back(m_clock.now());
        pairings.push_back(pairing);
        if (seconds > 0) {
            QCoro::Task<> sending = m_clock.sleep(seconds, {});
            co_await sending;
        }
        if (failure) {
            throw PlatformError(*failure);
        }
        if (delegate) {
            co_await delegate->sendWake(std::move(pairing));
        }
    }

    std::vector<Timestamp> sentAt;
    std::vector<LanPairingPayload> pairings;
    double seconds = 0;
    std::optional<QString> failure;
    // Answers in the end as this sender does (the program's, for one).
    WakeSender* delegate = nullptr;

private:
    ManualClock& m_clock;
};

// A phone link on fake pairing servers and a fake wake sender.
struct FakePhone {
    FakePhone(ManualClock& clock, Preferences standard)
        : wake(clock), link({clock, servers, wake, secrets, std::move(standard)}) {}

    FakePairingServers servers;
    FakeWakeSender wake;
    MemorySecretStore secrets;
    PhoneLink link;
};

}  // namespace test
