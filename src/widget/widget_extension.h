#pragma once

#include <QList>
#include <QObject>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QtPlugin>
#include <cstdint>
#include <optional>

#include "core/timestamp.h"
#include "model/agent_usage.h"
#include "model/pace_forecast.h"

class QPainter;

// The interface between the widget plugin (QuotamindWidget) and a widget host. The host links
// quotamind_model and quotamind_core for these value types but never the plugin: it loads the
// plugin with QPluginLoader and casts its instance to WidgetExtension.
//
// Every call is synchronous and safe from any thread. placeholder() and paint() touch no file;
// snapshot(), timeline(), agents() and configurationSummary() read the stored snapshot (one small
// preference file) afresh, so a host that must not wait on the disk calls them from a worker.

enum class WidgetFamily { Small, Medium };

// "small" / "medium", the names hosts use on their command lines and in their preferences.
inline QString widgetFamilyName(WidgetFamily family) {
    return family == WidgetFamily::Small ? QStringLiteral("small") : QStringLiteral("medium");
}
inline std::optional<WidgetFamily> widgetFamilyFromName(const QString& name) {
    if (name == QLatin1String("small")) {
        return WidgetFamily::Small;
    }
    if (name == QLatin1String("medium")) {
        return WidgetFamily::Medium;
    }
    return std::nullopt;
}

// One widget kind as the gallery lists it.
struct WidgetKindInfo {
    enum class Configuration {
        None,        // nothing to choose
        Limit,       // an agent and a limit period
        BothLimits,  // an agent
    };

    // The persistent identifier of placed widgets, e.g. "QuotamindConfigurableWidget.v3".
    QString kind;
    QString displayName;
    QString description;
    QList<WidgetFamily> families;
    // The host may leave out the card background (WidgetRenderOptions::showsBackground).
    bool removableBackground = true;
    Configuration configuration = Configuration::None;
};

// A placed widget's choices. Unset values take the defaults: the first agent of the stored
// snapshot and the weekly period. An unknown period raw value counts as unset.
struct WidgetConfiguration {
    // The provider raw value of the chosen agent, e.g. "codex".
    std::optional<QString> agentId;
    // "fiveHour" or "weekly"; only the limit configuration uses it.
    std::optional<QString> period;

    bool operator==(const WidgetConfiguration&) const = default;
};

// One point of a timeline: what to show from `date` on. `date` is also the reference time of
// the relative texts drawn for the entry.
struct LimitEntry {
    Timestamp date;
    // Absent: nothing to show (the widget draws its unavailable state).
    std::optional<AgentUsage> usage;
    // The window to show; absent for the usage's preferred window or when the layout shows both.
    std::optional<std::int64_t> durationSeconds;
    // The tray program's last successful read of the usage's agent, from the shared container;
    // absent when none is stored. Staleness counts from it (lastReadOf).
    std::optional<Timestamp> lastReadAt = std::nullopt;
    // The pace forecasts of the usage's agent, from the shared container; the medium layout
    // shows the shown window's.
    PaceForecasts forecasts = {};

    bool operator==(const LimitEntry&) const = default;
};

// Show each entry from its date on; ask for a new timeline at reloadAfter.
struct LimitTimeline {
    QList<LimitEntry> entries;
    Timestamp reloadAfter;

    bool operator==(const LimitTimeline&) const = default;
};

// An agent the user can choose; shown by its name alone.
struct WidgetAgent {
    QString id;
    QString name;

    bool operator==(const WidgetAgent&) const = default;
};

// A choice for the limit parameter: the raw value and its display name ("Weekly limit").
struct WidgetPeriodOption {
    QString id;
    QString name;
};

// The texts of a kind's configuration, for the host's configuration menu.
struct WidgetConfigurationInfo {
    QString title;                 // "Quotamind"
    QString agentParameterTitle;   // "Agent"
    QString periodParameterTitle;  // "Limit"; empty when the kind has no period parameter
    QList<WidgetPeriodOption> periods;
    QString defaultPeriod;  // "weekly"; empty when the kind has no period parameter
};

struct WidgetRenderOptions {
    bool dark = false;
    // False when the host removed the container background: only the content is drawn.
    bool showsBackground = true;
};

class WidgetExtension {
public:
    virtual ~WidgetExtension() = default;

    // The kinds in gallery order.
    virtual QList<WidgetKindInfo> kinds() const = 0;
    // Nothing for a kind without configuration (and for an unknown kind).
    virtual std::optional<WidgetConfigurationInfo> configuration(const QString& kind) const = 0;
    // "Show Weekly limit for Codex"; empty for a kind without configuration.
    virtual QString configurationSummary(const QString& kind,
                                         const WidgetConfiguration& configuration) const = 0;
    // The agents of the stored snapshot, in its order; the first one is the default.
    virtual QList<WidgetAgent> agents() const = 0;

    // The natural size of a family in logical pixels; paint() lays out any rectangle.
    virtual QSizeF familySize(WidgetFamily family) const = 0;

    // An entry to draw while nothing else is available; reads nothing.
    virtual LimitEntry placeholder(const QString& kind, Timestamp now) const = 0;
    // One entry for a transient display; the gallery passes isPreview = true for sample data.
    virtual LimitEntry snapshot(const QString& kind, const WidgetConfiguration& configuration,
                                bool isPreview, Timestamp now) const = 0;
    // The entries from now on and when to ask again. Unknown kinds give one empty entry.
    virtual LimitTimeline timeline(const QString& kind, const WidgetConfiguration& configuration,
                                   Timestamp now) const = 0;

    // Draws `entry` into `rect` (logical pixels; scale the painter for device pixels). Texts
    // about time are relative to entry.date, except "Updated", relative to drawingTime.
    virtual void paint(QPainter& painter, const QRectF& rect, const QString& kind,
                       WidgetFamily family, const LimitEntry& entry,
                       const WidgetRenderOptions& options, Timestamp drawingTime) const = 0;
    // The accessibility labels of what paint() draws for the same arguments, in reading order
    // (one per accessibility element), for the host's accessible name and for tests.
    virtual QStringList accessibleTexts(const QString& kind, WidgetFamily family,
                                        const LimitEntry& entry, Timestamp drawingTime) const = 0;
};

#define QuotamindWidgetExtension_iid "com.brindlecove.Quotamind.WidgetExtension/3"
Q_DECLARE_INTERFACE(WidgetExtension, QuotamindWidgetExtension_iid)
