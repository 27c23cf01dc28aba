#include "tray_controller.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>

#include "core/clock.h"
#include "store/usage_store.h"
#include "ui/tray/tray_icon_renderer.h"
#include "ui/tray/tray_icon_settings.h"
#include "ui/tray/tray_popup.h"
#include "ui/tray/tray_popup_placement.h"

TrayController::TrayController(UsageStore& store, const PhoneLink& phone, const Clock& clock,
                               Preferences preferences, QObject* parent)
    : QObject(parent),
      m_store(store),
      m_clock(clock),
      m_preferences(std::move(preferences)),
      m_popup(std::make_unique<TrayPopup>(store, phone, clock, kSquareSize, kSquareSpacing)) {
    connect(m_popup.get(), &TrayPopup::closed, this, &TrayController::popupClosed);
    m_popup->installEventFilter(this);
    connect(m_popup.get(), &TrayPopup::refreshRequested, this, &TrayController::startRefresh);
    connect(m_popup.get(), &TrayPopup::openMainWindowRequested, this,
            &TrayController::openMainWindow);
    connect(m_popup.get(), &TrayPopup::settingsRequested, this, &TrayController::openSettings);
    connect(m_popup.get(), &TrayPopup::quitRequested, qApp, &QCoreApplication::quit,
            Qt::QueuedConnection);
}

TrayController::~TrayController() = default;

void TrayController::show() {
    if (m_trayIcon) {
        return;
    }
    m_menu = std::make_unique<QMenu>();
    // Some panels only ever show an item's menu, so every action is in it too.
    m_menu->addAction(tr("Show Limits"), this, &TrayController::showPopup);
    m_menu->addAction(tr("Open Quotamind"), this, &TrayController::openMainWindow);
    QAction* refresh = m_menu->addAction(tr("Refresh"), this, &TrayController::startRefresh);
    m_menu->addAction(tr("History"), this, &TrayController::historyRequested);
    m_menu->addAction(tr("Settings…"), this, &TrayController::openSettings);
    m_menu->addSeparator();
    m_menu->addAction(tr("Quit"), qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    connect(&m_store, &UsageStore::isRefreshingChanged, refresh,
            [this, refresh] { refresh->setEnabled(!m_store.isRefreshing()); });

    m_trayIcon = new QSystemTrayIcon(this);
    m_trayIcon->setContextMenu(m_menu.get());
    connect(m_trayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // A tray that started after the program shows itself this way.
                m_hasTray = true;
                if (reason == QSystemTrayIcon::Trigger) {
                    trayIconClicked();
                }
            });

    connect(&m_store, &UsageStore::usageSnapshotChanged, this, &TrayController::snapshotDelivered);
    // The snapshot stays the same when a reset time passes; what the icon says does not.
    connect(&m_store, &UsageStore::resetReached, this, &TrayController::refreshStatusIcon);
    connect(&m_store, &UsageStore::forecastsChanged, this, &TrayController::refreshStatusIcon);
    // Asked once: with StatusNotifierItem the answer is a call to the watcher over the bus.
    m_hasTray = QSystemTrayIcon::isSystemTrayAvailable();
    snapshotDelivered();
    m_trayIcon->show();
}

void TrayController::snapshotDelivered() {
    if (m_drawnSnapshot && *m_drawnSnapshot == m_store.usageSnapshot()) {
        return;
    }
    m_drawnSnapshot = m_store.usageSnapshot();
    refreshStatusIcon();
}

bool TrayController::eventFilter(QObject* watched, QEvent* event) {
    // The popup grows and shrinks with its content (a second agent arriving, the layout
    // settling once shown): placed again, it never covers its anchor or leaves the screen.
    if (watched == m_popup.get() && event->type() == QEvent::Resize && m_popup->isVisible()) {
        placePopup();
    }
    return QObject::eventFilter(watched, event);
}

void TrayController::refreshStatusIcon() {
    if (!m_trayIcon) {
        return;
    }
    const std::optional<AgentUsage> usage =
        TrayIconSettings::resolvedUsage(m_store.usageSnapshot(), m_preferences);
    const Timestamp now = m_clock.now();
    const TrayIconAppearance::Drawing drawing = TrayIconAppearance::drawingFor(
        TrayIconAppearance::storedSetting(m_preferences), m_desktopHints);
    m_trayIcon->setIcon(TrayIconRenderer::image(usage, TrayIconAppearance::colors(drawing), now));
    // Qt's tray icon has no accessible name of its own; trays read the tool tip aloud.
    QString toolTip = statusTitle(usage, now);
    if (const auto forecast = usage ? m_store.forecasts().summaryFor(*usage, now) : std::nullopt) {
        toolTip += u'\n' + *forecast;
    }
    m_trayIcon->setToolTip(toolTip);
    Q_EMIT statusIconRefreshed();
}

void TrayController::setDesktopHints(const TrayIconAppearance::DesktopHints& hints) {
    if (m_desktopHints != hints) {
        m_desktopHints = hints;
        refreshStatusIcon();
    }
}

QString TrayController::statusTitle(const std::optional<AgentUsage>& usage, Timestamp now) {
    QString waiting = tr("Quotamind: waiting for limits");
    if (!usage) {
        return waiting;
    }
    const QString name = QString::fromStdString(usage->agentName);
    const std::optional<UsageWindow> five = usage->window(UsageWindow::kFiveHourSeconds);
    const std::optional<UsageWindow> weekly = usage->window(UsageWindow::kWeeklySeconds);
    if (five && weekly) {
        const auto part = [now](const UsageWindow& window, const QString& remaining,
                                const QString& reset) {
            const std::optional<std::int64_t> percent = window.currentRemainingPercent(now);
            return percent ? remaining.arg(*percent) : reset;
        };
        return tr("%1: %2, %3")
            .arg(name,
                 part(*five, tr("%1% remaining for 5 hours"), tr("5-hour limit reset, checking…")),
                 part(*weekly, tr("%1% remaining for the week"),
                      tr("weekly limit reset, checking…")));
    }
    const std::optional<UsageWindow> window = weekly ? weekly : usage->preferredWindow();
    if (!window) {
        return waiting;
    }
    const QString period = UsageWindow::periodLabel(window->durationSeconds);
    if (const std::optional<std::int64_t> percent = window->currentRemainingPercent(now)) {
        return tr("%1: %2% remaining for %3").arg(name, QString::number(*percent), period);
    }
    return tr("%1: %2 limit reset, checking…").arg(name, period);
}

void TrayController::trayIconClicked() {
    if (!m_trayIcon) {
        return;
    }
    if (m_popup->isVisible()) {
        closePopup();
        return;
    }
    // Measured on the monotonic clock: setting the wall clock back must not block clicks.
    if (m_lastPopupCloseAt && m_clock.monotonicNow() - *m_lastPopupCloseAt <= kReopenGuardSeconds) {
        return;
    }
    showPopup();
}

bool TrayController::popupOpensAsWindow() const {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland")) || !m_hasTray;
}

void TrayController::aboutToShowPopup() {
    const Qt::WindowFlags flags =
        popupOpensAsWindow() ? Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                             : Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint;
    if (m_popup->windowFlags() != flags) {
        m_popup->setWindowFlags(flags);
    }
}

void TrayController::showPopup() {
    if (m_popup->isVisible()) {
        m_popup->raise();
        m_popup->activateWindow();
        return;
    }
    aboutToShowPopup();
    // Kept for as long as the popup stays open: the pointer, the anchor under
    // StatusNotifierItem, moves on.
    const QRect iconGeometry = m_trayIcon ? m_trayIcon->geometry() : QRect();
    m_popupAnchor = iconGeometry.isEmpty() ? QRect(QCursor::pos(), QSize(1, 1)) : iconGeometry;
    m_popup->adjustSize();
    placePopup();
    m_popup->show();
    m_popup->raise();
    m_popup->activateWindow();
}

void TrayController::placePopup() {
    if (!(m_popup->windowFlags() & Qt::Popup)) {
        return;  // A window is placed by the window manager.
    }
    QScreen* screen = QGuiApplication::screenAt(m_popupAnchor.center());
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (!screen) {
        return;
    }
    m_popup->move(
        TrayPopupPlacement::topLeft(m_popup->size(), m_popupAnchor, screen->availableGeometry()));
}

void TrayController::closePopup() {
    m_popup->close();
}

void TrayController::popupClosed() {
    m_lastPopupCloseAt = m_clock.monotonicNow();
}

void TrayController::openMainWindow() {
    closePopup();
    Q_EMIT mainWindowRequested();
}

void TrayController::openSettings() {
    closePopup();
    Q_EMIT settingsRequested();
}

void TrayController::startRefresh() {
    // The store drops the request when a cycle already runs; the task owns itself.
    QCoro::Task<> refreshing = m_store.refresh();
}
