#include "mac_menu_bar_controller.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>

#include "core/clock.h"
#include "store/usage_store.h"
#include "ui/menu_bar_icon_preferences.h"
#include "ui/menu_bar_limit_icon_renderer.h"
#include "ui/menu_bar_popover_view.h"
#include "ui/popover_placement.h"

QPointer<MacMenuBarController> MacMenuBarController::s_shared;

MacMenuBarController::MacMenuBarController(UsageStore& store, const Clock& clock,
                                           Preferences preferences, QObject* parent)
    : QObject(parent),
      m_store(store),
      m_clock(clock),
      m_preferences(std::move(preferences)),
      m_popover(std::make_unique<MenuBarPopoverView>(store, clock, kSquareSize, kSquareSpacing)) {
    connect(m_popover.get(), &MenuBarPopoverView::closed, this,
            &MacMenuBarController::popoverDidClose);
    m_popover->installEventFilter(this);
    connect(m_popover.get(), &MenuBarPopoverView::refreshRequested, this,
            &MacMenuBarController::startRefresh);
    connect(m_popover.get(), &MenuBarPopoverView::openMainWindowRequested, this,
            &MacMenuBarController::openMainWindow);
    connect(m_popover.get(), &MenuBarPopoverView::settingsRequested, this,
            &MacMenuBarController::openSettings);
    connect(m_popover.get(), &MenuBarPopoverView::quitRequested, qApp, &QCoreApplication::quit,
            Qt::QueuedConnection);
    s_shared = this;
}

MacMenuBarController::~MacMenuBarController() = default;

QPointer<MacMenuBarController> MacMenuBarController::shared() {
    return s_shared;
}

void MacMenuBarController::finishLaunching() {
    if (m_statusItem) {
        return;
    }
    m_menu = std::make_unique<QMenu>();
    // Some panels only ever show an item's menu, so every action is in it too.
    m_menu->addAction(tr("Show Limits"), this, &MacMenuBarController::showPopover);
    m_menu->addAction(tr("Open Quotamind"), this, &MacMenuBarController::openMainWindow);
    QAction* refresh = m_menu->addAction(tr("Refresh"), this, &MacMenuBarController::startRefresh);
    m_menu->addAction(tr("Settings…"), this, &MacMenuBarController::openSettings);
    m_menu->addSeparator();
    m_menu->addAction(tr("Quit"), qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    connect(&m_store, &UsageStore::isRefreshingChanged, refresh,
            [this, refresh] { refresh->setEnabled(!m_store.isRefreshing()); });

    m_statusItem = new QSystemTrayIcon(this);
    m_statusItem->setContextMenu(m_menu.get());
    connect(m_statusItem, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // A tray that started after the program shows itself this way.
                m_hasTray = true;
                if (reason == QSystemTrayIcon::Trigger) {
                    statusItemClicked();
                }
            });

    connect(&m_store, &UsageStore::usageSnapshotChanged, this,
            &MacMenuBarController::snapshotDelivered);
    // The snapshot stays the same when a reset time passes; what the icon says does not.
    connect(&m_store, &UsageStore::resetReached, this, &MacMenuBarController::refreshStatusIcon);
    // Asked once: with StatusNotifierItem the answer is a call to the watcher over the bus.
    m_hasTray = QSystemTrayIcon::isSystemTrayAvailable();
    snapshotDelivered();
    m_statusItem->show();
}

void MacMenuBarController::snapshotDelivered() {
    if (m_drawnSnapshot && *m_drawnSnapshot == m_store.usageSnapshot()) {
        return;
    }
    m_drawnSnapshot = m_store.usageSnapshot();
    refreshStatusIcon();
}

bool MacMenuBarController::eventFilter(QObject* watched, QEvent* event) {
    // The popover grows and shrinks with its content (a second agent arriving, the layout
    // settling once shown): placed again, it never covers its anchor or leaves the screen.
    if (watched == m_popover.get() && event->type() == QEvent::Resize && m_popover->isVisible()) {
        placePopover();
    }
    return QObject::eventFilter(watched, event);
}

void MacMenuBarController::refreshStatusIcon() {
    if (!m_statusItem) {
        return;
    }
    const std::optional<AgentUsage> usage =
        MenuBarIconPreferences::resolvedUsage(m_store.usageSnapshot(), m_preferences);
    const Timestamp now = m_clock.now();
    const TrayIconAppearance::Drawing drawing = TrayIconAppearance::drawingFor(
        TrayIconAppearance::storedSetting(m_preferences), m_desktopHints);
    m_statusItem->setIcon(
        MenuBarLimitIconRenderer::image(usage, TrayIconAppearance::colors(drawing), now));
    // Qt's tray icon has no accessible name of its own; trays read the tool tip aloud.
    m_statusItem->setToolTip(statusTitle(usage, now));
    Q_EMIT statusIconRefreshed();
}

void MacMenuBarController::setDesktopHints(const TrayIconAppearance::DesktopHints& hints) {
    if (m_desktopHints != hints) {
        m_desktopHints = hints;
        refreshStatusIcon();
    }
}

QString MacMenuBarController::statusTitle(const std::optional<AgentUsage>& usage, Timestamp now) {
    const QString waiting = tr("Quotamind: waiting for limits");
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

void MacMenuBarController::statusItemClicked() {
    if (!m_statusItem) {
        return;
    }
    if (m_popover->isVisible()) {
        closePopover();
        return;
    }
    // Measured on the monotonic clock: setting the wall clock back must not block clicks.
    if (m_lastPopoverCloseAt &&
        m_clock.monotonicNow() - *m_lastPopoverCloseAt <= kReopenGuardSeconds) {
        return;
    }
    showPopover();
}

bool MacMenuBarController::popoverOpensAsWindow() const {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland")) || !m_hasTray;
}

void MacMenuBarController::popoverWillShow() {
    const Qt::WindowFlags flags =
        popoverOpensAsWindow() ? Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                               : Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint;
    if (m_popover->windowFlags() != flags) {
        m_popover->setWindowFlags(flags);
    }
}

void MacMenuBarController::showPopover() {
    if (m_popover->isVisible()) {
        m_popover->raise();
        m_popover->activateWindow();
        return;
    }
    popoverWillShow();
    // Kept for as long as the popover stays open: the pointer, the anchor under
    // StatusNotifierItem, moves on.
    const QRect iconGeometry = m_statusItem ? m_statusItem->geometry() : QRect();
    m_popoverAnchor = iconGeometry.isEmpty() ? QRect(QCursor::pos(), QSize(1, 1)) : iconGeometry;
    m_popover->adjustSize();
    placePopover();
    m_popover->show();
    m_popover->raise();
    m_popover->activateWindow();
}

void MacMenuBarController::placePopover() {
    if (!(m_popover->windowFlags() & Qt::Popup)) {
        return;  // A window is placed by the window manager.
    }
    QScreen* screen = QGuiApplication::screenAt(m_popoverAnchor.center());
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (!screen) {
        return;
    }
    m_popover->move(
        PopoverPlacement::topLeft(m_popover->size(), m_popoverAnchor, screen->availableGeometry()));
}

void MacMenuBarController::closePopover() {
    m_popover->close();
}

void MacMenuBarController::popoverDidClose() {
    m_lastPopoverCloseAt = m_clock.monotonicNow();
}

void MacMenuBarController::openMainWindow() {
    closePopover();
    Q_EMIT mainWindowRequested();
}

void MacMenuBarController::openSettings() {
    closePopover();
    Q_EMIT settingsRequested();
}

void MacMenuBarController::startRefresh() {
    // The store drops the request when a cycle already runs; the task owns itself.
    QCoro::Task<> refreshing = m_store.refresh();
}
