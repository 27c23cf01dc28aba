// The Codex app-server session's hot paths: cutting the child's output into lines, and the time
// from a limit-change notification written by the child to the session's onUpdate.
// Run a release build: build/release/bench/codex_app_server_bench
#include <benchmark/benchmark.h>
#include <time.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <vector>

#include "core/system_clock.h"
#include "sources/codex/codex_app_server_session.h"
#include "sources/codex/line_buffer.h"

namespace {

// Output as the session reads it: 64 KiB pieces of lines `lineLength` bytes long plus a line
// feed, about 8 MiB in all and at least four lines.
std::vector<QByteArray> outputOf(qsizetype lineLength) {
    const QByteArray line = QByteArray(lineLength, 'x') + '\n';
    const qsizetype lines = std::max<qsizetype>(4, (8 << 20) / line.size());
    QByteArray all;
    all.reserve(lines * line.size());
    for (qsizetype index = 0; index < lines; ++index) {
        all.append(line);
    }
    std::vector<QByteArray> pieces;
    constexpr qsizetype kPiece = 64 * 1024;
    for (qsizetype offset = 0; offset < all.size(); offset += kPiece) {
        pieces.push_back(all.mid(offset, kPiece));
    }
    return pieces;
}

void lineBufferLines(benchmark::State& state) {
    const std::vector<QByteArray> pieces = outputOf(state.range(0));
    std::int64_t lines = 0;
    for (auto _ : state) {
        LineBuffer buffer;
        for (const QByteArray& piece : pieces) {
            lines += static_cast<std::int64_t>(buffer.appendAndDrainLines(piece).size());
        }
    }
    state.SetItemsProcessed(lines);
    state.counters["lines_per_second"] =
        benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsRate);
}
BENCHMARK(lineBufferLines)->Arg(200)->Arg(LineBuffer::kMaximumMessageSize);

double monotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

QCoro::Task<> follow(std::shared_ptr<CodexAppServerSession> session,
                     CodexAppServerSession::UpdateHandler onUpdate, bool* done) {
    try {
        QCoro::Task<> starting = session->start();
        co_await starting;
        QCoro::Task<std::optional<AgentUsage>> loop =
            session->receiveUsageUpdates(false, std::move(onUpdate), CancellationToken());
        co_await loop;
    } catch (...) {
        // A live loop only ends by an error; here it is the stop below.
    }
    *done = true;
}

// The fake child stamps each notification's reset time with the monotonic clock at writing.
void notificationToUpdate(benchmark::State& state) {
    constexpr int kNotifications = 200;
    QTemporaryDir folder;
    const QString script = folder.filePath(QStringLiteral("script"));
    QFile file(script);
    file.open(QIODevice::WriteOnly);
    file.write(
        "expect initialize\nsend {\"id\":1,\"result\":{}}\nexpect initialized\n"
        "expect account/rateLimits/read\nsend {\"id\":$ID,\"result\":{\"rateLimits\":"
        "{\"primary\":{\"usedPercent\":1,\"windowDurationMins\":300,\"resetsAt\":1}}}}\n"
        "notify-timed 200 2000\n");
    file.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("FAKE_CODEX_SCRIPT"), script);

    std::vector<double> latencies;
    SystemClock clock;
    for (auto _ : state) {
        auto session = CodexAppServerSession::create(
            {QStringLiteral(FAKE_CODEX_APP_SERVER), folder.path(), environment}, clock);
        int received = 0;
        bool done = false;
        std::weak_ptr<CodexAppServerSession> weak = session;
        auto onUpdate = [&latencies, &received, weak](const AgentUsage& usage) {
            const double now = monotonicMicroseconds();
            // The first usage answers the read; the notifications follow.
            if (received++ > 0) {
                latencies.push_back(now - usage.windows.front().resetDate.unixSeconds() / 1e3);
            }
            if (received > kNotifications) {
                weak.lock()->stop();
            }
        };
        QCoro::Task<> task = follow(session, onUpdate, &done);
        QTimer limit;
        limit.start(std::chrono::seconds(30));
        while (!done && limit.isActive()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        }
        session->stop();
    }
    std::sort(latencies.begin(), latencies.end());
    if (!latencies.empty()) {
        state.counters["median_us"] = latencies[latencies.size() / 2];
        state.counters["p90_us"] = latencies[latencies.size() * 9 / 10];
    }
}
BENCHMARK(notificationToUpdate)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
