#include "codex_app_server_client.h"

#include <exception>
#include <utility>

#include "core/error.h"
#include "core/time_limit.h"
#include "core/worker.h"
#include "sources/codex/codex_app_server_error.h"
#include "sources/codex/trusted_codex_binary_locator.h"

namespace {

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

// The child's PATH keeps only trusted folders: the npm launcher is trusted, and the interpreter
// its "#!/usr/bin/env node" line finds must be too. Blocks on file-system checks.
QProcessEnvironment trustedEnvironment(QProcessEnvironment environment) {
    const QString name = QStringLiteral("PATH");
    if (environment.contains(name)) {
        const QString path = TrustedCodexBinaryLocator::trustedSearchPath(environment.value(name));
        if (path.isEmpty()) {
            // An empty PATH would mean the working folder; without one the system default applies.
            environment.remove(name);
        } else {
            environment.insert(name, path);
        }
    }
    return environment;
}

}  // namespace

CodexAppServerClient::CodexAppServerClient(Clock& clock, Locate locate, QString homeDirectory,
                                           const QProcessEnvironment& environment)
    : m_clock(clock),
      m_locate(std::move(locate)),
      m_homeDirectory(std::move(homeDirectory)),
      m_environment(environment) {}

QCoro::Task<bool> CodexAppServerClient::isCodexInstalled() {
    try {
        QCoro::Task<QString> locating = runOnWorker(m_locate);
        co_await locating;
    } catch (const CodexAppServerError&) {
        co_return false;
    }
    co_return true;
}

QCoro::Task<CodexAppServerSession::Launch> CodexAppServerClient::prepareLaunch(
    CancellationToken cancellation) {
    QCoro::Task<CodexAppServerSession::Launch> preparing =
        runOnWorker([locate = m_locate, home = m_homeDirectory, environment = m_environment] {
            QString executable = locate();
            return CodexAppServerSession::Launch{std::move(executable), home,
                                                 trustedEnvironment(environment)};
        });
    CodexAppServerSession::Launch launch = co_await preparing;
    cancellation.throwIfCancelled();
    co_return launch;
}

QCoro::Task<std::shared_ptr<CodexAppServerSession>> CodexAppServerClient::startSession(
    CancellationToken cancellation) {
    QCoro::Task<CodexAppServerSession::Launch> preparing = prepareLaunch(cancellation);
    CodexAppServerSession::Launch launch = co_await preparing;
    const std::shared_ptr<CodexAppServerSession> session =
        CodexAppServerSession::create(std::move(launch), m_clock);
    bool failed = false;
    {
        const CancellationHandler stopOnCancel(cancellation, [session] { session->stop(); });
        try {
            QCoro::Task<> starting = session->start();
            co_await starting;
        } catch (const PlatformError&) {
            failed = true;
        }
    }
    if (failed || cancellation.isCancelled()) {
        session->stop();
        QCoro::Task<> ending = session->waitForChildToEnd();
        co_await ending;
        cancellation.throwIfCancelled();
        throw CodexAppServerError(CodexAppServerError::Code::LaunchFailed);
    }
    co_return session;
}

QCoro::Task<AgentUsage> CodexAppServerClient::fetchUsage(CancellationToken cancellation) {
    QCoro::Task<std::shared_ptr<CodexAppServerSession>> starting = startSession(cancellation);
    const std::shared_ptr<CodexAppServerSession> session = co_await starting;

    const CancellationToken timerToken;
    bool expired = false;
    QCoro::Task<> timer =
        runAfter(m_clock, kTimeLimitSeconds, timerToken,
                 [&expired, weak = std::weak_ptr<CodexAppServerSession>(session)] {
                     expired = true;
                     if (const auto stale = weak.lock()) {
                         stale->stop();
                     }
                 });
    std::optional<AgentUsage> usage;
    std::exception_ptr error;
    {
        const CancellationHandler stopOnCancel(cancellation, [session] { session->stop(); });
        try {
            QCoro::Task<std::optional<AgentUsage>> reader =
                session->receiveUsageUpdates(true, {}, cancellation);
            usage = co_await reader;
        } catch (...) {
            error = std::current_exception();
        }
    }
    // The reader finished, or the timer did and stopped the session: end the other one.
    timerToken.cancel();
    co_await timer;
    session->stop();
    QCoro::Task<> ending = session->waitForChildToEnd();
    co_await ending;
    if (expired) {
        throw CodexAppServerError(CodexAppServerError::Code::TimedOut);
    }
    if (error) {
        std::rethrow_exception(error);
    }
    if (!usage) {
        throw CodexAppServerError(CodexAppServerError::Code::ConnectionClosed);
    }
    co_return std::move(*usage);
}

QCoro::Task<> CodexAppServerClient::monitorUsage(UpdateHandler onUpdate,
                                                 CancellationToken cancellation) {
    QCoro::Task<std::shared_ptr<CodexAppServerSession>> starting = startSession(cancellation);
    const std::shared_ptr<CodexAppServerSession> session = co_await starting;

    // The first-snapshot watchdog: a child that gives no usage in time is stopped.
    const CancellationToken watchdogToken;
    QCoro::Task<> watchdog = runAfter(m_clock, kTimeLimitSeconds, watchdogToken,
                                      [weak = std::weak_ptr<CodexAppServerSession>(session)] {
                                          if (const auto silent = weak.lock();
                                              silent && !silent->didReceiveUsageSnapshot()) {
                                              silent->stop();
                                          }
                                      });
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
    QCoro::Task<> ending = session->waitForChildToEnd();
    co_await ending;
    if (error) {
        if (!cancelled && !session->didReceiveUsageSnapshot()) {
            throw CodexAppServerError(CodexAppServerError::Code::TimedOut);
        }
        std::rethrow_exception(error);
    }
}
