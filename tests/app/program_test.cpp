#include <gtest/gtest.h>

#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include "app/status_report.h"
#include "fault/headless_program.h"
#include "support/usage_builder.h"
#include "ui/qr_reader.h"

// The program itself: headless with both agents, then the status and pairing commands; and the
// status command's report.

using namespace Qt::StringLiterals;

namespace {

// Runs the program to its end and gives its exit code and output.
std::pair<int, QByteArray> run(const QProcessEnvironment& environment,
                               const QStringList& arguments) {
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(QUOTAMIND_PROGRAM), arguments);
    EXPECT_TRUE(program.waitForFinished(10000));
    return {program.exitCode(), program.readAllStandardOutput()};
}

// The picture a terminal with light text on a dark background shows, four pixels per module.
QImage terminalPicture(const QStringList& lines) {
    QImage image(int(lines.value(0).size()) * 4, int(lines.size()) * 8, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    for (int row = 0; row < lines.size(); ++row) {
        for (int column = 0; column < lines[row].size(); ++column) {
            const QChar cell =
                lines[row][column];  // █ lights both halves, ▀ the upper, ▄ the lower
            for (const int half : {0, 1}) {
                if (cell == QChar(0x2588) || cell == QChar(half == 0 ? 0x2580 : 0x2584)) {
                    painter.fillRect(column * 4, row * 8 + half * 4, 4, 4, Qt::white);
                }
            }
        }
    }
    return image;
}

TEST(HeadlessProgramTest, StoresBothAgentsFollowsLiveUpdatesIsSingleLeavesNoChildAndKeepsItsCode) {
    test::HeadlessProgram program;
    if (program.codexFolder().isEmpty()) {
        GTEST_SKIP() << "no folder here passes the codex trust policy";
    }
    program.start();
    // The first read says 42 %, the live update that follows 55 %.
    EXPECT_TRUE(program.waitForUse(AgentProvider::codex(), 55));
    EXPECT_EQ(program.storedUse(AgentProvider::claude()), 12);

    const QProcessEnvironment& environment = program.environment;
    const auto [statusExit, status] = run(environment, {u"status"_s, u"--json"_s});
    EXPECT_EQ(statusExit, 0);
    EXPECT_TRUE(status.contains("\"usedPercent\":55"));
    if (environment.contains(u"DBUS_SESSION_BUS_ADDRESS"_s)) {
        // A second launch asks the first to show itself and leaves.
        const auto [secondExit, second] = run(environment, {u"--headless"_s});
        EXPECT_EQ(secondExit, 0);
        EXPECT_TRUE(second.contains("already running"));
        EXPECT_TRUE(program.waitForLog("activation requested"));
    }
    program.terminate();

    // The pairing code, made once and kept, as text and as a QR code that scans off a terminal.
    const auto [pairingExit, pairing] = run(environment, {u"pairing"_s});
    EXPECT_EQ(pairingExit, 0);
    EXPECT_EQ(run(environment, {u"pairing"_s}).second, pairing);
    const QStringList lines = QString::fromUtf8(pairing).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_GT(lines.size(), 3);
    EXPECT_TRUE(lines[1].startsWith(u"quotamind://pair?v=1&service=quotamind-"_s));
    if (test::canReadQrCodes()) {  // zbarimg (zbar-tools)
        EXPECT_EQ(test::readQrCode(terminalPicture(lines.mid(2))), lines[1]);
    }
}

// The command line's texts follow the language of the environment, as the desktop's do.
TEST(StatusCommandTest, SpeaksTheLanguageOfTheEnvironment) {
    QTemporaryDir config;
    QProcessEnvironment environment;
    environment.insert(u"XDG_CONFIG_HOME"_s, config.path());
    environment.insert(u"LANGUAGE"_s, u"de"_s);
    environment.insert(u"LANG"_s, u"de_DE.UTF-8"_s);
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(QUOTAMIND_PROGRAM), {u"status"_s});
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(program.readAllStandardError())
                    .startsWith(u"Es sind noch keine Limits gespeichert."_s));
}

const Timestamp kNow = test::kReadAt;
const Timestamp kReset = kNow + 7500.0;

TEST(StatusReportTest, OneLinePerAgentAndWindow) {
    const AgentUsageSnapshot snapshot = test::snapshot(
        {test::usage("codex", {test::fiveHour(28, kReset), test::weekly(95, kReset)}),
         test::usage("claude")});
    // A forecast shows beside its own window instance only.
    const PaceForecasts forecasts{{{{"codex", 18000}, {kNow + 4800, kReset}},
                                   {{"codex", 604800}, {std::nullopt, kReset - 3600}}}};
    EXPECT_EQ(StatusReport::lines(snapshot, kNow, forecasts),
              QStringLiteral("Codex · Plus · 5H · 72% remaining · Resets in 2h 5m · At this pace: "
                             "limit reached in 1h 20m, 45m before the reset\n"
                             "Codex · Plus · 7D · 5% remaining · Resets in 2h 5m\n"
                             "Claude · Plus · Waiting for limits"));
    // Once the reset time has come the old percentage is no longer current.
    EXPECT_EQ(StatusReport::lines(snapshot, kReset).split(QLatin1Char('\n')).front(),
              QStringLiteral("Codex · Plus · 5H · Reset · checking…"));
}

// The used percent of each window, and the bar's text and class (its tooltip, the lines above,
// left out): the class follows the lowest remaining percent.
TEST(StatusReportTest, WaybarClassFollowsTheLowestRemainingPercent) {
    const std::pair<std::vector<std::int64_t>, const char*> rows[] = {
        {{10, 20}, R"({"text":"Codex 80%","class":"normal","percentage":80})"},
        {{75}, R"({"text":"Codex 25%","class":"warning","percentage":25})"},
        {{0, 91}, R"({"text":"Codex 9%","class":"critical","percentage":9})"},
        {{}, R"({"text":"","class":"","percentage":0})"}};
    for (const auto& [used, expected] : rows) {
        std::vector<UsageWindow> windows;
        for (const std::int64_t percent : used) {
            windows.push_back(test::fiveHour(percent, kReset));
        }
        QByteArray json =
            StatusReport::waybar(test::snapshot({test::usage("codex", windows)}), kNow);
        const qsizetype tooltip = json.indexOf(",\"tooltip\"");
        json.remove(tooltip, json.indexOf(",\"class\"") - tooltip);
        EXPECT_EQ(json, QByteArray(expected));
    }
}

}  // namespace
