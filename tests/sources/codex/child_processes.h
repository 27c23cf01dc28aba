#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QList>
#include <QTimer>
#include <chrono>
#include <vector>

#include "support/run_task.h"

namespace test {

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

// Runs the event loop until `condition` holds, for at most `limit`, looking again every 10 ms
// also when no event arrives (for state outside this process: files, other processes).
template <typename Condition>
bool pollUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    QTimer tick;
    tick.start(std::chrono::milliseconds(10));
    return processEventsUntil(condition, limit);
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
    const bool ended = pollUntil([] { return childProcesses().empty(); }, limit);
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return ended;
}

// Waits, with a bound, until no process carries `entry`.
inline bool processesEnd(const QByteArray& entry,
                         std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return pollUntil([&] { return processesWithEnvironment(entry).empty(); }, limit);
}

// For tests that start child processes: each test ends only once its children have.
class ChildProcessTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(childProcessesEnd()) << "a child process was left"; }
};

}  // namespace test
