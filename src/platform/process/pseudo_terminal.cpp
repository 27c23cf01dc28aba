#include "pseudo_terminal.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/error.h"
#include "platform/process/child_process_guard.h"

namespace {

// What the child reports through the error pipe when it cannot become the program.
struct ChildFailure {
    enum Stage : int { PrepareTerminal, EnterFolder, Execute } stage;
    int error;
};

QString systemMessage(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

void closeQuietly(int& descriptor) {
    if (descriptor >= 0) {
        ::close(descriptor);
        descriptor = -1;
    }
}

// A null-terminated array of C strings that points into `storage`.
std::vector<char*> pointersTo(std::vector<QByteArray>& storage) {
    std::vector<char*> pointers;
    pointers.reserve(storage.size() + 1);
    for (QByteArray& entry : storage) {
        pointers.push_back(entry.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Both sides are close-on-exec from the start, so no child that another thread starts meanwhile
// inherits them. Returns false with errno set.
bool openTerminalPair(int& master, int& slave, const winsize& size) {
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master < 0) {
        return false;
    }
    if (::grantpt(master) < 0 || ::unlockpt(master) < 0) {
        return false;
    }
    slave = ::ioctl(master, TIOCGPTPEER, O_RDWR | O_NOCTTY | O_CLOEXEC);
    return slave >= 0 && ::ioctl(slave, TIOCSWINSZ, &size) == 0;
}

// Runs in the forked child: only async-signal-safe calls until execve.
[[noreturn]] void becomeProgram(pid_t parent, int slave, int errorPipe, const char* folder,
                                const char* program, char* const* argv, char* const* envp) {
    auto fail = [errorPipe](ChildFailure::Stage stage) {
        const ChildFailure failure{stage, errno};
        [[maybe_unused]] const auto written = ::write(errorPipe, &failure, sizeof failure);
        ::_exit(127);
    };
    // Dies with the program, even when the program is killed. The signal follows the thread
    // that forked, which is the main thread here. A parent gone before the call sends nothing.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) < 0 || ::getppid() != parent) {
        ::_exit(127);
    }
    // Signal masks and ignored signals survive exec; the program should start with defaults.
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) {
        ::sigaction(signal, &defaults, nullptr);
    }
    if (::setsid() < 0 || ::ioctl(slave, TIOCSCTTY, 0) < 0) {
        fail(ChildFailure::PrepareTerminal);
    }
    for (int stream = 0; stream <= 2; ++stream) {
        if (::dup2(slave, stream) < 0) {
            fail(ChildFailure::PrepareTerminal);
        }
    }
    // Descriptors the parent opened without close-on-exec must not leak into the program.
    ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    if (::chdir(folder) < 0) {
        fail(ChildFailure::EnterFolder);
    }
    ::execve(program, argv, envp);
    fail(ChildFailure::Execute);
    ::_exit(127);
}

}  // namespace

PseudoTerminal::PseudoTerminal(const Options& options) {
    std::vector<QByteArray> argumentStorage{QFile::encodeName(options.program)};
    for (const QString& argument : options.arguments) {
        argumentStorage.push_back(argument.toLocal8Bit());
    }
    std::vector<QByteArray> environmentStorage;
    for (const QString& entry : options.environment) {
        environmentStorage.push_back(entry.toLocal8Bit());
    }
    const QByteArray program = QFile::encodeName(options.program);
    const QByteArray folder = QFile::encodeName(options.workingDirectory);
    const std::vector<char*> argv = pointersTo(argumentStorage);
    const std::vector<char*> envp = pointersTo(environmentStorage);

    winsize size{};
    size.ws_row = options.rows;
    size.ws_col = options.columns;
    if (!openTerminalPair(m_master, m_slave, size)) {
        const int error = errno;
        closeTerminal();
        throw PlatformError(
            QCoreApplication::translate("PseudoTerminal", "Could not open a pseudo-terminal: %1")
                .arg(systemMessage(error)));
    }

    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) < 0) {
        const int error = errno;
        closeTerminal();
        throw PlatformError(QCoreApplication::translate("PseudoTerminal", "Could not start %1: %2")
                                .arg(options.program, systemMessage(error)));
    }
    const pid_t parent = ::getpid();
    m_pid = ::fork();
    if (m_pid == 0) {
        becomeProgram(parent, m_slave, errorPipe[1], folder.constData(), program.constData(),
                      argv.data(), envp.data());
    }
    const int forkError = errno;
    ::close(errorPipe[1]);
    if (m_pid < 0) {
        ::close(errorPipe[0]);
        closeTerminal();
        throw PlatformError(QCoreApplication::translate("PseudoTerminal", "Could not start %1: %2")
                                .arg(options.program, systemMessage(forkError)));
    }
    // Killed with its session's group, at once, when the program quits before it ended.
    ChildProcessGuard::track(m_pid, true);

    // The pipe closes on a successful exec; otherwise it carries the reason.
    ChildFailure failure{};
    ssize_t received;
    do {
        received = ::read(errorPipe[0], &failure, sizeof failure);
    } while (received < 0 && errno == EINTR);
    ::close(errorPipe[0]);
    if (received == static_cast<ssize_t>(sizeof failure)) {
        kill();
        closeTerminal();
        const QString cause = systemMessage(failure.error);
        switch (failure.stage) {
            case ChildFailure::EnterFolder:
                throw PlatformError(QCoreApplication::translate("PseudoTerminal",
                                                                "Could not enter the folder %1: %2")
                                        .arg(options.workingDirectory, cause));
            case ChildFailure::PrepareTerminal:
                throw PlatformError(QCoreApplication::translate(
                                        "PseudoTerminal", "Could not attach %1 to its terminal: %2")
                                        .arg(options.program, cause));
            case ChildFailure::Execute:
                break;
        }
        throw PlatformError(QCoreApplication::translate("PseudoTerminal", "Could not run %1: %2")
                                .arg(options.program, cause));
    }
}

PseudoTerminal::~PseudoTerminal() {
    kill();
    closeTerminal();
}

bool PseudoTerminal::isRunning() {
    if (m_reaped) {
        return false;
    }
    pid_t result;
    do {
        result = ::waitpid(m_pid, nullptr, WNOHANG);
    } while (result < 0 && errno == EINTR);
    // ECHILD: something else reaped it (SIGCHLD set to be ignored); it has ended either way.
    if (result != 0) {
        markReaped();
    }
    return !m_reaped;
}

void PseudoTerminal::markReaped() {
    m_reaped = true;
    ChildProcessGuard::untrack(m_pid);
}

void PseudoTerminal::signalChild(int signal) const {
    // The child leads its own process group; helpers it started there go with it.
    if (!m_reaped) {
        ChildProcessGuard::signalGroup(m_pid, signal);
    }
}

void PseudoTerminal::terminate() {
    signalChild(SIGTERM);
}

void PseudoTerminal::kill() {
    if (m_reaped || m_pid <= 0) {
        return;
    }
    signalChild(SIGKILL);
    while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    markReaped();
}

void PseudoTerminal::closeTerminal() {
    closeQuietly(m_master);
    closeQuietly(m_slave);
}
