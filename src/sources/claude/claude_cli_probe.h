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

// What the probe types at each poll of the terminal, and when it stops. It only decides; the
// probe reads and writes the terminal. Pure, so every screen and timing is one table of polls.
class ClaudeProbeConversation final {
public:
    static constexpr double enterIntervalSeconds = 0.8;
    // Only this much of the latest output is examined for screens.
    static constexpr qsizetype screenBytes = 16384;

    struct Step {
        QByteArray keystrokes;
        bool finished = false;
    };

    explicit ClaudeProbeConversation(double timeoutSeconds) : m_timeoutSeconds(timeoutSeconds) {}

    // One poll, `elapsedSeconds` after the status command was typed, with what the terminal
    // printed since the previous poll. Finished, typing nothing, once the time-out has passed or
    // the child has ended. Otherwise the answer to what the last screenBytes show (decoded as
    // UTF-8 with invalid bytes replaced, compared lower-cased): "y" CR for the trust question, CR
    // for "press enter to continue" or "show claude code status"; then one more CR when
    // enterIntervalSeconds have passed since the previous periodic one.
    Step poll(QByteArrayView output, double elapsedSeconds, bool childRunning);

private:
    double m_timeoutSeconds;
    double m_lastEnterSeconds = 0.0;
    QByteArray m_screen;
};

// Lets the `claude` command-line program renew its own stored sign-in. It runs `claude` in a
// pseudo-terminal (50 rows x 160 columns) inside a private scratch folder, types "/status",
// answers the screens that can stand in the way and ends the program when the time is up. It
// never reads or writes a token itself.
//
// All waiting goes through the Clock and nothing blocks the thread; the probe must outlive the
// tasks it returns.
class ClaudeCliProbe final {
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
    // How long a child has to end after "/exit" and SIGTERM before it is killed.
    static constexpr double terminationGraceSeconds = 1.0;
    static constexpr qsizetype readChunkBytes = 8192;
    // At most this much is read per poll, so a child that floods the terminal cannot keep the
    // probe reading; the rest waits in the terminal for the next poll.
    static constexpr qsizetype readLimitBytes = 65536;
    static constexpr unsigned short terminalRows = 50;
    static constexpr unsigned short terminalColumns = 160;

    ClaudeCliProbe(Clock& clock, Environment environment);
    Q_DISABLE_COPY_MOVE(ClaudeCliProbe)

    // The first executable regular file among: "CLAUDE_BINARY" of the environment,
    // ~/.local/bin/claude, ~/.claude/local/claude, then systemBinaryPaths; nothing otherwise.
    // The path is made absolute against the current folder, as the child runs in another one.
    // It looks at the disk: call it on a worker thread.
    std::optional<QString> resolveClaudeBinary() const;

    // "Quotamind-Claude-Probe" in the temporary folder.
    QString scratchFolderPath() const;
    // The program's environment with every ANTHROPIC_* variable removed, DISABLE_AUTOUPDATER=1
    // and PATH = ~/.local/bin:/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin.
    QProcessEnvironment childEnvironment() const;

    // Runs `binary --allowed-tools ""` in the scratch folder (prepared on a worker thread; the
    // child is started on the calling thread, which must be the main one), waits
    // launchWaitSeconds, types "/status" CR, then polls every pollIntervalSeconds, typing what
    // ClaudeProbeConversation says, until it is finished. Its time is wall-clock time but never
    // less than the polls' own waits, so a clock set back cannot extend it. Keystrokes that a
    // full terminal does not take are typed at the next polls; nothing waits for the terminal.
    // Whatever the outcome, the child is ended before the task completes: "/exit" CR and
    // SIGTERM, then SIGKILL after terminationGraceSeconds, and it is reaped.
    //
    // Throws CancelledError when `token` is cancelled; PlatformError when the child cannot be
    // started; ClaudeUsageClientError(expiredCredentials) when the scratch folder is not a private
    // folder of this user or typing the status command fails.
    QCoro::Task<> touchClaudeAuthPath(QString binary, double timeoutSeconds,
                                      CancellationToken token);

    // Reads what the non-blocking descriptor has ready, in chunks of readChunkBytes, until a read
    // returns nothing or fails, or `limit` bytes have been read.
    static QByteArray readAvailable(int descriptor, qsizetype limit = readLimitBytes);
    // Writes what the non-blocking descriptor takes now and returns how many bytes that was (0
    // when it is full); it never waits. Any error but EAGAIN throws
    // ClaudeUsageClientError(expiredCredentials).
    static qsizetype writeAvailable(QByteArrayView bytes, int descriptor);

private:
    QString prepareScratchFolder() const;
    QCoro::Task<> converse(PseudoTerminal& terminal, double timeoutSeconds,
                           CancellationToken token);
    QCoro::Task<> cleanUp(PseudoTerminal& terminal);

    Clock& m_clock;
    Environment m_environment;
};
