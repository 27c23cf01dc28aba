#include "placed_widgets.h"

#include <QSettings>

#include "core/preferences.h"

namespace PlacedWidgets {

namespace {

const QString kArray = QStringLiteral("placedWidgets.v1");
const QString kKind = QStringLiteral("kind");
const QString kFamily = QStringLiteral("family");
const QString kAgent = QStringLiteral("agent");
const QString kPeriod = QStringLiteral("period");
const QString kX = QStringLiteral("x");
const QString kY = QStringLiteral("y");

std::optional<QString> optionalString(const QSettings& settings, const QString& key) {
    const QString value = settings.value(key).toString();
    return value.isEmpty() ? std::nullopt : std::optional<QString>(value);
}

}  // namespace

QString defaultFilePath() {
    return Preferences::directory() + QStringLiteral("/QuotamindWidgets.conf");
}

QList<PlacedWidget> load(const QString& filePath) {
    QSettings settings(filePath, QSettings::IniFormat);
    QList<PlacedWidget> widgets;
    const int count = settings.beginReadArray(kArray);
    for (int index = 0; index < count; ++index) {
        settings.setArrayIndex(index);
        const QString kind = settings.value(kKind).toString();
        const std::optional<WidgetFamily> family =
            widgetFamilyFromName(settings.value(kFamily).toString());
        if (kind.isEmpty() || !family) {
            continue;
        }
        widgets.append(PlacedWidget{
            .kind = kind,
            .family = *family,
            .configuration = {.agentId = optionalString(settings, kAgent),
                              .period = optionalString(settings, kPeriod)},
            .position = QPoint(settings.value(kX).toInt(), settings.value(kY).toInt()),
        });
    }
    settings.endArray();
    return widgets;
}

void save(const QString& filePath, const QList<PlacedWidget>& widgets) {
    QSettings settings(filePath, QSettings::IniFormat);
    settings.remove(kArray);
    settings.beginWriteArray(kArray, static_cast<int>(widgets.size()));
    for (int index = 0; index < widgets.size(); ++index) {
        const PlacedWidget& widget = widgets[index];
        settings.setArrayIndex(index);
        settings.setValue(kKind, widget.kind);
        settings.setValue(kFamily, widgetFamilyName(widget.family));
        settings.setValue(kAgent, widget.configuration.agentId.value_or(QString()));
        settings.setValue(kPeriod, widget.configuration.period.value_or(QString()));
        settings.setValue(kX, widget.position.x());
        settings.setValue(kY, widget.position.y());
    }
    settings.endArray();
    settings.sync();
}

}  // namespace PlacedWidgets
