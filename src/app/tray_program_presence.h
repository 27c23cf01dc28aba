#pragma once

#include "core/clock.h"
#include "platform/notifications/freedesktop_notification_center.h"
#include "ui/tray/color_scheme_portal.h"
#include "ui/tray/tray_availability.h"
#include "ui/tray/tray_fallback.h"

class TrayController;
class MainWindowController;

// Where the tray program shows itself: its tray icon once a tray exists (at start or later), the
// main window when it was started by hand or when no tray comes (TrayFallback), and the desktop's
// hints about its panel for the icon's colours. Starts looking at construction, on the main
// thread of a QApplication. `icon`, `window` and `clock` must outlive it.
class TrayProgramPresence final {
public:
    // `reachableAgain`: a later start of the program reaches this one (it holds the
    // single-instance name), so closing the window without a tray may leave it running.
    TrayProgramPresence(TrayController& icon, MainWindowController& window, Clock& clock,
                        bool inBackground, bool reachableAgain);
    Q_DISABLE_COPY_MOVE(TrayProgramPresence)

private:
    void applyHints();
    void sayStillRunning();

    TrayController& m_icon;
    TrayAvailability m_trays;
    ColorSchemePortal m_portal;
    FreedesktopNotificationCenter m_notices;
    TrayFallback m_fallback;
};
