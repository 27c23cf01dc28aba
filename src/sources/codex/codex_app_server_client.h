#pragma once

#include <QCoro/QCoroTask>
#include <QProcessEnvironment>
#include <QString>
#include <functional>
#include <memory>

#include "core/cancellation_token.h"
#include "core/clock.h"
#include "model/agent_usage.h"
#include "sources/codex/codex_app_server_session.h"

// Reads Codex usage through the local `codex app-server`: once (fetchUsage) or live
// (monitorUsage). Every call locates and verifies the executable afresh, starts its own child and
// stops it before returning, so calls share nothing and may run side by side.
//
// Cancelling a call's token stops its child at once. A call returns only once its child has
// ended and its timers are gone. Tokens must be cancelled on the thread that runs the call (the
// event loop's, the main thread).
class CodexAppServerClient final {
public:
    // Returns a trusted codex executable or throws CodexAppServerError. Runs on a worker thread.
    using Locate = std::function<QString()>;
    using UpdateHandler = CodexAppServerSession::UpdateHandler;

    // How long a one-shot read, or a live session's first usage, may take.
    static constexpr double kTimeLimitSeconds = 20.0;

    // `homeDirectory` becomes the child's working directory; `environment` is the child's, before
    // its PATH is reduced to trusted folders and the session adds its own entries.
    CodexAppServerClient(Clock& clock, Locate locate, QString homeDirectory,
                         const QProcessEnvironment& environment);
    Q_DISABLE_COPY_MOVE(CodexAppServerClient)

    // One usage read. Throws what locating throws, launchFailed, timedOut when no usage came
    // within kTimeLimitSeconds, or the session's error (requestFailed when Codex answers the read
    // with an error, connectionClosed, protocolViolation, noRateLimits); CancelledError or
    // connectionClosed after cancellation.
    QCoro::Task<AgentUsage> fetchUsage(CancellationToken cancellation = CancellationToken());

    // A live session: `onUpdate` is called for every usage until the session ends, which it only
    // does by throwing. Throws timedOut instead of the session's error when no usage was ever
    // delivered (the child is stopped when none came within kTimeLimitSeconds), except for
    // cancellation; after a usage, the session's error (connectionClosed when the child went away
    // or a later read stalled).
    QCoro::Task<> monitorUsage(UpdateHandler onUpdate,
                               CancellationToken cancellation = CancellationToken());

    // Whether `Locate` finds a trusted codex executable now. Locates on a worker thread.
    QCoro::Task<bool> isCodexInstalled();

private:
    // Locates the executable and prepares the child's environment, on a worker thread.
    QCoro::Task<CodexAppServerSession::Launch> prepareLaunch(CancellationToken cancellation);
    // A started session whose child is stopped when `cancellation` is cancelled.
    QCoro::Task<std::shared_ptr<CodexAppServerSession>> startSession(
        CancellationToken cancellation);

    Clock& m_clock;
    Locate m_locate;
    QString m_homeDirectory;
    QProcessEnvironment m_environment;
};
