#include "widgethost/widget_command.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "model/shared_snapshot_store.h"
#include "support/temporary_config_home.h"
#include "support/usage_builder.h"

using namespace Qt::StringLiterals;

namespace {

class WidgetCommandTest : public test::TemporaryConfigHome {
protected:
    // Runs the program without a display; its exit code, or -1 when it hangs.
    int run(const QStringList& arguments) {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(u"DISPLAY"_s);
        environment.remove(u"WAYLAND_DISPLAY"_s);
        environment.remove(u"QT_QPA_PLATFORM"_s);
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(QUOTAMIND_WIDGETS_PROGRAM), arguments);
        const bool finished = program.waitForFinished(30000);
        m_output = program.readAllStandardOutput();
        return finished ? program.exitCode() : -1;
    }
    QByteArray m_output;
};

// A large family, an unknown period or option, a scale that is no number.
TEST(WidgetCommandParseTest, RefusesWhatTheWidgetsCannotTake) {
    for (const char* refused :
         {"render QuotamindWidget large out.png", "timeline QuotamindWidget --period daily",
          "render QuotamindWidget small --scale x out.png", "timeline QuotamindWidget --color"}) {
        const QStringList arguments =
            (u"quotamind-widgets "_s + QLatin1String(refused)).split(u' ');
        EXPECT_TRUE(std::holds_alternative<QString>(WidgetCommand::parse(arguments))) << refused;
    }
}

TEST_F(WidgetCommandTest, RenderWritesAnImageOfTheFamilySizeAtTheScale) {
    const QString output = path(u"both.png"_s);
    ASSERT_EQ(
        run(u"render QuotamindBothLimitsWidget.v3 medium --scale 2 --dark"_s.split(u' ') << output),
        0);
    const QImage image(output);
    EXPECT_EQ(image.size(), QSize(728, 340));
    EXPECT_EQ(qAlpha(image.pixel(364, 170)), 255) << "the card is drawn";
    EXPECT_EQ(run(u"render QuotamindBothLimitsWidget.v3 small"_s.split(u' ') << output), 2)
        << "the both-limits widget has no small size";
}

// A usage updated ten minutes before --at, its 5-hour window resetting in three hours: the
// entry at --at, the stale one 20 minutes and 1 second later, and the reload after 30 minutes.
TEST_F(WidgetCommandTest, TimelinePrintsTheEntriesOfTheStoredSnapshot) {
    SharedSnapshotStore::save(test::snapshot({test::usage(
        "codex", {test::fiveHour(30, test::kReadAt + 10800)}, Timestamp(788918400) - 600)}));
    ASSERT_EQ(run(u"timeline QuotamindConfigurableWidget.v3 --agent codex --period fiveHour --at "
                  "2026-01-01T00:00:00Z"_s.split(u' ')),
              0);
    const QJsonObject timeline = QJsonDocument::fromJson(m_output).object();
    const QJsonArray entries = timeline[u"entries"_s].toArray();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0][u"date"_s], u"2026-01-01T00:00:00.000Z"_s);
    EXPECT_EQ(entries[1][u"date"_s], u"2026-01-01T00:20:01.000Z"_s);
    EXPECT_EQ(timeline[u"reloadAfter"_s], u"2026-01-01T00:30:00.000Z"_s);
}

}  // namespace
