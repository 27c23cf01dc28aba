#include "tray_fallback.h"

#include "core/clock.h"
#include "ui/common/logging.h"

TrayFallback::TrayFallback(Clock& clock, bool inBackground, bool reachableAgain, QObject* parent)
    : QObject(parent),
      m_clock(clock),
      m_inBackground(inBackground),
      m_reachableAgain(reachableAgain) {}

void TrayFallback::start() {
    if (!m_inBackground) {
        Q_EMIT showWindowRequested();
    } else if (!m_hasTray) {
        m_wait.start(&TrayFallback::waitForTray);
    }
}

QCoro::Task<> TrayFallback::waitForTray(QPointer<TrayFallback> self, CancellationToken token) {
    QCoro::Task<> waiting = self->m_clock.sleep(kTrayWaitSeconds, token);
    co_await waiting;
    if (self && !self->m_hasTray) {
        qCInfo(lcUi) << "no tray after" << kTrayWaitSeconds << "s: showing the main window";
        Q_EMIT self->showWindowRequested();
    }
}

void TrayFallback::trayAppeared() {
    if (!m_hasTray) {
        qCInfo(lcUi) << "a tray is there: the icon shows in it";
    }
    m_hasTray = true;
    m_wait.cancel();
}

void TrayFallback::windowClosed() {
    if (m_hasTray) {
        return;  // The tray icon leads back to it.
    }
    if (!m_reachableAgain) {
        Q_EMIT quitRequested();
    } else if (!m_noticeGiven) {
        m_noticeGiven = true;
        Q_EMIT stillRunningNoticeRequested();
    }
}
