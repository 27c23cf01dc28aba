#pragma once

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QObject>
#include <QProcessEnvironment>
#include <QString>
#include <coroutine>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/cancellation_token.h"
#include "core/clock.h"
#include "model/adaptive_refresh_policy.h"
#include "model/agent_usage.h"
#include "sources/codex/codex_app_server_protocol.h"
#include "sources/codex/line_buffer.h"

class QProcess;
class QSocketNotifier;

// One `codex app-server --stdio` child and the conversation with it: the handshake, rate-limit
// reads, and the limit-change notifications the child pushes, each turned into an AgentUsage.
//
// Use: create(), start(), one receiveUsageUpdates(), then stop() whatever happened. A session
// never retries and is never restarted; when anything goes wrong it ends and its owner decides.
//
// Threading: the session lives on the thread that creates it, which must be the main thread (the
// child is told to die with the thread that started it) and must run a Qt event loop; the child's
// output is read there. stop() may be called from any thread. Every time limit and polling delay
// is measured by the injected Clock, which must outlive the session's child.
class CodexAppServerSession final : public std::enable_shared_from_this<CodexAppServerSession> {
    struct Passkey {};

public:
    using UpdateHandler = std::function<void(const AgentUsage&)>;

    // How the child is started.
    struct Launch {
        // A verified codex executable.
        QString executablePath;
        // The child's working directory: the user's home folder.
        QString workingDirectory;
        // The child's environment before RUST_LOG=error and LOG_FORMAT=json are set.
        QProcessEnvironment environment;
    };

    // A read sent by the polling task that is unanswered this long ends the session.
    static constexpr double kStalledReadSeconds = 20.0;
    // How long a child may take to obey the terminate request before it is killed.
    static constexpr double kTerminationGraceSeconds = 3.0;
    // How long the child may take to start.
    static constexpr double kLaunchTimeLimitSeconds = 10.0;

    static std::shared_ptr<CodexAppServerSession> create(Launch launch, Clock& clock);
    CodexAppServerSession(Passkey, Launch launch, Clock& clock);
    ~CodexAppServerSession();
    Q_DISABLE_COPY_MOVE(CodexAppServerSession)

    // Launches the child with the arguments "app-server", "--stdio" and completes once it runs.
    // Throws PlatformError with the platform's text when it cannot be launched or has not started
    // within kLaunchTimeLimitSeconds. The child leads a process group of its own, which ends with
    // the session and when this program quits (SIGTERM, then SIGKILL after
    // kTerminationGraceSeconds); the child alone is killed when this program dies. What is left of
    // the group when the child has ended is killed then.
    QCoro::Task<> start();

    // Runs the protocol until it ends. With `stopAfterFirst` it returns the first usage. Without,
    // it calls `onUpdate` for every usage (on this thread, outside any lock), polls on the
    // session's adaptive interval, and ends only by throwing. Throws CodexAppServerError, or
    // CancelledError when `cancellation` is noticed before a line is handled; a wait for the next
    // line that is cancelled ends like the child's output (connectionClosed).
    QCoro::Task<std::optional<AgentUsage>> receiveUsageUpdates(bool stopAfterFirst,
                                                               UpdateHandler onUpdate,
                                                               CancellationToken cancellation);

    // Ends the conversation: the output stream ends, the child's stdin is closed and the child and
    // its group are asked to terminate; a group still running kTerminationGraceSeconds later is
    // killed.
    // Idempotent, and safe from any thread and from inside the session's own callbacks.
    void stop();

    // After stop(): completes once the child has exited and been reaped, or when it has not
    // kTerminationGraceSeconds + 2 s after the stop (the kernel holds it); at once without one.
    QCoro::Task<> waitForChildToEnd();

    bool didReceiveUsageSnapshot() const;
    bool hasStopped() const;
    // Whether a rate-limits read has been sent and its answer not yet handled.
    bool rateLimitsReadInFlight() const;

    // The version sent in the client information: the program's version, or "1.0".
    static QString applicationVersion();

    // How many sessions exist in this process. A session's child and tasks end with it.
    static int liveCount();

private:
    class LineAwaiter;
    friend class LineAwaiter;

    // Writes one message and a line feed. Throws protocolViolation when it is too long,
    // connectionClosed when it cannot be written.
    void send(const std::string& message);
    // Handles one line of the child's output; returns the snapshot to deliver, if any.
    std::optional<codex_app_server::RateLimitSnapshot> handleLine(
        const QByteArray& line, bool& initialized,
        const std::optional<codex_app_server::RateLimitSnapshot>& latest);
    bool sendRateLimitsRequestIfIdle();
    // Marks a read as in flight and returns its id, or nothing when stopped or one is in flight.
    std::optional<std::int64_t> beginRateLimitsRead();
    void abandonRateLimitsRead();
    bool rateLimitsReadIsStalled() const;
    double currentPollingInterval() const;
    void recordDelivery(const AgentUsage& usage);
    void recordReadFailure();

    void startPollingTask();
    void cancelPollingTask();
    void startStalledReadWatchdog();
    static QCoro::Task<> poll(std::weak_ptr<CodexAppServerSession> weak, Clock& clock,
                              CancellationToken token);

    // The output stream: complete lines in arrival order, and whether it has ended.
    enum class Read { Data, NothingYet, Ended };
    // Reads at most one chunk.
    Read readStandardOutput();
    void drainStandardOutput();
    void closeStandardOutput();
    void pushLines(std::vector<QByteArray> lines);
    void finishOutput();
    void wakeReader();
    LineAwaiter nextLine(const CancellationToken& cancellation);

    void tearDown();

    const Launch m_launch;
    Clock& m_clock;
    // Owns the handlers and queued resumptions; they end with the session.
    QObject m_context;
    std::unique_ptr<QProcess> m_process;
    // The read end of the child's stdout. The session owns this pipe rather than leaving it to
    // QProcess, which reports no end of output while the child keeps running.
    int m_outputFd = -1;
    std::unique_ptr<QSocketNotifier> m_outputNotifier;
    LineBuffer m_lineBuffer;

    std::deque<QByteArray> m_lines;
    bool m_outputFinished = false;
    std::coroutine_handle<> m_reader;
    bool m_wakeQueued = false;
    bool m_tornDown = false;

    // Guards the fields below. Held only for short sections: no send, wait or callback under it.
    mutable std::mutex m_stateLock;
    bool m_hasStopped = false;
    bool m_didReceiveUsageSnapshot = false;
    bool m_rateLimitsReadInFlight = false;
    std::optional<Timestamp> m_rateLimitsReadStartedAt;
    std::int64_t m_nextRateLimitsRequestId = 2;
    AdaptiveRefreshPolicy m_refreshPolicy;

    // Cancelled by stop(): ends the stalled-read watchdogs.
    CancellationToken m_lifetime;
    // Cancelled once the child runs, has failed to start, or the session stops.
    CancellationToken m_launchSettled;
    // Cancelled once the child has exited and been reaped.
    CancellationToken m_childEnded;
    bool m_childLaunched = false;
    bool m_childStarted = false;
    // The running polling task's token, when one runs.
    std::optional<CancellationToken> m_polling;
};
