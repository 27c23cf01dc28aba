#include "codex_app_server_session.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <QProcess>
#include <QSocketNotifier>
#include <QThread>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>

#include "core/error.h"
#include "core/time_limit.h"
#include "platform/process/child_process_guard.h"
#include "sources/codex/codex_app_server_error.h"
#include "sources/logging.h"

using codex_app_server::RateLimitSnapshot;

namespace {

// How much longer than the grace period waitForChildToEnd() waits for a killed child.
constexpr double kKillWaitSeconds = 2.0;
// One read of the child's output; the event loop runs between reads, so a child that floods its
// output cannot starve the rest of the program.
constexpr std::size_t kReadChunkBytes = 64 * 1024;
// What is still read once the child has exited, before the output counts as ended.
constexpr int kDrainChunks = 64;

[[noreturn]] void fail(CodexAppServerError::Code code) {
    throw CodexAppServerError(code);
}

std::atomic<int> liveSessions{0};

// Asks a child and its process group to terminate and releases the child once it has exited. A
// group that ignores the request for the grace period is killed, so no stopped session leaves a
// process behind.
void terminateAndRelease(QProcess* process, Clock& clock) {
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
        return;
    }
    const CancellationToken exited;
    QObject::connect(process, &QProcess::stateChanged, process,
                     [process, exited](QProcess::ProcessState state) {
                         if (state == QProcess::NotRunning) {
                             exited.cancel();
                             process->deleteLater();
                         }
                     });
    const auto group = static_cast<pid_t>(process->processId());
    ChildProcessGuard::signalGroup(group, SIGTERM);
    // Runs on by itself; the process is still there whenever the limit passes first.
    QCoro::Task<> grace = runAfter(clock, CodexAppServerSession::kTerminationGraceSeconds, exited,
                                   [group] { ChildProcessGuard::signalGroup(group, SIGKILL); });
}

}  // namespace

// Waits for the next complete line of the child's output. Resumes from the event loop, never
// inside the output handler or inside cancel(), so the loop may stop the session freely.
class CodexAppServerSession::LineAwaiter final {
public:
    LineAwaiter(CodexAppServerSession& session, CancellationToken cancellation)
        : m_session(session), m_cancellation(std::move(cancellation)) {}

    bool await_ready() const {
        return !m_session.m_lines.empty() || m_session.m_outputFinished ||
               m_cancellation.isCancelled();
    }

    void await_suspend(std::coroutine_handle<> handle) {
        m_session.m_reader = handle;
        CodexAppServerSession* session = &m_session;
        m_callback = m_cancellation.onCancel([session] { session->wakeReader(); });
    }

    // The next line, or nothing when the output has ended or the wait was cancelled.
    std::optional<QByteArray> await_resume() {
        if (m_callback != 0) {
            m_cancellation.removeCallback(m_callback);
        }
        if (m_session.m_lines.empty()) {
            return std::nullopt;
        }
        QByteArray line = std::move(m_session.m_lines.front());
        m_session.m_lines.pop_front();
        return line;
    }

private:
    CodexAppServerSession& m_session;
    CancellationToken m_cancellation;
    CancellationToken::CallbackId m_callback = 0;
};

std::shared_ptr<CodexAppServerSession> CodexAppServerSession::create(Launch launch, Clock& clock) {
    return std::make_shared<CodexAppServerSession>(Passkey{}, std::move(launch), clock);
}

CodexAppServerSession::CodexAppServerSession(Passkey, Launch launch, Clock& clock)
    : m_launch(std::move(launch)), m_clock(clock) {
    ++liveSessions;
}

CodexAppServerSession::~CodexAppServerSession() {
    {
        std::scoped_lock lock(m_stateLock);
        m_hasStopped = true;
    }
    tearDown();
    --liveSessions;
}

int CodexAppServerSession::liveCount() {
    return liveSessions;
}

QCoro::Task<> CodexAppServerSession::start() {
    const std::shared_ptr<CodexAppServerSession> self = shared_from_this();
    if (hasStopped()) {
        throw PlatformError(QCoreApplication::translate("CodexAppServerError",
                                                        "Codex was stopped before it started."));
    }
    m_process = std::make_unique<QProcess>();
    QProcess* process = m_process.get();
    qCDebug(lcSources).noquote() << "starting" << m_launch.executablePath << "app-server";
    process->setProgram(m_launch.executablePath);
    process->setArguments({QStringLiteral("app-server"), QStringLiteral("--stdio")});
    process->setWorkingDirectory(m_launch.workingDirectory);
    QProcessEnvironment environment = m_launch.environment;
    environment.insert(QStringLiteral("RUST_LOG"), QStringLiteral("error"));
    environment.insert(QStringLiteral("LOG_FORMAT"), QStringLiteral("json"));
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::SeparateChannels);

    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        throw PlatformError(QString::fromLocal8Bit(std::strerror(errno)));
    }
    m_outputFd = fds[0];
    const int writeEnd = fds[1];
    ::fcntl(m_outputFd, F_SETFL, ::fcntl(m_outputFd, F_GETFL) | O_NONBLOCK);
    process->setStandardOutputFile(QProcess::nullDevice());
    const pid_t parent = ::getpid();
    // Runs in the child between fork and exec: the pipe becomes its stdout, the child leads a
    // process group of its own, so what it starts (npm's launcher starts the real program) ends
    // with it, and it dies with this program.
    process->setChildProcessModifier([writeEnd, parent] {
        ::dup2(writeEnd, STDOUT_FILENO);
        ::setpgid(0, 0);
        ChildProcessGuard::dieWithParent(parent);
    });
    // The child's diagnostics are never interpreted; reading them keeps its pipe from filling.
    QObject::connect(process, &QProcess::readyReadStandardError, &m_context,
                     [process] { process->readAllStandardError(); });
    // A child that exits has written all it will; grandchildren must not keep the stream open.
    QObject::connect(process, &QProcess::finished, &m_context,
                     [this](int exitCode, QProcess::ExitStatus status) {
                         qCDebug(lcSources) << "codex app-server ended: exit code" << exitCode
                                            << (status == QProcess::CrashExit ? "(crashed)" : "");
                         drainStandardOutput();
                     });

    QObject::connect(process, &QProcess::started, &m_context, [this] {
        m_childStarted = true;
        m_launchSettled.cancel();
    });
    QObject::connect(process, &QProcess::errorOccurred, &m_context,
                     [this] { m_launchSettled.cancel(); });

    process->start(QIODevice::ReadWrite);
    ::close(writeEnd);
    if (const qint64 pid = process->processId(); pid > 0) {
        m_childLaunched = true;
        const auto group = static_cast<pid_t>(pid);
        ChildProcessGuard::track(group, true, kTerminationGraceSeconds);
        QObject::connect(process, &QProcess::stateChanged, process,
                         [group, ended = m_childEnded](QProcess::ProcessState state) {
                             if (state == QProcess::NotRunning) {
                                 // What is left of its group goes with it; the group lives on
                                 // while any member does, so the signal reaches only them.
                                 ::kill(-group, SIGKILL);
                                 ChildProcessGuard::untrack(group);
                                 ended.cancel();
                             }
                         });
    }
    if (!m_childStarted && process->state() == QProcess::Starting) {
        QCoro::Task<> launch = runAfter(m_clock, kLaunchTimeLimitSeconds, m_launchSettled, [] {});
        co_await launch;
    }
    if (!m_childStarted) {
        closeStandardOutput();
        // stop() may have released the child meanwhile.
        throw PlatformError(m_process && m_process->error() == QProcess::FailedToStart
                                ? m_process->errorString()
                                : QCoreApplication::translate("CodexAppServerError",
                                                              "Codex did not start in time."));
    }
    // The child may already have ended, its output read.
    if (m_outputFd >= 0) {
        m_outputNotifier = std::make_unique<QSocketNotifier>(m_outputFd, QSocketNotifier::Read);
        QObject::connect(m_outputNotifier.get(), &QSocketNotifier::activated, &m_context,
                         [this] { readStandardOutput(); });
    }
}

QCoro::Task<std::optional<AgentUsage>> CodexAppServerSession::receiveUsageUpdates(
    bool stopAfterFirst, UpdateHandler onUpdate, CancellationToken cancellation) {
    // The loop keeps its session alive while it waits.
    const std::shared_ptr<CodexAppServerSession> self = shared_from_this();
    send(codex_app_server::encodeInitializeRequest(applicationVersion().toStdString()));
    bool initialized = false;
    std::optional<RateLimitSnapshot> latest;
    try {
        for (;;) {
            LineAwaiter next = nextLine(cancellation);
            std::optional<QByteArray> line = co_await next;
            if (!line) {
                fail(CodexAppServerError::Code::ConnectionClosed);
            }
            cancellation.throwIfCancelled();
            std::optional<RateLimitSnapshot> snapshot = handleLine(*line, initialized, latest);
            if (!snapshot) {
                continue;
            }
            AgentUsage usage = codex_app_server::makeUsage(*snapshot, m_clock.now());
            recordDelivery(usage);
            if (stopAfterFirst) {
                cancelPollingTask();
                co_return usage;
            }
            if (onUpdate) {
                onUpdate(usage);
            }
            // Every delivery restarts the polling delay.
            cancelPollingTask();
            startPollingTask();
            latest = std::move(snapshot);
        }
    } catch (const CodexAppServerError&) {
        cancelPollingTask();
        throw;
    } catch (const CancelledError&) {
        cancelPollingTask();
        throw;
    } catch (...) {
        cancelPollingTask();
        fail(CodexAppServerError::Code::ConnectionClosed);
    }
}

std::optional<RateLimitSnapshot> CodexAppServerSession::handleLine(
    const QByteArray& line, bool& initialized, const std::optional<RateLimitSnapshot>& latest) {
    using Code = CodexAppServerError::Code;
    if (line.isEmpty() ||
        static_cast<std::size_t>(line.size()) > codex_app_server::kMaximumMessageSize) {
        fail(Code::ProtocolViolation);
    }
    json::Value message;
    codex_app_server::MessageHeader header;
    try {
        message = json::parse(std::string_view(line.constData(), line.size()),
                              codex_app_server::kMaximumMessageSize);
        header = codex_app_server::decodeHeader(message);
    } catch (const json::DecodingError&) {
        fail(Code::ProtocolViolation);
    }

    if (header.id == codex_app_server::kInitializeRequestId) {
        if (initialized) {
            return std::nullopt;
        }
        if (!codex_app_server::decodeInitializeResponse(message).succeeded) {
            fail(Code::RequestFailed);
        }
        send(codex_app_server::encodeInitializedNotification());
        sendRateLimitsRequestIfIdle();
        initialized = true;
        return std::nullopt;
    }

    if (header.id && *header.id >= codex_app_server::kFirstRateLimitsRequestId) {
        // Any such id answers the one read in flight; ids are not matched.
        if (!initialized) {
            fail(Code::ProtocolViolation);
        }
        codex_app_server::RateLimitsResponse response =
            codex_app_server::decodeRateLimitsResponse(message);
        if (response.rateLimits) {
            abandonRateLimitsRead();
            return std::move(response.rateLimits);
        }
        recordReadFailure();
        if (latest) {
            // A live session keeps going on its last snapshot; the policy backs off.
            return std::nullopt;
        }
        fail(Code::RequestFailed);
    }

    // Notifications, and ids of 0 or less, which no request of ours uses.
    if (header.method == codex_app_server::kRateLimitsUpdatedMethod) {
        RateLimitSnapshot update = codex_app_server::decodeRateLimitsUpdated(message);
        return latest ? latest->merging(update) : update;
    }
    return std::nullopt;
}

void CodexAppServerSession::send(const std::string& message) {
    if (message.size() > codex_app_server::kMaximumMessageSize) {
        fail(CodexAppServerError::Code::ProtocolViolation);
    }
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(message.size()) + 1);
    bytes.append(message.data(), static_cast<qsizetype>(message.size()));
    bytes.append('\n');
    if (!m_process || m_process->state() != QProcess::Running ||
        m_process->write(bytes) != bytes.size()) {
        fail(CodexAppServerError::Code::ConnectionClosed);
    }
}

bool CodexAppServerSession::sendRateLimitsRequestIfIdle() {
    const std::optional<std::int64_t> id = beginRateLimitsRead();
    if (!id) {
        return false;
    }
    try {
        send(codex_app_server::encodeRateLimitsRequest(*id));
    } catch (...) {
        abandonRateLimitsRead();
        throw;
    }
    return true;
}

std::optional<std::int64_t> CodexAppServerSession::beginRateLimitsRead() {
    std::scoped_lock lock(m_stateLock);
    if (m_hasStopped || m_rateLimitsReadInFlight) {
        return std::nullopt;
    }
    m_rateLimitsReadInFlight = true;
    m_rateLimitsReadStartedAt = m_clock.now();
    return m_nextRateLimitsRequestId++;
}

void CodexAppServerSession::abandonRateLimitsRead() {
    std::scoped_lock lock(m_stateLock);
    m_rateLimitsReadInFlight = false;
    m_rateLimitsReadStartedAt.reset();
}

void CodexAppServerSession::recordReadFailure() {
    std::scoped_lock lock(m_stateLock);
    m_rateLimitsReadInFlight = false;
    m_rateLimitsReadStartedAt.reset();
    m_refreshPolicy.recordFailure();
}

void CodexAppServerSession::recordDelivery(const AgentUsage& usage) {
    std::scoped_lock lock(m_stateLock);
    m_didReceiveUsageSnapshot = true;
    m_refreshPolicy.recordObservation(usage.activitySamples(), m_clock.now());
}

bool CodexAppServerSession::rateLimitsReadIsStalled() const {
    std::scoped_lock lock(m_stateLock);
    return m_rateLimitsReadInFlight && m_rateLimitsReadStartedAt &&
           m_clock.now() - *m_rateLimitsReadStartedAt >= kStalledReadSeconds;
}

double CodexAppServerSession::currentPollingInterval() const {
    std::scoped_lock lock(m_stateLock);
    return m_refreshPolicy.nextRefreshInterval(m_clock.now());
}

bool CodexAppServerSession::didReceiveUsageSnapshot() const {
    std::scoped_lock lock(m_stateLock);
    return m_didReceiveUsageSnapshot;
}

bool CodexAppServerSession::hasStopped() const {
    std::scoped_lock lock(m_stateLock);
    return m_hasStopped;
}

bool CodexAppServerSession::rateLimitsReadInFlight() const {
    std::scoped_lock lock(m_stateLock);
    return m_rateLimitsReadInFlight;
}

QString CodexAppServerSession::applicationVersion() {
    const QString version = QStringLiteral(QUOTAMIND_VERSION);
    return version.isEmpty() ? QStringLiteral("1.0") : version;
}

void CodexAppServerSession::startPollingTask() {
    const CancellationToken token;
    m_polling = token;
    // The task runs on detached; its token is how the loop and the teardown end it.
    QCoro::Task<> task = poll(weak_from_this(), m_clock, token);
}

void CodexAppServerSession::cancelPollingTask() {
    if (m_polling) {
        m_polling->cancel();
        m_polling.reset();
    }
}

QCoro::Task<> CodexAppServerSession::poll(std::weak_ptr<CodexAppServerSession> weak, Clock& clock,
                                          CancellationToken token) {
    try {
        for (;;) {
            double interval = 0.0;
            if (const auto session = weak.lock(); session && !token.isCancelled()) {
                interval = session->currentPollingInterval();
            } else {
                co_return;
            }
            // The session is held only between waits, so that it ends with its owner.
            QCoro::Task<> wait = clock.sleep(interval, token);
            co_await wait;
            const std::shared_ptr<CodexAppServerSession> session = weak.lock();
            if (!session) {
                co_return;
            }
            if (session->rateLimitsReadIsStalled()) {
                session->stop();
                co_return;
            }
            if (const std::optional<std::int64_t> id = session->beginRateLimitsRead()) {
                try {
                    session->send(codex_app_server::encodeRateLimitsRequest(*id));
                } catch (const CodexAppServerError&) {
                    // Not reported: the loop ends by itself once the child is gone.
                    session->abandonRateLimitsRead();
                    co_return;
                }
                session->startStalledReadWatchdog();
            }
            if (token.isCancelled()) {
                co_return;
            }
        }
    } catch (const CancelledError&) {
    }
}

void CodexAppServerSession::startStalledReadWatchdog() {
    // Runs on by itself; stop() ends it.
    QCoro::Task<> watchdog =
        runAfter(m_clock, kStalledReadSeconds, m_lifetime, [weak = weak_from_this()] {
            if (const auto session = weak.lock(); session && session->rateLimitsReadIsStalled()) {
                session->stop();
            }
        });
}

CodexAppServerSession::Read CodexAppServerSession::readStandardOutput() {
    if (m_outputFd < 0) {
        return Read::Ended;
    }
    QByteArray chunk(kReadChunkBytes, Qt::Uninitialized);
    ssize_t count = 0;
    do {
        count = ::read(m_outputFd, chunk.data(), kReadChunkBytes);
    } while (count < 0 && errno == EINTR);
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return Read::NothingYet;
    }
    if (count <= 0) {
        closeStandardOutput();
        finishOutput();
        return Read::Ended;
    }
    chunk.truncate(count);
    pushLines(m_lineBuffer.appendAndDrainLines(chunk));
    return Read::Data;
}

void CodexAppServerSession::drainStandardOutput() {
    for (int chunk = 0; chunk < kDrainChunks; ++chunk) {
        if (readStandardOutput() != Read::Data) {
            break;
        }
    }
    closeStandardOutput();
    finishOutput();
}

void CodexAppServerSession::closeStandardOutput() {
    m_outputNotifier.reset();
    if (m_outputFd >= 0) {
        ::close(m_outputFd);
        m_outputFd = -1;
    }
}

void CodexAppServerSession::pushLines(std::vector<QByteArray> lines) {
    if (lines.empty()) {
        return;
    }
    for (QByteArray& line : lines) {
        m_lines.push_back(std::move(line));
    }
    wakeReader();
}

void CodexAppServerSession::finishOutput() {
    m_outputFinished = true;
    wakeReader();
}

void CodexAppServerSession::wakeReader() {
    if (!m_reader || m_wakeQueued) {
        return;
    }
    m_wakeQueued = true;
    QMetaObject::invokeMethod(
        &m_context,
        [this] {
            m_wakeQueued = false;
            if (const std::coroutine_handle<> reader = std::exchange(m_reader, nullptr)) {
                reader.resume();
            }
        },
        Qt::QueuedConnection);
}

CodexAppServerSession::LineAwaiter CodexAppServerSession::nextLine(
    const CancellationToken& cancellation) {
    return LineAwaiter(*this, cancellation);
}

void CodexAppServerSession::stop() {
    {
        std::scoped_lock lock(m_stateLock);
        if (m_hasStopped) {
            return;
        }
        m_hasStopped = true;
    }
    if (QThread::currentThread() == m_context.thread()) {
        tearDown();
        return;
    }
    // The child and its pipes belong to the session's thread.
    QMetaObject::invokeMethod(
        &m_context,
        [weak = weak_from_this()] {
            if (const auto session = weak.lock()) {
                session->tearDown();
            }
        },
        Qt::QueuedConnection);
}

void CodexAppServerSession::tearDown() {
    if (m_tornDown) {
        return;
    }
    m_tornDown = true;
    m_lifetime.cancel();
    m_launchSettled.cancel();
    cancelPollingTask();
    if (m_process) {
        QObject::disconnect(m_process.get(), nullptr, &m_context, nullptr);
    }
    finishOutput();
    if (m_process) {
        m_process->closeWriteChannel();
    }
    closeStandardOutput();
    if (m_process) {
        m_process->closeReadChannel(QProcess::StandardError);
        terminateAndRelease(m_process.release(), m_clock);
    }
}

QCoro::Task<> CodexAppServerSession::waitForChildToEnd() {
    if (!m_childLaunched) {
        co_return;
    }
    QCoro::Task<> wait =
        runAfter(m_clock, kTerminationGraceSeconds + kKillWaitSeconds, m_childEnded, [] {});
    co_await wait;
}
