#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
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

// Waits, with a bound, until no process carries `entry`.
inline bool processesEnd(const QByteArray& entry,
                         std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    return pollUntil([&] { return processesWithEnvironment(entry).empty(); }, limit);
}

}  // namespace test
