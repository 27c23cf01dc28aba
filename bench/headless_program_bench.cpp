// The running program as a user keeps it: resident memory after start-up, context switches per
// minute while idle between refreshes, and the time from a limit change written by the Codex
// app-server to the snapshot saved in the shared store.
// Run a release build: build/release/bench/headless_program_bench [idle seconds, default 60]
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "model/shared_snapshot_store.h"
#include "sources/codex/trusted_codex_binary_locator.h"

namespace {

constexpr int kNotifications = 50;

double monotonicMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// A numeric field of a /proc status file.
long statusField(const QString& path, const QByteArray& field) {
    QFile status(path);
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':')) {
            return line.mid(field.size() + 1).trimmed().split(' ').front().toLong();
        }
    }
    return 0;
}

long residentKilobytes(qint64 pid) {
    return statusField(QStringLiteral("/proc/%1/status").arg(pid), "VmRSS");
}

// Summed over the process's threads.
long contextSwitches(qint64 pid) {
    long total = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString path = tasks.filePath(task) + QStringLiteral("/status");
        total += statusField(path, "voluntary_ctxt_switches") +
                 statusField(path, "nonvoluntary_ctxt_switches");
    }
    return total;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 60;

    // The fake app-server must sit where the codex trust policy accepts it.
    QTemporaryDir codexFolder(QStringLiteral(QUOTAMIND_BUILD_DIR "/codex-XXXXXX"));
    const QString codex = codexFolder.filePath(QStringLiteral("codex"));
    QFile::copy(QStringLiteral(FAKE_CODEX_APP_SERVER), codex);
    ::chmod(QFile::encodeName(codexFolder.path()).constData(), 0700);
    if (!TrustedCodexBinaryLocator::verifyCode(codex, QStringLiteral("codex"))) {
        std::fprintf(stderr, "the build folder does not pass the codex trust policy\n");
        return 1;
    }
    QTemporaryDir home;
    QFile script(home.filePath(QStringLiteral("script")));
    script.open(QIODevice::WriteOnly);
    script.write(QStringLiteral(
                     "expect initialize\nsend {\"id\":$ID,\"result\":{}}\nexpect initialized\n"
                     "expect account/rateLimits/read\n"
                     "send {\"id\":$ID,\"result\":{\"rateLimits\":{\"primary\":{\"usedPercent\":1,"
                     "\"windowDurationMins\":300,\"resetsAt\":1}}}}\n"
                     "notify-timed %1 100000\n")
                     .arg(kNotifications)
                     .toUtf8());
    script.close();

    const QString configHome = home.filePath(QStringLiteral(".config"));
    QDir().mkpath(configHome + QStringLiteral("/brindlecove"));
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"),
                       codexFolder.path() + QStringLiteral(":/usr/bin:/bin"));
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    environment.insert(QStringLiteral("FAKE_CODEX_SCRIPT"), script.fileName());

    const int watch = inotify_init1(IN_CLOEXEC);
    inotify_add_watch(watch,
                      QFile::encodeName(configHome + QStringLiteral("/brindlecove")).constData(),
                      IN_MOVED_TO | IN_CLOSE_WRITE);
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(QUOTAMIND_PROGRAM), {QStringLiteral("--headless")});
    program.waitForStarted();

    const Preferences shared(configHome +
                             QStringLiteral("/brindlecove/group.com.brindlecove.Quotamind.conf"));
    std::vector<double> latencies;
    std::optional<long> rssAfterStart;
    double lastWritten = 0;
    const double deadline = monotonicMilliseconds() + 30000;
    while (static_cast<int>(latencies.size()) < kNotifications &&
           monotonicMilliseconds() < deadline) {
        pollfd descriptor{watch, POLLIN, 0};
        if (::poll(&descriptor, 1, 500) <= 0) {
            continue;
        }
        char events[4096];
        [[maybe_unused]] const ssize_t read = ::read(watch, events, sizeof events);
        const double now = monotonicMilliseconds();
        const auto snapshot = SharedSnapshotStore::loadSnapshot(shared);
        const auto codexUsage = snapshot ? (*snapshot)[AgentProvider::codex()] : std::nullopt;
        if (!codexUsage || codexUsage->windows.empty()) {
            continue;
        }
        if (!rssAfterStart) {
            rssAfterStart = residentKilobytes(program.processId());
        }
        // The fake writes the monotonic clock, in nanoseconds, as the reset time.
        const double written = codexUsage->windows.front().resetDate.unixSeconds() / 1e6;
        if (written > 1e6 && written != lastWritten) {
            latencies.push_back(now - written);
            lastWritten = written;
        }
    }
    const long switchesBefore = contextSwitches(program.processId());
    QThread::sleep(static_cast<unsigned long>(idleSeconds));
    const long switchesAfter = contextSwitches(program.processId());
    const long rssIdle = residentKilobytes(program.processId());
    program.terminate();
    program.waitForFinished();

    std::sort(latencies.begin(), latencies.end());
    std::printf("resident memory after start-up: %.1f MB (after %d s idle: %.1f MB)\n",
                static_cast<double>(rssAfterStart.value_or(0)) / 1024.0, idleSeconds,
                static_cast<double>(rssIdle) / 1024.0);
    std::printf("context switches while idle: %.1f per minute\n",
                static_cast<double>(switchesAfter - switchesBefore) * 60.0 / idleSeconds);
    if (!latencies.empty()) {
        std::printf("live update to saved snapshot: median %.2f ms, max %.2f ms (%zu updates)\n",
                    latencies[latencies.size() / 2], latencies.back(), latencies.size());
    }
    return 0;
}
