#pragma once

#include <QCoro/QCoroTask>
#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

#include "core/cancellation_token.h"
#include "core/clock.h"
#include "widget/widget_extension.h"
#include "widgethost/placed_widgets.h"
#include "widgetreload/widget_reload.h"

class GalleryWindow;
class WidgetWindow;

// Shows the placed widgets and keeps each one's timeline: a new widget shows the extension's
// placeholder until its first timeline arrives, then each entry from its date on, and asks for a
// new timeline at the reload date or when the tray program's ReloadTimelines signal names its
// kind. One wait on `clock` is pending at a time, for the earliest instant any widget changes,
// so the host wakes no more often than the timelines say.
//
// Timelines and the agents list are read on a worker (the extension reads the stored snapshot
// from disk); so are the placed widgets, which are saved on every change, one write at a time.
class WidgetHost final : public QObject {
    Q_OBJECT

public:
    static inline const QString& kReloadInterface = WidgetReload::kInterface;
    static inline const QString& kReloadPath = WidgetReload::kPath;
    static inline const QString& kReloadSignal = WidgetReload::kSignal;

    // `extension` and `clock` must outlive the host.
    WidgetHost(const WidgetExtension& extension, Clock& clock, QString settingsFilePath,
               QObject* parent = nullptr);
    ~WidgetHost() override;
    Q_DISABLE_COPY_MOVE(WidgetHost)

    // Reads the placed widgets and shows them; with none placed, opens the gallery. Completes
    // once the windows are shown (their timelines may still be on the way); the host must live
    // until then.
    QCoro::Task<> start();
    // Follows ReloadTimelines on `bus`, and the computer's resume from sleep on `systemBus`
    // (a QTimer stops while the computer sleeps). False when `bus` is not connected.
    bool listen(QDBusConnection bus, QDBusConnection systemBus);

    void place(const QString& kind, WidgetFamily family, QPoint position,
               const WidgetConfiguration& configuration = {});
    // For the program's end, once the event loop has stopped: waits for a write on the way
    // and writes the widgets again when a change came after it.
    void finishSaving();
    void showGallery();

    int widgetCount() const { return static_cast<int>(m_widgets.size()); }
    QList<PlacedWidget> placedWidgets() const;
    WidgetWindow* window(int index) const;
    // How many timelines were asked of the extension since the host started.
    int timelineRequestCount() const { return m_timelineRequests; }

public Q_SLOTS:
    void reloadTimelines(const QString& kind);

Q_SIGNALS:
    // A widget's window shows an entry of a newly received timeline.
    void timelineApplied(int index);
    void quitRequested();

private Q_SLOTS:
    void prepareForSleep(bool sleeping);

private:
    struct Fetched {
        LimitTimeline timeline;
        QList<WidgetAgent> agents;
        QString summary;
    };
    struct Hosted {
        std::uint64_t serial = 0;
        PlacedWidget placed;
        std::unique_ptr<WidgetWindow> window;
        // Once the first answer is in; empty when that answer was a failure.
        std::optional<LimitTimeline> timeline;
        // The configuration in words, read with the timeline: "Show Weekly limit for Codex".
        QString summary;
        // Effective reload date of `timeline`.
        Timestamp reloadDate;
        // The newest request; an older answer that arrives later is dropped.
        std::uint64_t request = 0;
        bool requesting = false;
    };

    static QCoro::Task<> fetchTimeline(QPointer<WidgetHost> host, const WidgetExtension* extension,
                                       std::uint64_t serial, std::uint64_t request, QString kind,
                                       WidgetConfiguration configuration, Timestamp now);
    static QCoro::Task<> saveWidgets(QPointer<WidgetHost> host);

    void addWindow(const PlacedWidget& placed);
    Hosted* find(std::uint64_t serial);
    void requestTimeline(Hosted& hosted);
    // Nothing in `fetched` when the extension failed.
    void applyTimeline(std::uint64_t serial, std::uint64_t request, std::optional<Fetched> fetched);
    void showCurrentEntry(Hosted& hosted, Timestamp now);
    void wake();
    void armWake();
    void showMenu(std::uint64_t serial, QPoint globalPosition);
    void configure(std::uint64_t serial, const WidgetConfiguration& configuration);
    void remove(std::uint64_t serial);
    void widgetsChanged();

    const WidgetExtension& m_extension;
    Clock& m_clock;
    QString m_settingsFilePath;
    std::vector<std::unique_ptr<Hosted>> m_widgets;
    std::uint64_t m_nextSerial = 1;
    QList<WidgetAgent> m_agents;
    CancellationToken m_wakeCancellation;
    QPointer<GalleryWindow> m_gallery;
    bool m_saving = false;
    bool m_saveAgain = false;
    int m_timelineRequests = 0;
};
