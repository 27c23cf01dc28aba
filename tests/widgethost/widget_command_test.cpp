#include "widgethost/widget_command.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>

#include "model/shared_snapshot_store.h"
#include "support/temporary_config_home.h"

namespace {

class WidgetCommandTest : public test::TemporaryConfigHome {
protected:
    // Runs the program without a display; returns its exit code, or -1 when it hangs.
    int run(const QStringList& arguments, QByteArray* output = nullptr) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(QUOTAMIND_WIDGETS_PROGRAM), arguments);
        const bool finished = program.waitForFinished(30000);
        if (output != nullptr) {
            *output = program.readAllStandardOutput();
        }
        return finished ? program.exitCode() : -1;
    }
};

QString parseError(const QStringList& arguments) {
    const auto parsed =
        WidgetCommand::parse(QStringList{QStringLiteral("quotamind-widgets")} + arguments);
    const QString* error = std::get_if<QString>(&parsed);
    return error == nullptr ? QString() : *error;
}

}  // namespace

TEST(WidgetCommandParseTest, RefusesWhatTheWidgetsCannotTake) {
    const QString kind = QStringLiteral("QuotamindWidget");
    const QString render = QStringLiteral("render");
    const QString timeline = QStringLiteral("timeline");
    const QStringList refused[] = {
        {render, kind, QStringLiteral("large"), QStringLiteral("out.png")},
        {render, kind, QStringLiteral("small")},
        {timeline, kind, QStringLiteral("--period"), QStringLiteral("daily")},
        {timeline, kind, QStringLiteral("--at"), QStringLiteral("2026-01-01")},
        {render, kind, QStringLiteral("small"), QStringLiteral("--scale"), QStringLiteral("0"),
         QStringLiteral("out.png")},
        {render, kind, QStringLiteral("small"), QStringLiteral("--scale"), QStringLiteral("x"),
         QStringLiteral("out.png")},
        {timeline, kind, QStringLiteral("--color")},
    };
    for (const QStringList& arguments : refused) {
        EXPECT_FALSE(parseError(arguments).isEmpty()) << arguments.join(u' ').toStdString();
    }
    EXPECT_EQ(parseError({timeline, kind, QStringLiteral("--period"), QStringLiteral("fiveHour"),
                          QStringLiteral("--at"), QStringLiteral("2026-01-01T10:00:00+02:00")}),
              QString());
}

TEST_F(WidgetCommandTest, RenderWritesAnImageOfTheFamilySizeAtTheScale) {
    const QString output = path(QStringLiteral("both.png"));
    ASSERT_EQ(run({QStringLiteral("render"), QStringLiteral("QuotamindBothLimitsWidget.v3"),
                   QStringLiteral("medium"), QStringLiteral("--scale"), QStringLiteral("2"),
                   QStringLiteral("--dark"), output}),
              0);
    const QImage image(output);
    EXPECT_EQ(image.size(), QSize(728, 340));
    EXPECT_EQ(qAlpha(image.pixel(364, 170)), 255) << "the card is drawn";

    EXPECT_EQ(run({QStringLiteral("render"), QStringLiteral("QuotamindBothLimitsWidget.v3"),
                   QStringLiteral("small"), output}),
              2)
        << "the both-limits widget has no small size";
}

// A usage updated ten minutes before --at, its 5-hour window resetting in three hours: the
// entry at --at, the stale one 20 minutes and 1 second later, and the reload after 30 minutes.
TEST_F(WidgetCommandTest, TimelinePrintsTheEntriesOfTheStoredSnapshot) {
    const Timestamp at(788918400.0);
    SharedSnapshotStore::save(AgentUsageSnapshot({AgentUsage{
        .windows = {{.usedPercent = 30, .durationSeconds = 18000, .resetDate = at + 10800}},
        .provider = {"codex"},
        .agentName = "Codex",
        .planType = "plus",
        .updatedAt = at - 600,
        .source = UsageSource::LocalDesktop}}));
    QByteArray output;
    ASSERT_EQ(run({QStringLiteral("timeline"), QStringLiteral("QuotamindConfigurableWidget.v3"),
                   QStringLiteral("--agent"), QStringLiteral("codex"), QStringLiteral("--period"),
                   QStringLiteral("fiveHour"), QStringLiteral("--at"),
                   QStringLiteral("2026-01-01T00:00:00Z")},
                  &output),
              0);
    const std::string usage =
        R"({"windows":[{"usedPercent":30,"durationSeconds":18000,"resetDate":788929200}],)"
        R"("provider":"codex","agentName":"Codex","planType":"plus","updatedAt":788917800,)"
        R"("source":"localDesktop"})";
    EXPECT_EQ(output.toStdString(), R"({"kind":"QuotamindConfigurableWidget.v3","entries":[)"
                                    R"({"date":"2026-01-01T00:00:00.000Z","usage":)" +
                                        usage + R"(,"durationSeconds":18000,"lastReadAt":null},)" +
                                        R"({"date":"2026-01-01T00:20:01.000Z","usage":)" + usage +
                                        R"(,"durationSeconds":18000,"lastReadAt":null}],)"
                                        R"("reloadAfter":"2026-01-01T00:30:00.000Z"})"
                                        "\n");
}
