#pragma once

#include <sys/types.h>

#include <QString>
#include <QStringList>
#include <QtGlobal>

// A child program running in a pseudo-terminal of its own. The child leads a new session whose
// controlling terminal is the slave side, which is also its standard input, output and error;
// the parent talks to it through the master descriptor, which is non-blocking.
//
// The object owns the child: the destructor kills a child that has not been reaped yet (SIGKILL
// to its process group) and reaps it, so neither a running child nor a zombie outlives the
// object. The child is also killed when this program dies without destroying the object (it
// gets SIGKILL when the thread that created it ends), so create it on the main thread, and with
// its group, at once, when the program quits first (ChildProcessGuard). Both
// sides of the terminal are close-on-exec from the moment they are opened, so no other child
// inherits them. Use it from one thread.
class PseudoTerminal final {
public:
    struct Options {
        // The executable, run as it is (no search in PATH); it is also argv[0].
        QString program;
        QStringList arguments;
        QString workingDirectory;
        // The child's whole environment, as NAME=value entries.
        QStringList environment;
        unsigned short rows = 50;
        unsigned short columns = 160;
    };

    // Opens the terminal pair and starts the child; returns once the program has been executed.
    // Throws PlatformError when the pair cannot be opened, the process cannot be forked, the
    // working folder cannot be entered or the program cannot be executed. Nothing is left behind
    // then.
    explicit PseudoTerminal(const Options& options);
    ~PseudoTerminal();
    Q_DISABLE_COPY_MOVE(PseudoTerminal)

    // The master side, or -1 after closeTerminal().
    int masterDescriptor() const { return m_master; }
    pid_t processId() const { return m_pid; }

    // Whether the child still runs. Reaps it without blocking once it has ended.
    bool isRunning();

    // Sends SIGTERM to the child and to its process group, unless it has been reaped.
    void terminate();
    // Sends SIGKILL to the child and its process group, then waits for it to end and reaps it.
    // A killed process ends at once, so the wait is short.
    void kill();

    // Closes the master, then the slave; errors are ignored. Calling it again does nothing.
    void closeTerminal();

private:
    void signalChild(int signal) const;
    void markReaped();

    int m_master = -1;
    int m_slave = -1;
    pid_t m_pid = -1;
    bool m_reaped = false;
};
