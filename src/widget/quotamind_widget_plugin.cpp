#include "quotamind_widget_plugin.h"

QList<WidgetKindInfo> QuotamindWidgetPlugin::kinds() const {
    return {};
}

std::optional<WidgetConfigurationInfo> QuotamindWidgetPlugin::configuration(const QString&) const {
    return std::nullopt;
}

QString QuotamindWidgetPlugin::configurationSummary(const QString&,
                                                    const WidgetConfiguration&) const {
    return {};
}

QList<WidgetAgent> QuotamindWidgetPlugin::agents() const {
    return {};
}

QSizeF QuotamindWidgetPlugin::familySize(WidgetFamily family) const {
    return family == WidgetFamily::small ? QSizeF(170, 170) : QSizeF(364, 170);
}

LimitEntry QuotamindWidgetPlugin::placeholder(const QString&, Timestamp now) const {
    return {.date = now, .usage = std::nullopt, .durationSeconds = std::nullopt};
}

LimitEntry QuotamindWidgetPlugin::snapshot(const QString&, const WidgetConfiguration&, bool,
                                           Timestamp now) const {
    return {.date = now, .usage = std::nullopt, .durationSeconds = std::nullopt};
}

LimitTimeline QuotamindWidgetPlugin::timeline(const QString&, const WidgetConfiguration&,
                                              Timestamp now) const {
    return {.entries = {{.date = now, .usage = std::nullopt, .durationSeconds = std::nullopt}},
            .reloadAfter = now + 3600.0};
}

void QuotamindWidgetPlugin::paint(QPainter&, const QRectF&, const QString&, WidgetFamily,
                                  const LimitEntry&, const WidgetRenderOptions&, Timestamp) const {}

QStringList QuotamindWidgetPlugin::accessibleTexts(const QString&, WidgetFamily, const LimitEntry&,
                                                   Timestamp) const {
    return {};
}
