#pragma once

#include <QString>
#include <deque>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include "core/error.h"
#include "platform/autostart.h"
#include "platform/widget_center.h"
#include "store/store_services.h"
#include "support/manual_clock.h"

namespace test {

// One scripted answer: a usage, an error text, or a wait of that many seconds on the manual
// clock before the next scripted answer is taken.
struct Wait {
    double seconds;
};
using Answer = std::variant<AgentUsage, QString, Wait>;

// Answers each call with the next scripted answer; once the script is used up, with `otherwise`.
class Script {
public:
    explicit Script(ManualClock& clock) : m_clock(clock) {}

    std::deque<Answer> answers;
    Answer otherwise = QStringLiteral("offline");
    int calls = 0;

    QCoro::Task<AgentUsage> next(CancellationToken token) {
        ++calls;
        for (;;) {
            Answer answer = answers.empty() ? otherwise : answers.front();
            if (!answers.empty()) {
                answers.pop_front();
            }
            if (const auto* wait = std::get_if<Wait>(&answer)) {
                QCoro::Task<> waiting = m_clock.sleep(wait->seconds, token);
                co_await waiting;
                continue;
            }
            if (const auto* text = std::get_if<QString>(&answer)) {
                throw PlatformError(*text);
            }
            co_return std::get<AgentUsage>(answer);
        }
    }

private:
    ManualClock& m_clock;
};

class FakeUsageSource final : public AgentUsageSource {
public:
    explicit FakeUsageSource(ManualClock& clock) : script(clock) {}
    QCoro::Task<AgentUsage> fetchUsage(CancellationToken token) override {
        return script.next(std::move(token));
    }
    Script script;
};

// Each monitorUsage call delivers the usages of its session in order, stays open for
// `openSeconds` (or until cancelled), then ends with an error.
struct LiveSession {
    std::vector<AgentUsage> updates;
    double openSeconds = 0;
};

class FakeAppServer final : public CodexAppServerSource {
public:
    explicit FakeAppServer(ManualClock& clock) : script(clock), m_clock(clock) {}

    QCoro::Task<AgentUsage> fetchUsage(CancellationToken token) override {
        return script.next(std::move(token));
    }
    QCoro::Task<> monitorUsage(UpdateHandler onUpdate, CancellationToken token) override {
        ++monitorCalls;
        monitorStartedAt.push_back(m_clock.now());
        const LiveSession session = sessions.empty() ? LiveSession{} : sessions.front();
        if (!sessions.empty()) {
            sessions.pop_front();
        }
        for (const AgentUsage& usage : session.updates) {
            onUpdate(usage);
        }
        if (session.openSeconds > 0) {
            QCoro::Task<> holding = m_clock.sleep(session.openSeconds, token);
            co_await holding;
        }
        throw PlatformError(QStringLiteral("The Codex session closed."));
    }
    QCoro::Task<bool> isCodexInstalled() override { co_return installed; }

    Script script;
    std::deque<LiveSession> sessions;
    int monitorCalls = 0;
    std::vector<Timestamp> monitorStartedAt;
    bool installed = true;

private:
    ManualClock& m_clock;
};

class FakeAccount final : public CodexAccount {
public:
    explicit FakeAccount(ManualClock& clock) : usage(clock), m_clock(clock) {}

    QCoro::Task<std::optional<CodexCredentials>> loadCredentials() override { co_return stored; }
    QCoro::Task<> saveCredentials(CodexCredentials credentials) override {
        stored = std::move(credentials);
        co_return;
    }
    QCoro::Task<> deleteCredentials() override {
        if (deleteFailure) {
            throw PlatformError(*deleteFailure);
        }
        stored.reset();
        co_return;
    }
    QCoro::Task<CodexDeviceCode> requestDeviceCode(CancellationToken) override {
        CodexDeviceCode code;
        code.userCode = QStringLiteral("ABCD-1234");
        co_return code;
    }
    QCoro::Task<AuthorizationResponse> pollForAuthorization(CodexDeviceCode,
                                                            CancellationToken token) override {
        // The user takes a minute to confirm.
        QCoro::Task<> confirming = m_clock.sleep(60, token);
        co_await confirming;
        co_return AuthorizationResponse{};
    }
    QCoro::Task<CodexCredentials> exchange(AuthorizationResponse, CancellationToken) override {
        // An issuer that answers after Cancel: once sent, the code is traded all the same.
        QCoro::Task<> answering = m_clock.sleep(exchangeSeconds, CancellationToken());
        co_await answering;
        co_return CodexCredentials{};
    }
    QCoro::Task<AgentUsage> fetchUsage(CodexCredentials, bool, CancellationToken token) override {
        return usage.next(std::move(token));
    }

    std::optional<CodexCredentials> stored;
    std::optional<QString> deleteFailure;
    double exchangeSeconds = 0;
    Script usage;

private:
    ManualClock& m_clock;
};

// Records what the store hands on after a change.
class Followers final : public SnapshotNotifications, public WidgetCenter, public PhoneFollower {
public:
    QCoro::Task<> start(std::optional<AgentUsageSnapshot>) override { co_return; }
    void synchronize(const AgentUsageSnapshot&) override { ++synchronized; }
    void reloadTimelines(const QString&) override { ++reloads; }
    void start(const std::optional<AgentUsageSnapshot>& stored) override {
        ++phoneStarts;
        if (stored) {
            published.push_back(*stored);
        }
    }
    void publish(const AgentUsageSnapshot& snapshot, bool) override {
        published.push_back(snapshot);
    }

    int synchronized = 0;
    int reloads = 0;
    int phoneStarts = 0;
    // What went to the phone.
    std::vector<AgentUsageSnapshot> published;
};

class FakeAutostart final : public Autostart {
public:
    bool isEnabled() const override { return enabled; }
    void setEnabled(bool value) override {
        if (failure) {
            throw PlatformError(*failure);
        }
        enabled = value;
    }
    bool enabled = false;
    std::optional<QString> failure;
};

}  // namespace test
