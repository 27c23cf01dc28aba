#include "tray_program_presence.h"

#include <QCoreApplication>
#include <QDBusConnection>

#include "ui/mainwindow/main_window.h"
#include "ui/tray/tray_controller.h"

TrayProgramPresence::TrayProgramPresence(TrayController& icon, MainWindowController& window,
                                         Clock& clock, bool inBackground, bool reachableAgain)
    : m_icon(icon),
      m_trays(QDBusConnection::sessionBus()),
      m_portal(QDBusConnection::sessionBus()),
      m_notices(QDBusConnection::sessionBus()),
      m_fallback(clock, inBackground, reachableAgain) {
    QObject::connect(&m_trays, &TrayAvailability::trayForegroundChanged, &icon,
                     [this] { applyHints(); });
    QObject::connect(&m_portal, &ColorSchemePortal::colorSchemeChanged, &icon,
                     [this] { applyHints(); });
    QObject::connect(&m_trays, &TrayAvailability::trayAppeared, &icon, [&icon] { icon.show(); });
    QObject::connect(&m_trays, &TrayAvailability::trayAppeared, &m_fallback,
                     &TrayFallback::trayAppeared);
    QObject::connect(&m_fallback, &TrayFallback::showWindowRequested, &window,
                     &MainWindowController::showMainWindow);
    QObject::connect(&window, &MainWindowController::windowClosed, &m_fallback,
                     &TrayFallback::windowClosed);
    QObject::connect(&m_fallback, &TrayFallback::quitRequested, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    QObject::connect(&m_fallback, &TrayFallback::stillRunningNoticeRequested, &m_notices,
                     [this] { sayStillRunning(); });
    QObject::connect(&m_notices, &NotificationCenter::defaultActionInvoked, &window,
                     &MainWindowController::showMainWindow);
    m_portal.start();
    // A tray found at once is announced before the fallback starts, so it does not wait.
    m_trays.start();
    m_fallback.start();
}

void TrayProgramPresence::applyHints() {
    m_icon.setDesktopHints({m_trays.trayForeground(), m_portal.colorScheme()});
}

void TrayProgramPresence::sayStillRunning() {
    m_notices.add(
        {.identifier = QStringLiteral("still-running.v1"),
         .title = QCoreApplication::translate("TrayProgramPresence", "Quotamind keeps running"),
         .body = QCoreApplication::translate(
             "TrayProgramPresence",
             "There is no tray on this desktop. Start Quotamind again to show its window."),
         .threadIdentifier = QStringLiteral("still-running"),
         .userInfo = {},
         .fireDate = Timestamp::now()},
        // Nothing to do when no notification server shows it: a new start still shows the window.
        [](const std::optional<QString>&) {});
}
