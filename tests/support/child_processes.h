#pragma once

#include <sys/wait.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QString>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <csignal>

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

}  // namespace test
