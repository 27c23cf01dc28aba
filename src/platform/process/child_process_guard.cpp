#include "child_process_guard.h"

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QPointer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// A child killed with SIGKILL ends at once unless the kernel holds it in an uninterruptible
// wait; quitting does not wait longer than this for such a one.
constexpr auto kReapLimit = std::chrono::seconds(2);
constexpr auto kReapPoll = std::chrono::milliseconds(1);

class Registry final {
public:
    // Children still registered when the program exits without a quit.
    ~Registry() { endAll(); }

    void track(pid_t pid, bool group, double graceSeconds) {
        std::scoped_lock lock(m_lock);
        m_children.push_back({pid, group, graceSeconds});
        QCoreApplication* application = QCoreApplication::instance();
        if (application != nullptr && m_application != application) {
            m_application = application;
            QObject::connect(application, &QCoreApplication::aboutToQuit, application,
                             [this] { endAll(); });
        }
    }

    void untrack(pid_t pid) {
        std::scoped_lock lock(m_lock);
        std::erase_if(m_children, [pid](const Child& child) { return child.pid == pid; });
    }

    void endAll() {
        std::vector<Child> children;
        {
            std::scoped_lock lock(m_lock);
            children.swap(m_children);
        }
        double grace = 0;
        for (const Child& child : children) {
            if (child.graceSeconds > 0) {
                send(child, SIGTERM);
                grace = std::max(grace, child.graceSeconds);
            }
        }
        const auto graceEnd = std::chrono::steady_clock::now() +
                              std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                  std::chrono::duration<double>(grace));
        for (Child& child : children) {
            if (child.graceSeconds > 0) {
                child.reaped = reap(child.pid, graceEnd);
            }
        }
        // What is left of a group whose leader ended during the grace goes too.
        for (const Child& child : children) {
            send(child, SIGKILL);
        }
        const auto deadline = std::chrono::steady_clock::now() + kReapLimit;
        for (const Child& child : children) {
            if (!child.reaped) {
                reap(child.pid, deadline);
            }
        }
    }

private:
    struct Child {
        pid_t pid;
        bool group;
        double graceSeconds;
        bool reaped = false;
    };

    // A reaped child's id may be another process's already: only its group is signalled then,
    // which lives on while any of its members does.
    static void send(const Child& child, int signal) {
        if (child.group) {
            ::kill(-child.pid, signal);
        }
        if (!child.reaped) {
            ::kill(child.pid, signal);
        }
    }

    // Whether the child has ended and been reaped by `deadline`.
    static bool reap(pid_t pid, std::chrono::steady_clock::time_point deadline) {
        for (;;) {
            const pid_t result = ::waitpid(pid, nullptr, WNOHANG);
            // ECHILD: the owner (QProcess) reaped it first; it has ended either way.
            if (result == pid || (result < 0 && errno != EINTR)) {
                return true;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(kReapPoll);
        }
    }

    std::mutex m_lock;
    std::vector<Child> m_children;
    QPointer<QCoreApplication> m_application;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

}  // namespace

void ChildProcessGuard::dieWithParent(pid_t parent) noexcept {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The parent may have gone before the request was made: the child then has a new parent
    // already, and nobody left to end it.
    if (::getppid() != parent) {
        ::_exit(127);
    }
}

void ChildProcessGuard::track(pid_t pid, bool group, double terminationGraceSeconds) {
    if (pid > 0) {
        registry().track(pid, group, terminationGraceSeconds);
    }
}

void ChildProcessGuard::signalGroup(pid_t leader, int signal) {
    if (leader > 0) {
        ::kill(-leader, signal);
        ::kill(leader, signal);
    }
}

void ChildProcessGuard::untrack(pid_t pid) {
    registry().untrack(pid);
}

void ChildProcessGuard::endAll() {
    registry().endAll();
}
