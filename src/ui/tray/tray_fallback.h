#pragma once

#include <QObject>

#include "core/job.h"

class Clock;

// Keeps the program in the user's sight or reach when no tray shows its icon.
//
// At start: started by hand, the program asks for its main window at once; started in the
// background (by the autostart entry), it waits up to kTrayWaitSeconds for a tray, since panels
// often start after the autostart programs, and asks for the window only when none came.
//
// When the main window closes while no tray has appeared, the program must stay reachable: when a
// later start of the program reaches this one (it holds the single-instance name), it keeps
// running and says once that starting Quotamind again shows the window; otherwise it quits.
class TrayFallback final : public QObject {
    Q_OBJECT

public:
    static constexpr double kTrayWaitSeconds = 10;

    // `clock` must outlive the object.
    TrayFallback(Clock& clock, bool inBackground, bool reachableAgain, QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(TrayFallback)

    // Call once, when the program starts.
    void start();

public Q_SLOTS:
    void trayAppeared();
    void windowClosed();

Q_SIGNALS:
    void showWindowRequested();
    void stillRunningNoticeRequested();
    void quitRequested();

private:
    static QCoro::Task<> waitForTray(QPointer<TrayFallback> self, CancellationToken token);

    Clock& m_clock;
    bool m_inBackground;
    bool m_reachableAgain;
    bool m_hasTray = false;
    bool m_noticeGiven = false;
    Job<TrayFallback> m_wait{this};
};
