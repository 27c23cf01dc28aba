#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <vector>

#include "support/run_task.h"

// Looking at child processes from the outside: for tests that must show a child has ended and
// left nothing behind.
namespace test {

// Processes events until `condition` holds, checking it every few milliseconds (for conditions
// that no Qt event announces, such as another process's doings), for at most `limit`.
template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    QTimer tick;
    tick.start(std::chrono::milliseconds(2));
    return processEventsUntil(condition, limit);
}

// The file `name` of /proc/`pid`; empty once the process is gone.
inline QByteArray procFile(int pid, const QString& name) {
    QFile file(QStringLiteral("/proc/%1/").arg(pid) + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The fields of /proc/`pid`/stat after the command, which may hold spaces: state, ppid, ...
inline QList<QByteArray> statFields(int pid) {
    const QByteArray line = procFile(pid, QStringLiteral("stat"));
    return line.mid(line.lastIndexOf(')') + 2).split(' ');
}

// The ids of the processes other than this one for which `matches(pid)` holds.
template <typename Matches>
std::vector<int> processesWhere(Matches matches) {
    std::vector<int> found;
    for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        const int pid = name.toInt(&numeric);
        if (numeric && pid != QCoreApplication::applicationPid() && matches(pid)) {
            found.push_back(pid);
        }
    }
    return found;
}

// Whether the process has ended: exited and reaped (gone) or exited and not reaped (zombie).
inline bool processHasEnded(pid_t pid) {
    const QByteArray state = statFields(pid).value(0);
    return state.isEmpty() || state == "Z";
}

// Whether the process is gone altogether: not running and reaped.
inline bool processIsGone(pid_t pid) {
    return pid > 0 && ::kill(pid, 0) < 0 && errno == ESRCH;
}

// Whether this process has any child, running or ended but not reaped.
inline bool hasChildProcess() {
    siginfo_t info{};
    return ::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0;
}

// The processes whose working folder is `folder`.
inline std::vector<int> processesWorkingIn(const QString& folder) {
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return processesWhere([&](int pid) {
        return QFileInfo(QStringLiteral("/proc/%1/cwd").arg(pid)).symLinkTarget() == canonical;
    });
}

// The running processes whose environment holds `entry` ("NAME=value"). Children inherit the
// environment, so an entry unique to a test finds every process it started.
inline std::vector<int> processesWithEnvironment(const QByteArray& entry) {
    return processesWhere([&](int pid) {
        return procFile(pid, QStringLiteral("environ")).split('\0').contains(entry);
    });
}

// The processes whose parent is this test program, in any state (zombies included).
inline std::vector<int> childProcesses() {
    const QByteArray self = QByteArray::number(QCoreApplication::applicationPid());
    return processesWhere([&](int pid) { return statFields(pid).value(1) == self; });
}

// Waits, with a bound, until no process carries `entry`.
inline bool processesEnd(const QByteArray& entry,
                         std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return waitUntil([&] { return processesWithEnvironment(entry).empty(); }, limit);
}

// For tests that start child processes: each test ends only once its children have exited and
// been reaped, and the objects that watched them have finished.
class ChildProcessTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_TRUE(waitUntil([] { return childProcesses().empty(); })) << "a child was left";
        for (int round = 0; round < 3; ++round) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
};

}  // namespace test
