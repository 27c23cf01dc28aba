#include "codex_app_server_client.h"

#include <QCoro/QCoroFuture>
#include <QDir>
#include <QFuture>
#include <QtConcurrent/QtConcurrentRun>
#include <exception>
#include <utility>

#include "core/error.h"
#include "core/system_clock.h"
#include "sources/codex/codex_app_server_error.h"
#include "sources/codex/trusted_codex_binary_locator.h"

namespace {

struct LocateOutcome {
    QString path;
    std::exception_ptr error;
};

// Removes a cancellation handler when the call ends, however it ends.
class CancellationHandler final {
public:
    CancellationHandler(CancellationToken token, std::function<void()> handler)
        : m_token(std::move(token)), m_id(m_token.onCancel(std::move(handler))) {}
    ~CancellationHandler() { m_token.removeCallback(m_id); }
    Q_DISABLE_COPY_MOVE(CancellationHandler)

private:
    CancellationToken m_token;
    CancellationToken::CallbackId m_id;
};

// The one-shot read's timer: stops the session when the time limit passes first.
QCoro::Task<> expire(Clock& clock, std::shared_ptr<CodexAppServerSession> session,
                     CancellationToken token, std::shared_ptr<bool> expired) {
    try {
        QCoro::Task<> wait = clock.sleep(CodexAppServerClient::kTimeLimitSeconds, token);
        co_await wait;
    } catch (...) {
        co_return;
    }
    *expired = true;
    session->stop();
}

// The live session's first-snapshot watchdog. It checks after its wait however the wait ended.
QCoro::Task<> watchFirstSnapshot(Clock& clock, std::shared_ptr<CodexAppServerSession> session,
                                 CancellationToken token) {
    try {
        QCoro::Task<> wait = clock.sleep(CodexAppServerClient::kTimeLimitSeconds, token);
        co_await wait;
    } catch (...) {
    }
    if (!session->didReceiveUsageSnapshot()) {
        session->stop();
    }
}

}  // namespace

CodexAppServerClient::CodexAppServerClient(Clock& clock, Locate locate, QString homeDirectory,
                                           QProcessEnvironment environment)
    : m_clock(clock),
      m_locate(std::move(locate)),
      m_homeDirectory(std::move(homeDirectory)),
      m_environment(std::move(environment)) {}

CodexAppServerClient& CodexAppServerClient::shared() {
    static CodexAppServerClient client(
        SystemClock::shared(), [] { return TrustedCodexBinaryLocator::fromEnvironment().locate(); },
        QDir::homePath(), QProcessEnvironment::systemEnvironment());
    return client;
}

bool CodexAppServerClient::isCodexInstalled() {
    try {
        TrustedCodexBinaryLocator::fromEnvironment().locate();
        return true;
    } catch (const CodexAppServerError&) {
        return false;
    }
}

QCoro::Task<QString> CodexAppServerClient::locateExecutable(CancellationToken cancellation) {
    // The file-system checks may block on a slow disk.
    QFuture<LocateOutcome> future = QtConcurrent::run([locate = m_locate] {
        try {
            return LocateOutcome{locate(), nullptr};
        } catch (...) {
            return LocateOutcome{QString(), std::current_exception()};
        }
    });
    LocateOutcome outcome = co_await future;
    cancellation.throwIfCancelled();
    if (outcome.error) {
        std::rethrow_exception(outcome.error);
    }
    co_return outcome.path;
}

std::shared_ptr<CodexAppServerSession> CodexAppServerClient::startSession(
    const QString& executable) {
    auto session =
        CodexAppServerSession::create({executable, m_homeDirectory, m_environment}, m_clock);
    try {
        session->start();
    } catch (...) {
        session->stop();
        throw CodexAppServerError(CodexAppServerError::Code::launchFailed);
    }
    return session;
}

QCoro::Task<AgentUsage> CodexAppServerClient::fetchUsage(CancellationToken cancellation) {
    QCoro::Task<QString> locating = locateExecutable(cancellation);
    const QString executable = co_await locating;
    const std::shared_ptr<CodexAppServerSession> session = startSession(executable);
    const CancellationHandler stopOnCancel(cancellation, [session] { session->stop(); });

    const CancellationToken timerToken;
    const auto expired = std::make_shared<bool>(false);
    QCoro::Task<> timer = expire(m_clock, session, timerToken, expired);
    std::optional<AgentUsage> usage;
    std::exception_ptr error;
    try {
        QCoro::Task<std::optional<AgentUsage>> reader =
            session->receiveUsageUpdates(true, {}, cancellation);
        usage = co_await reader;
    } catch (...) {
        error = std::current_exception();
    }
    // The reader finished, or the timer did and stopped the session: end the other one.
    timerToken.cancel();
    co_await timer;
    session->stop();
    if (*expired) {
        throw CodexAppServerError(CodexAppServerError::Code::timedOut);
    }
    if (error) {
        std::rethrow_exception(error);
    }
    if (!usage) {
        throw CodexAppServerError(CodexAppServerError::Code::connectionClosed);
    }
    co_return std::move(*usage);
}

QCoro::Task<> CodexAppServerClient::monitorUsage(UpdateHandler onUpdate,
                                                 CancellationToken cancellation) {
    QCoro::Task<QString> locating = locateExecutable(cancellation);
    const QString executable = co_await locating;
    const std::shared_ptr<CodexAppServerSession> session = startSession(executable);

    const CancellationToken watchdogToken;
    QCoro::Task<> watchdog = watchFirstSnapshot(m_clock, session, watchdogToken);
    std::exception_ptr error;
    bool cancelled = false;
    {
        const CancellationHandler stopOnCancel(cancellation, [session] { session->stop(); });
        try {
            QCoro::Task<std::optional<AgentUsage>> reader =
                session->receiveUsageUpdates(false, std::move(onUpdate), cancellation);
            co_await reader;
        } catch (const CancelledError&) {
            error = std::current_exception();
            cancelled = true;
        } catch (...) {
            error = std::current_exception();
        }
    }
    watchdogToken.cancel();
    co_await watchdog;
    session->stop();
    if (error) {
        if (!cancelled && !session->didReceiveUsageSnapshot()) {
            throw CodexAppServerError(CodexAppServerError::Code::timedOut);
        }
        std::rethrow_exception(error);
    }
}
