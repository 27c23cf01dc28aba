// Writes the example renders shown in the documentation: widget_examples FOLDER
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "model/test_usages.h"
#include "widget/widget_layouts.h"

namespace {

const Timestamp kNow = Timestamp::fromUnixSeconds(1767268800);  // 2026-01-01 12:00 UTC

// Codex updated five minutes ago, with its weekly window and, unless left out, its 5-hour one.
AgentUsage codex(bool fiveHour = true) {
    AgentUsage usage = test::usage("codex", "plus",
                                   {test::window(58, 604800, (kNow + 280000).secondsSince2001())});
    if (fiveHour) {
        usage.windows.insert(usage.windows.begin(),
                             test::window(37, 18000, (kNow + 7500).secondsSince2001()));
    }
    usage.updatedAt = kNow - 300;
    return usage;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        qWarning("usage: widget_examples FOLDER");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const struct {
        const char* name;
        WidgetView view;
        WidgetFamily family;
        std::optional<AgentUsage> usage;
        std::optional<std::int64_t> duration;
    } examples[] = {
        {"small", WidgetView::Limit, WidgetFamily::Small, codex(), UsageWindow::kFiveHourSeconds},
        {"medium", WidgetView::Limit, WidgetFamily::Medium, codex(), std::nullopt},
        {"both-limits", WidgetView::BothLimits, WidgetFamily::Medium, codex(), std::nullopt},
        {"both-limits-weekly-only", WidgetView::BothLimits, WidgetFamily::Medium, codex(false),
         std::nullopt},
        {"unavailable-small", WidgetView::Limit, WidgetFamily::Small, std::nullopt, std::nullopt},
        {"unavailable-medium", WidgetView::Limit, WidgetFamily::Medium, std::nullopt, std::nullopt},
    };
    constexpr qreal kScale = 2;
    for (const auto& example : examples) {
        for (const bool dark : {false, true}) {
            const QSizeF size = widgetFamilySize(example.family);
            QImage image((size * kScale).toSize(), QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            painter.scale(kScale, kScale);
            drawWidget(&painter, QRectF(QPointF(), size), example.view, example.family,
                       {kNow, example.usage, example.duration}, {.dark = dark}, kNow);
            painter.end();
            const QString file =
                QString::fromUtf8(example.name) +
                (dark ? QStringLiteral("-dark.png") : QStringLiteral("-light.png"));
            if (!image.save(folder.filePath(file))) {
                qWarning("cannot write %s", qPrintable(folder.filePath(file)));
                return 1;
            }
        }
    }
    return 0;
}
