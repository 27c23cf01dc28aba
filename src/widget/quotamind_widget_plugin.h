#pragma once

#include <QObject>

#include "widget/limit_providers.h"
#include "widget/widget_extension.h"

// The plugin's entry point: the object QPluginLoader creates. It reads the shared container.
class QuotamindWidgetPlugin final : public QObject, public WidgetExtension {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QuotamindWidgetExtension_iid)
    Q_INTERFACES(WidgetExtension)
    Q_DISABLE_COPY_MOVE(QuotamindWidgetPlugin)

public:
    QuotamindWidgetPlugin();

    QList<WidgetKindInfo> kinds() const override;
    std::optional<WidgetConfigurationInfo> configuration(const QString& kind) const override;
    QString configurationSummary(const QString& kind,
                                 const WidgetConfiguration& configuration) const override;
    QList<WidgetAgent> agents() const override;
    QSizeF familySize(WidgetFamily family) const override;
    LimitEntry placeholder(const QString& kind, Timestamp now) const override;
    LimitEntry snapshot(const QString& kind, const WidgetConfiguration& configuration,
                        bool isPreview, Timestamp now) const override;
    LimitTimeline timeline(const QString& kind, const WidgetConfiguration& configuration,
                           Timestamp now) const override;
    void paint(QPainter& painter, const QRectF& rect, const QString& kind, WidgetFamily family,
               const LimitEntry& entry, const WidgetRenderOptions& options,
               Timestamp drawingTime) const override;
    QStringList accessibleTexts(const QString& kind, WidgetFamily family, const LimitEntry& entry,
                                Timestamp drawingTime) const override;

private:
    // Nothing for a kind this plugin does not offer.
    const LimitProvider* provider(const QString& kind) const;

    WidgetAgentQuery m_agents;
    LegacyLimitProvider m_legacy;
    ConfigurableLimitProvider m_configurable;
    BothLimitsProvider m_bothLimits;
};
