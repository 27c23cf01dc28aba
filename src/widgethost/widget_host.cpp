#include "widget_host.h"

#include <QActionGroup>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QThreadPool>
#include <algorithm>
#include <exception>

#include "core/time_limit.h"
#include "core/worker.h"
#include "widgethost/gallery_window.h"
#include "widgethost/wake_schedule.h"
#include "widgethost/widget_window.h"

namespace {

std::vector<Timestamp> entryDates(const LimitTimeline& timeline) {
    std::vector<Timestamp> dates;
    dates.reserve(static_cast<std::size_t>(timeline.entries.size()));
    for (const LimitEntry& entry : timeline.entries) {
        dates.push_back(entry.date);
    }
    return dates;
}

}  // namespace

WidgetHost::WidgetHost(const WidgetExtension& extension, Clock& clock, QString settingsFilePath,
                       QObject* parent)
    : QObject(parent),
      m_extension(extension),
      m_clock(clock),
      m_settingsFilePath(std::move(settingsFilePath)) {}

WidgetHost::~WidgetHost() {
    m_wakeCancellation.cancel();
    if (m_gallery) {
        m_gallery->disconnect(this);
        delete m_gallery.data();
    }
}

QCoro::Task<> WidgetHost::start() {
    QCoro::Task<QList<PlacedWidget>> loading =
        runOnWorker([path = m_settingsFilePath] { return PlacedWidgets::load(path); });
    const QList<PlacedWidget> stored = co_await loading;
    const QList<WidgetKindInfo> kinds = m_extension.kinds();
    for (const PlacedWidget& placed : stored) {
        // A kind or family the extension no longer offers is dropped at the next save.
        const bool offered = std::any_of(kinds.begin(), kinds.end(), [&](const auto& info) {
            return info.kind == placed.kind && info.families.contains(placed.family);
        });
        if (offered) {
            addWindow(placed);
        }
    }
    if (m_widgets.empty()) {
        showGallery();
    }
}

bool WidgetHost::listen(QDBusConnection bus, QDBusConnection systemBus) {
    systemBus.connect(QStringLiteral("org.freedesktop.login1"),
                      QStringLiteral("/org/freedesktop/login1"),
                      QStringLiteral("org.freedesktop.login1.Manager"),
                      QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
    return bus.isConnected() && bus.connect(QString(), kReloadPath, kReloadInterface, kReloadSignal,
                                            this, SLOT(reloadTimelines(QString)));
}

void WidgetHost::place(const QString& kind, WidgetFamily family, QPoint position,
                       const WidgetConfiguration& configuration) {
    addWindow(PlacedWidget{
        .kind = kind, .family = family, .configuration = configuration, .position = position});
    widgetsChanged();
}

void WidgetHost::finishSaving() {
    QThreadPool::globalInstance()->waitForDone();
    if (m_saving) {
        PlacedWidgets::save(m_settingsFilePath, placedWidgets());
        m_saving = false;
    }
}

void WidgetHost::showGallery() {
    if (!m_gallery) {
        m_gallery = new GalleryWindow(m_extension, m_clock);
        connect(m_gallery, &GalleryWindow::placeRequested, this,
                [this](const QString& kind, WidgetFamily family) {
                    const QSize size = m_extension.familySize(family).toSize();
                    place(kind, family, QCursor::pos() - QPoint(size.width(), size.height()) / 2);
                });
        // Closing the gallery with nothing placed leaves nothing to show.
        connect(m_gallery, &QObject::destroyed, this, [this] {
            if (m_widgets.empty()) {
                Q_EMIT quitRequested();
            }
        });
    }
    m_gallery->show();
    m_gallery->raise();
    m_gallery->activateWindow();
}

QList<PlacedWidget> WidgetHost::placedWidgets() const {
    QList<PlacedWidget> widgets;
    for (const auto& hosted : m_widgets) {
        widgets.append(hosted->placed);
    }
    return widgets;
}

WidgetWindow* WidgetHost::window(int index) const {
    return m_widgets.at(static_cast<std::size_t>(index))->window.get();
}

void WidgetHost::reloadTimelines(const QString& kind) {
    for (const auto& hosted : m_widgets) {
        if (hosted->placed.kind == kind) {
            requestTimeline(*hosted);
        }
    }
    armWake();
}

void WidgetHost::prepareForSleep(bool sleeping) {
    if (!sleeping) {
        wake();
    }
}

void WidgetHost::addWindow(const PlacedWidget& placed) {
    auto hosted = std::make_unique<Hosted>();
    hosted->serial = m_nextSerial++;
    hosted->placed = placed;
    hosted->window =
        std::make_unique<WidgetWindow>(m_extension, m_clock, placed.kind, placed.family);
    WidgetWindow* window = hosted->window.get();
    window->showEntry(m_extension.placeholder(placed.kind, m_clock.now()));
    window->move(placed.position);
    const std::uint64_t serial = hosted->serial;
    connect(window, &WidgetWindow::contextMenuRequested, this,
            [this, serial](QPoint position) { showMenu(serial, position); });
    connect(window, &WidgetWindow::moved, this, [this, serial](QPoint position) {
        Hosted* moved = find(serial);
        if (moved != nullptr && moved->placed.position != position) {
            moved->placed.position = position;
            widgetsChanged();
        }
    });
    window->show();
    m_widgets.push_back(std::move(hosted));
    requestTimeline(*m_widgets.back());
}

WidgetHost::Hosted* WidgetHost::find(std::uint64_t serial) {
    const auto found =
        std::find_if(m_widgets.begin(), m_widgets.end(),
                     [serial](const auto& hosted) { return hosted->serial == serial; });
    return found == m_widgets.end() ? nullptr : found->get();
}

void WidgetHost::requestTimeline(Hosted& hosted) {
    hosted.requesting = true;
    ++m_timelineRequests;
    QCoro::Task<> fetching =
        fetchTimeline(QPointer<WidgetHost>(this), &m_extension, hosted.serial, ++hosted.request,
                      hosted.placed.kind, hosted.placed.configuration, m_clock.now());
}

QCoro::Task<> WidgetHost::fetchTimeline(QPointer<WidgetHost> host, const WidgetExtension* extension,
                                        std::uint64_t serial, std::uint64_t request, QString kind,
                                        WidgetConfiguration configuration, Timestamp now) {
    try {
        QCoro::Task<Fetched> work = runOnWorker([extension, kind, configuration, now] {
            return Fetched{.timeline = extension->timeline(kind, configuration, now),
                           .agents = extension->agents(),
                           .summary = extension->configurationSummary(kind, configuration)};
        });
        Fetched fetched = co_await work;
        if (host) {
            host->applyTimeline(serial, request, std::move(fetched));
        }
    } catch (const std::exception&) {
        if (host) {
            host->applyTimeline(serial, request, std::nullopt);
        }
    }
}

void WidgetHost::applyTimeline(std::uint64_t serial, std::uint64_t request,
                               std::optional<Fetched> fetched) {
    Hosted* hosted = find(serial);
    if (hosted == nullptr || hosted->request != request) {
        return;
    }
    hosted->requesting = false;
    const Timestamp now = m_clock.now();
    if (fetched) {
        m_agents = std::move(fetched->agents);
        hosted->summary = std::move(fetched->summary);
        hosted->reloadDate = WakeSchedule::effectiveReloadDate(fetched->timeline.reloadAfter, now);
        hosted->timeline = std::move(fetched->timeline);
    } else {
        // The widget keeps what it shows and asks again after the shortest delay.
        hosted->reloadDate = WakeSchedule::effectiveReloadDate(now, now);
        hosted->timeline = hosted->timeline.value_or(LimitTimeline{});
    }
    showCurrentEntry(*hosted, now);
    armWake();
    const auto index = std::find_if(m_widgets.begin(), m_widgets.end(),
                                    [hosted](const auto& item) { return item.get() == hosted; }) -
                       m_widgets.begin();
    Q_EMIT timelineApplied(static_cast<int>(index));
}

void WidgetHost::showCurrentEntry(Hosted& hosted, Timestamp now) {
    if (const auto current = WakeSchedule::currentEntry(entryDates(*hosted.timeline), now)) {
        hosted.window->showEntry(hosted.timeline->entries.at(static_cast<qsizetype>(*current)));
    }
}

void WidgetHost::wake() {
    const Timestamp now = m_clock.now();
    for (const auto& hosted : m_widgets) {
        if (hosted->requesting || !hosted->timeline) {
            continue;
        }
        if (now >= hosted->reloadDate) {
            requestTimeline(*hosted);
        } else {
            showCurrentEntry(*hosted, now);
        }
    }
    armWake();
}

void WidgetHost::armWake() {
    m_wakeCancellation.cancel();
    m_wakeCancellation = CancellationToken();
    const Timestamp now = m_clock.now();
    std::optional<Timestamp> earliest;
    for (const auto& hosted : m_widgets) {
        if (hosted->requesting || !hosted->timeline) {
            continue;
        }
        const Timestamp next =
            WakeSchedule::nextWake(entryDates(*hosted->timeline), hosted->reloadDate, now);
        earliest = earliest ? std::min(*earliest, next) : next;
    }
    if (!earliest) {
        return;
    }
    // Runs on by itself; the next armWake() or the host's end cancels it.
    QCoro::Task<> waiting =
        runAfter(m_clock, *earliest - now, m_wakeCancellation, [this] { wake(); });
}

void WidgetHost::showMenu(std::uint64_t serial, QPoint globalPosition) {
    const Hosted* hosted = find(serial);
    if (hosted == nullptr) {
        return;
    }
    const PlacedWidget placed = hosted->placed;
    auto* menu = new QMenu;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (const auto info = m_extension.configuration(placed.kind)) {
        // A disabled item rather than a section, whose title some styles cut short.
        menu->addAction(hosted->summary.isEmpty() ? info->title : hosted->summary)
            ->setEnabled(false);
        QMenu* agents = menu->addMenu(info->agentParameterTitle);
        auto* agentGroup = new QActionGroup(agents);
        QList<WidgetAgent> choices = m_agents;
        const bool chosenIsListed = std::any_of(
            choices.begin(), choices.end(),
            [&](const WidgetAgent& agent) { return agent.id == placed.configuration.agentId; });
        if (placed.configuration.agentId && !chosenIsListed) {
            // Still chosen, though the stored snapshot no longer has it: the widget shows its
            // unavailable state until another agent is chosen.
            choices.append(
                {.id = *placed.configuration.agentId, .name = *placed.configuration.agentId});
        }
        for (const WidgetAgent& agent : choices) {
            QAction* action = agents->addAction(agent.name);
            action->setCheckable(true);
            action->setChecked(placed.configuration.agentId == agent.id);
            agentGroup->addAction(action);
            connect(action, &QAction::triggered, this, [this, serial, placed, id = agent.id] {
                WidgetConfiguration configuration = placed.configuration;
                configuration.agentId = id;
                configure(serial, configuration);
            });
        }
        if (choices.isEmpty()) {
            agents->addAction(tr("No agents yet"))->setEnabled(false);
        }
        if (!info->periods.isEmpty()) {
            QMenu* periods = menu->addMenu(info->periodParameterTitle);
            auto* periodGroup = new QActionGroup(periods);
            const QString chosen = placed.configuration.period.value_or(info->defaultPeriod);
            for (const WidgetPeriodOption& period : info->periods) {
                QAction* action = periods->addAction(period.name);
                action->setCheckable(true);
                action->setChecked(period.id == chosen);
                periodGroup->addAction(action);
                connect(action, &QAction::triggered, this, [this, serial, placed, id = period.id] {
                    WidgetConfiguration configuration = placed.configuration;
                    configuration.period = id;
                    configure(serial, configuration);
                });
            }
        }
        menu->addSeparator();
    }
    connect(menu->addAction(tr("Remove Widget")), &QAction::triggered, this,
            [this, serial] { remove(serial); });
    connect(menu->addAction(tr("Add Widget…")), &QAction::triggered, this,
            &WidgetHost::showGallery);
    menu->addSeparator();
    connect(menu->addAction(tr("Quit")), &QAction::triggered, this, &WidgetHost::quitRequested);
    menu->popup(globalPosition);
}

void WidgetHost::configure(std::uint64_t serial, const WidgetConfiguration& configuration) {
    Hosted* hosted = find(serial);
    if (hosted == nullptr || hosted->placed.configuration == configuration) {
        return;
    }
    hosted->placed.configuration = configuration;
    requestTimeline(*hosted);
    armWake();
    widgetsChanged();
}

void WidgetHost::remove(std::uint64_t serial) {
    const auto found =
        std::find_if(m_widgets.begin(), m_widgets.end(),
                     [serial](const auto& hosted) { return hosted->serial == serial; });
    if (found == m_widgets.end()) {
        return;
    }
    (*found)->window.release()->deleteLater();
    m_widgets.erase(found);
    armWake();
    widgetsChanged();
    if (m_widgets.empty() && !m_gallery) {
        Q_EMIT quitRequested();
    }
}

void WidgetHost::widgetsChanged() {
    if (m_saving) {
        m_saveAgain = true;
        return;
    }
    m_saving = true;
    QCoro::Task<> saving = saveWidgets(QPointer<WidgetHost>(this));
}

QCoro::Task<> WidgetHost::saveWidgets(QPointer<WidgetHost> host) {
    while (host) {
        host->m_saveAgain = false;
        try {
            QCoro::Task<> writing =
                runOnWorker([path = host->m_settingsFilePath, widgets = host->placedWidgets()] {
                    PlacedWidgets::save(path, widgets);
                });
            co_await writing;
        } catch (const std::exception&) {
            // Nothing to show it on; the next change writes the whole list again.
        }
        if (!host || !host->m_saveAgain) {
            break;
        }
    }
    if (host) {
        host->m_saving = false;
    }
}
