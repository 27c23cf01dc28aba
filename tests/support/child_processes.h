#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QString>
#include <QTimer>
#include <cerrno>
#include <chrono>
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

// Whether the process has ended: exited and reaped (gone) or exited and not reaped (zombie).
inline bool processHasEnded(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return true;
    }
    const QByteArray line = stat.readAll();
    const qsizetype nameEnd = line.lastIndexOf(')');
    return nameEnd < 0 || line.mid(nameEnd + 2, 1) == "Z";
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
inline QList<int> processesWorkingIn(const QString& folder) {
    QList<int> found;
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool isNumber = false;
        const int pid = entry.toInt(&isNumber);
        if (isNumber &&
            QFileInfo(QStringLiteral("/proc/%1/cwd").arg(pid)).symLinkTarget() == canonical) {
            found.append(pid);
        }
    }
    return found;
}

// The ids of the running processes whose environment holds `entry` ("NAME=value"). Children
// inherit the environment, so an entry unique to a test finds every process it started.
inline std::vector<int> processesWithEnvironment(const QByteArray& entry) {
    std::vector<int> found;
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& name : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const int pid = name.toInt(&numeric);
        if (!numeric || pid == QCoreApplication::applicationPid()) {
            continue;
        }
        QFile environ(proc.filePath(name + QStringLiteral("/environ")));
        if (!environ.open(QIODevice::ReadOnly)) {
            continue;
        }
        if (environ.readAll().split('\0').contains(entry)) {
            found.push_back(pid);
        }
    }
    return found;
}

// The processes whose parent is this test program, in any state (zombies included).
inline std::vector<int> childProcesses() {
    std::vector<int> children;
    const QByteArray self = QByteArray::number(QCoreApplication::applicationPid());
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& name : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(proc.filePath(name + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        // "pid (command) state ppid ...": the command may hold spaces, so read after its ')'.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1] == self) {
            children.push_back(name.toInt());
        }
    }
    return children;
}

// Waits, with a bound, until every child of this program has exited and been reaped, then lets
// the objects that watched them finish, so that a test leaves no process and no memory behind.
inline bool childProcessesEnd(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const bool ended = waitUntil([] { return childProcesses().empty(); }, limit);
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return ended;
}

// Waits, with a bound, until no process carries `entry`.
inline bool processesEnd(const QByteArray& entry,
                         std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return waitUntil([&] { return processesWithEnvironment(entry).empty(); }, limit);
}

// For tests that start child processes: each test ends only once its children have.
class ChildProcessTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(childProcessesEnd()) << "a child process was left"; }
};

}  // namespace test
