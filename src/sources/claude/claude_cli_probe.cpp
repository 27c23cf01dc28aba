#include "claude_cli_probe.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <chrono>
#include <exception>
#include <thread>

#include "claude_usage_client_error.h"
#include "core/error.h"
#include "platform/pseudo_terminal.h"

namespace {

constexpr QByteArrayView kStatusCommand = "/status\r";
constexpr QByteArrayView kTrustAnswer = "y\r";
constexpr QByteArrayView kEnter = "\r";
constexpr QByteArrayView kExitCommand = "/exit\r";

constexpr auto kWriteRetryPause = std::chrono::milliseconds(5);
// A descriptor that takes nothing for this long is treated as broken, so a child that never
// reads its terminal cannot hold the probe in a write.
constexpr int kWriteRetriesWithoutProgress = 200;

ClaudeUsageClientError expiredCredentials() {
    return ClaudeUsageClientError(ClaudeUsageClientError::Code::expiredCredentials);
}

// Keystrokes whose failure changes nothing: the child may have gone away meanwhile.
void typeIgnoringFailure(QByteArrayView bytes, int descriptor) {
    try {
        ClaudeCLIProbe::writeAll(bytes, descriptor);
    } catch (const ClaudeUsageClientError&) {
    }
}

}  // namespace

ClaudeCLIProbe::Environment ClaudeCLIProbe::Environment::system() {
    Environment environment;
    environment.homePath = QDir::homePath();
    environment.processEnvironment = QProcessEnvironment::systemEnvironment();
    environment.temporaryPath = QDir::tempPath();
    return environment;
}

ClaudeCLIProbe::ClaudeCLIProbe(Clock& clock, Environment environment)
    : m_clock(clock), m_environment(std::move(environment)) {}

std::optional<QString> ClaudeCLIProbe::resolveClaudeBinary() const {
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
            return candidate;
        }
    }
    return std::nullopt;
}

QString ClaudeCLIProbe::scratchFolderPath() const {
    return QDir(m_environment.temporaryPath).filePath(QStringLiteral("Quotamind-Claude-Probe"));
}

QProcessEnvironment ClaudeCLIProbe::childEnvironment() const {
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

QString ClaudeCLIProbe::prepareScratchFolder() const {
    // The temporary folder is usually shared with other users, and the probe tells `claude` to
    // trust the files in this folder: use it only when it is a real folder of ours that nobody
    // else can write to.
    QDir().mkpath(m_environment.temporaryPath);
    const QString path = scratchFolderPath();
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

QCoro::Task<> ClaudeCLIProbe::touchClaudeAuthPath(QString binary, double timeoutSeconds,
                                                  CancellationToken token) {
    token.throwIfCancelled();
    PseudoTerminal::Options options;
    options.program = binary;
    options.arguments = QStringList{QStringLiteral("--allowed-tools"), QString()};
    options.workingDirectory = prepareScratchFolder();
    options.environment = childEnvironment().toStringList();
    options.rows = terminalRows;
    options.columns = terminalColumns;
    PseudoTerminal terminal(options);

    // Clean-up awaits the clock, which a catch block cannot; keep the failure for afterwards.
    std::exception_ptr failure;
    try {
        QCoro::Task<> conversation = converse(terminal, timeoutSeconds, token);
        co_await conversation;
    } catch (...) {
        failure = std::current_exception();
    }
    QCoro::Task<> ending = cleanUp(terminal);
    co_await ending;
    if (failure) {
        std::rethrow_exception(failure);
    }
}

QCoro::Task<> ClaudeCLIProbe::converse(PseudoTerminal& terminal, double timeoutSeconds,
                                       CancellationToken token) {
    QCoro::Task<> launch = m_clock.sleep(launchWaitSeconds, token);
    co_await launch;
    const int master = terminal.masterDescriptor();
    writeAll(kStatusCommand, master);

    const Timestamp deadline = m_clock.now() + timeoutSeconds;
    Timestamp lastEnter = m_clock.now();
    // The deadline is wall-clock time; the polls also count their own monotonic waits, so a
    // clock set back cannot keep the child running longer than the time-out.
    double polledSeconds = 0.0;
    QByteArray screen;
    while (m_clock.now() < deadline && polledSeconds < timeoutSeconds && terminal.isRunning()) {
        token.throwIfCancelled();
        appendToScreen(screen, readAvailable(master));
        const QByteArray reply = replyForScreen(screen);
        if (!reply.isEmpty()) {
            typeIgnoringFailure(reply, master);
        }
        if (m_clock.now() - lastEnter >= enterIntervalSeconds) {
            typeIgnoringFailure(kEnter, master);
            lastEnter = m_clock.now();
        }
        QCoro::Task<> pause = m_clock.sleep(pollIntervalSeconds, token);
        co_await pause;
        polledSeconds += pollIntervalSeconds;
    }
}

QCoro::Task<> ClaudeCLIProbe::cleanUp(PseudoTerminal& terminal) {
    if (terminal.isRunning()) {
        typeIgnoringFailure(kExitCommand, terminal.masterDescriptor());
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

QByteArray ClaudeCLIProbe::replyForScreen(const QByteArray& output) {
    const QString screen =
        QString::fromUtf8(QByteArrayView(output).last(std::min(output.size(), screenBytes)))
            .toLower();
    if (screen.contains(QLatin1String("do you trust the files in this folder"))) {
        return kTrustAnswer.toByteArray();
    }
    if (screen.contains(QLatin1String("press enter to continue")) ||
        screen.contains(QLatin1String("show claude code status"))) {
        return kEnter.toByteArray();
    }
    return {};
}

void ClaudeCLIProbe::appendToScreen(QByteArray& screen, QByteArrayView more) {
    if (more.size() >= screenBytes) {
        screen = more.last(screenBytes).toByteArray();
        return;
    }
    screen.append(more);
    if (screen.size() > screenBytes) {
        screen.remove(0, screen.size() - screenBytes);
    }
}

QByteArray ClaudeCLIProbe::readAvailable(int descriptor, qsizetype limit) {
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

void ClaudeCLIProbe::writeAll(QByteArrayView bytes, int descriptor) {
    qsizetype written = 0;
    int retries = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(descriptor, bytes.data() + written,
                                      static_cast<size_t>(bytes.size() - written));
        if (count > 0) {
            written += count;
            retries = 0;
            continue;
        }
        const bool tryAgain =
            count == 0 || errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK;
        if (!tryAgain || ++retries > kWriteRetriesWithoutProgress) {
            throw expiredCredentials();
        }
        std::this_thread::sleep_for(kWriteRetryPause);
    }
}
