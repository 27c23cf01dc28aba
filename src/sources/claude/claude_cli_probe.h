#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QCoro/QCoroTask>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <optional>

#include "core/cancellation_token.h"
#include "core/clock.h"

class PseudoTerminal;

// Lets the `claude` command-line program renew its own stored sign-in. It runs `claude` in a
// pseudo-terminal (50 rows x 160 columns) inside a private scratch folder, types "/status",
// answers the screens that can stand in the way and ends the program when the time is up. It
// never reads or writes a token itself.
//
// All waiting goes through the Clock; the probe must outlive the tasks it returns.
class ClaudeCLIProbe final {
public:
    // Where the probe looks and what the child inherits. Production uses system().
    struct Environment {
        QString homePath;
        // The program's own environment; the child's is derived from it.
        QProcessEnvironment processEnvironment;
        // The system temporary folder; the scratch folder is made inside it.
        QString temporaryPath;
        // Installations outside the home folder, tried after the home-relative ones.
        QStringList systemBinaryPaths{QStringLiteral("/opt/homebrew/bin/claude"),
                                      QStringLiteral("/usr/local/bin/claude")};

        static Environment system();
    };

    static constexpr double launchWaitSeconds = 2.0;
    static constexpr double pollIntervalSeconds = 0.06;
    static constexpr double enterIntervalSeconds = 0.8;
    // How long a child has to end after "/exit" and SIGTERM before it is killed.
    static constexpr double terminationGraceSeconds = 1.0;
    // Only this much of the latest output is examined for screens.
    static constexpr qsizetype screenBytes = 16384;
    static constexpr qsizetype readChunkBytes = 8192;
    // At most this much is read per poll, so a child that floods the terminal cannot keep the
    // probe reading; the rest waits in the terminal for the next poll.
    static constexpr qsizetype readLimitBytes = 65536;
    static constexpr unsigned short terminalRows = 50;
    static constexpr unsigned short terminalColumns = 160;

    ClaudeCLIProbe(Clock& clock, Environment environment);
    Q_DISABLE_COPY_MOVE(ClaudeCLIProbe)

    // The first executable regular file among: "CLAUDE_BINARY" of the environment (verbatim),
    // ~/.local/bin/claude, ~/.claude/local/claude, then systemBinaryPaths; nothing otherwise.
    std::optional<QString> resolveClaudeBinary() const;

    // "Quotamind-Claude-Probe" in the temporary folder.
    QString scratchFolderPath() const;
    // The program's environment with every ANTHROPIC_* variable removed, DISABLE_AUTOUPDATER=1
    // and PATH = ~/.local/bin:/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin.
    QProcessEnvironment childEnvironment() const;

    // Runs `binary --allowed-tools ""` in the scratch folder, waits launchWaitSeconds, types
    // "/status" CR, then polls every pollIntervalSeconds until `timeoutSeconds` have passed or the
    // program has ended: each poll answers the screen (replyForScreen) and types CR every
    // enterIntervalSeconds. Completes normally then. Whatever the outcome, the child is ended
    // before the task completes: "/exit" CR and SIGTERM, then SIGKILL after
    // terminationGraceSeconds, and it is reaped.
    //
    // Throws CancelledError when `token` is cancelled; PlatformError when the child cannot be
    // started; ClaudeUsageClientError(expiredCredentials) when the scratch folder is not a private
    // folder of this user or the status command cannot be typed.
    QCoro::Task<> touchClaudeAuthPath(QString binary, double timeoutSeconds,
                                      CancellationToken token);

    // The keystrokes to type for what the program shows: "y" CR for the trust question, CR for
    // "press enter to continue" or "show claude code status", nothing otherwise. Only the last
    // screenBytes of `output` are examined, decoded as UTF-8 (invalid bytes replaced) and
    // compared lower-cased.
    static QByteArray replyForScreen(const QByteArray& output);
    // Appends `more` to `screen` and keeps only its last screenBytes.
    static void appendToScreen(QByteArray& screen, QByteArrayView more);

    // Reads what the non-blocking descriptor has ready, in chunks of readChunkBytes, until a read
    // returns nothing or fails, or `limit` bytes have been read.
    static QByteArray readAvailable(int descriptor, qsizetype limit = readLimitBytes);
    // Writes every byte. EINTR and EAGAIN are retried after 5 ms, for at most one second without
    // progress; any other error, or no progress for that second, throws
    // ClaudeUsageClientError(expiredCredentials). Empty input writes nothing.
    static void writeAll(QByteArrayView bytes, int descriptor);

private:
    QString prepareScratchFolder() const;
    QCoro::Task<> converse(PseudoTerminal& terminal, double timeoutSeconds,
                           CancellationToken token);
    QCoro::Task<> cleanUp(PseudoTerminal& terminal);

    Clock& m_clock;
    Environment m_environment;
};
