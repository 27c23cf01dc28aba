#include "claude_cli_probe.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <exception>

#include "claude_usage_client_error.h"
#include "core/error.h"
#include "core/worker.h"
#include "platform/process/pseudo_terminal.h"

namespace {

constexpr QByteArrayView kStatusCommand = "/status\r";
constexpr QByteArrayView kTrustAnswer = "y\r";
constexpr QByteArrayView kEnter = "\r";
constexpr QByteArrayView kExitCommand = "/exit\r";

ClaudeUsageClientError expiredCredentials() {
    return ClaudeUsageClientError(ClaudeUsageClientError::Code::ExpiredCredentials);
}

// Types what the terminal takes now and keeps the rest in `unsent`. A failure changes nothing
// (the child may have gone away meanwhile), so what is left is dropped.
void typeIgnoringFailure(QByteArray& unsent, int descriptor) {
    try {
        unsent.remove(0, ClaudeCliProbe::writeAvailable(unsent, descriptor));
    } catch (const ClaudeUsageClientError&) {
        unsent.clear();
    }
}

}  // namespace

ClaudeCliProbe::Environment ClaudeCliProbe::Environment::system() {
    Environment environment;
    environment.homePath = QDir::homePath();
    environment.processEnvironment = QProcessEnvironment::systemEnvironment();
    environment.temporaryPath = QDir::tempPath();
    return environment;
}

ClaudeCliProbe::ClaudeCliProbe(Clock& clock, Environment environment)
    : m_clock(clock), m_environment(std::move(environment)) {}

std::optional<QString> ClaudeCliProbe::resolveClaudeBinary() const {
    QStringList candidates;
    const QString override = QStringLiteral("CLAUDE_BINARY");
    if (m_environment.processEnvironment.contains(override)) {
        candidates << m_environment.processEnvironment.value(override);
    }
    candidates << m_environment.homePath + QStringLiteral("/.local/bin/claude")
               << m_environment.homePath + QStringLiteral("/.claude/local/claude")
               << m_environment.systemBinaryPaths;
    for (const QString& candidate : candidates) {
        const QFileInfo file(candidate);
        if (!candidate.isEmpty() && file.isFile() && file.isExecutable()) {
            return file.absoluteFilePath();
        }
    }
    return std::nullopt;
}

QString ClaudeCliProbe::scratchFolderPath() const {
    return QDir(m_environment.temporaryPath).filePath(QStringLiteral("Quotamind-Claude-Probe"));
}

QProcessEnvironment ClaudeCliProbe::childEnvironment() const {
    QProcessEnvironment environment = m_environment.processEnvironment;
    environment.insert(QStringLiteral("DISABLE_AUTOUPDATER"), QStringLiteral("1"));
    environment.insert(
        QStringLiteral("PATH"),
        QStringList{m_environment.homePath + QStringLiteral("/.local/bin"),
                    QStringLiteral("/opt/homebrew/bin"), QStringLiteral("/usr/local/bin"),
                    QStringLiteral("/usr/bin"), QStringLiteral("/bin")}
            .join(QLatin1Char(':')));
    const QStringList names = environment.keys();
    for (const QString& name : names) {
        if (name.startsWith(QLatin1String("ANTHROPIC_"))) {
            environment.remove(name);
        }
    }
    return environment;
}

QString ClaudeCliProbe::prepareScratchFolder() const {
    // The temporary folder is usually shared with other users, and the probe tells `claude` to
    // trust the files in this folder: use it only when it is a real folder of ours that nobody
    // else can write to.
    QDir().mkpath(m_environment.temporaryPath);
    QString path = scratchFolderPath();
    const QByteArray encoded = QFile::encodeName(path);
    ::mkdir(encoded.constData(), 0700);
    struct stat status {};
    if (::lstat(encoded.constData(), &status) < 0 || !S_ISDIR(status.st_mode) ||
        status.st_uid != ::geteuid()) {
        throw expiredCredentials();
    }
    if ((status.st_mode & 077) != 0 && ::chmod(encoded.constData(), 0700) < 0) {
        throw expiredCredentials();
    }
    return path;
}

QCoro::Task<> ClaudeCliProbe::touchClaudeAuthPath(QString binary, double timeoutSeconds,
                                                  CancellationToken token) {
    token.throwIfCancelled();
    PseudoTerminal::Options options;
    QCoro::Task<QString> preparing = runOnWorker([this] { return prepareScratchFolder(); });
    options.workingDirectory = co_await preparing;
    token.throwIfCancelled();
    options.program = binary;
    options.arguments = QStringList{QStringLiteral("--allowed-tools"), QString()};
    options.environment = childEnvironment().toStringList();
    options.rows = terminalRows;
    options.columns = terminalColumns;
    // Here, on the calling (main) thread: the child dies with the thread that forked it.
    PseudoTerminal terminal(options);

    // Clean-up awaits the clock, which a catch block cannot; keep the failure for afterwards.
    // Anything else, such as running out of memory, leaves at once; the terminal still kills
    // and reaps the child as it goes.
    std::exception_ptr failure;
    try {
        QCoro::Task<> conversation = converse(terminal, timeoutSeconds, token);
        co_await conversation;
    } catch (const CancelledError&) {
        failure = std::current_exception();
    } catch (const Error&) {
        failure = std::current_exception();
    }
    QCoro::Task<> ending = cleanUp(terminal);
    co_await ending;
    if (failure) {
        std::rethrow_exception(failure);
    }
}

QCoro::Task<> ClaudeCliProbe::converse(PseudoTerminal& terminal, double timeoutSeconds,
                                       CancellationToken token) {
    QCoro::Task<> launch = m_clock.sleep(launchWaitSeconds, token);
    co_await launch;
    const int master = terminal.masterDescriptor();
    QByteArray unsent = kStatusCommand.toByteArray();
    unsent.remove(0, writeAvailable(unsent, master));

    ClaudeProbeConversation conversation(timeoutSeconds);
    const Timestamp start = m_clock.now();
    double polledSeconds = 0.0;
    for (;;) {
        token.throwIfCancelled();
        const double elapsed = std::max(m_clock.now() - start, polledSeconds);
        const ClaudeProbeConversation::Step step =
            conversation.poll(readAvailable(master), elapsed, terminal.isRunning());
        if (step.finished) {
            co_return;
        }
        // A terminal that has not taken the earlier keystrokes yet gets no more on top.
        if (unsent.isEmpty()) {
            unsent = step.keystrokes;
        }
        typeIgnoringFailure(unsent, master);
        QCoro::Task<> pause = m_clock.sleep(pollIntervalSeconds, token);
        co_await pause;
        polledSeconds += pollIntervalSeconds;
    }
}

QCoro::Task<> ClaudeCliProbe::cleanUp(PseudoTerminal& terminal) {
    if (terminal.isRunning()) {
        QByteArray exitCommand = kExitCommand.toByteArray();
        typeIgnoringFailure(exitCommand, terminal.masterDescriptor());
        terminal.terminate();
        // Not cancellable: the child must be gone before the probe ends, cancelled or not.
        try {
            double waitedSeconds = 0.0;
            while (terminal.isRunning() && waitedSeconds < terminationGraceSeconds) {
                QCoro::Task<> pause = m_clock.sleep(pollIntervalSeconds, CancellationToken());
                co_await pause;
                waitedSeconds += pollIntervalSeconds;
            }
        } catch (const CancelledError&) {
            // The clock is going away; do not wait any longer.
        }
        terminal.kill();
    }
    terminal.closeTerminal();
}

ClaudeProbeConversation::Step ClaudeProbeConversation::poll(QByteArrayView output,
                                                            double elapsedSeconds,
                                                            bool childRunning) {
    if (!childRunning || elapsedSeconds >= m_timeoutSeconds) {
        return {.keystrokes = {}, .finished = true};
    }
    m_screen.append(output.last(std::min(output.size(), screenBytes)));
    m_screen.remove(0, std::max<qsizetype>(0, m_screen.size() - screenBytes));
    const QString screen = QString::fromUtf8(m_screen).toLower();
    Step step;
    if (screen.contains(QLatin1String("do you trust the files in this folder"))) {
        step.keystrokes = kTrustAnswer.toByteArray();
    } else if (screen.contains(QLatin1String("press enter to continue")) ||
               screen.contains(QLatin1String("show claude code status"))) {
        step.keystrokes = kEnter.toByteArray();
    }
    if (elapsedSeconds - m_lastEnterSeconds >= enterIntervalSeconds) {
        step.keystrokes += kEnter;
        m_lastEnterSeconds = elapsedSeconds;
    }
    return step;
}

QByteArray ClaudeCliProbe::readAvailable(int descriptor, qsizetype limit) {
    QByteArray bytes;
    char chunk[readChunkBytes];
    while (bytes.size() < limit) {
        const auto wanted = static_cast<size_t>(std::min(readChunkBytes, limit - bytes.size()));
        const ssize_t received = ::read(descriptor, chunk, wanted);
        if (received < 0 && errno == EINTR) {
            continue;
        }
        if (received <= 0) {
            break;
        }
        bytes.append(chunk, received);
    }
    return bytes;
}

qsizetype ClaudeCliProbe::writeAvailable(QByteArrayView bytes, int descriptor) {
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(descriptor, bytes.data() + written,
                                      static_cast<size_t>(bytes.size() - written));
        if (count > 0) {
            written += count;
        } else if (count < 0 && errno == EINTR) {
            continue;
        } else if (count == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
            break;
        } else {
            throw expiredCredentials();
        }
    }
    return written;
}
