#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <memory>
#include <optional>

#include "core/preferences.h"
#include "model/agent_usage_snapshot.h"
#include "ui/tray/tray_icon_appearance.h"

class Clock;
class TrayPopup;
class QMenu;
class QSystemTrayIcon;
class PhoneLink;
class UsageStore;

// The tray program's permanent face: the tray icon (a drawn meter of one agent's remaining
// allowance, with a tool tip that says the same in words), its menu, and the popup with one
// meter card row per agent. Created by the program at start-up, on the main thread, after the
// application object; show() then builds the tray icon and follows the store. The
// program calls it once a tray exists (TrayAvailability), because Qt chooses between
// StatusNotifierItem and XEmbed when the icon is created.
//
// The popup opens as a popup next to the tray icon when the tray reports where the icon is
// (XEmbed), next to the pointer otherwise (StatusNotifierItem), always inside the screen that
// holds that point. Where the program cannot place its windows (Wayland) or no tray exists, it
// opens as a small regular window instead.
//
// The store, the clock and the application must outlive the controller.
class TrayController final : public QObject {
    Q_OBJECT

public:
    // A click that arrives this soon after the popup closed only closed it: the click on the
    // tray icon that closes a popup also reaches the icon, and must not reopen it.
    static constexpr double kReopenGuardSeconds = 0.25;
    static constexpr int kSquareSize = 160;
    static constexpr int kSquareSpacing = 10;

    // `preferences` is the program's own per-user domain, which holds the icon's agent.
    TrayController(UsageStore& store, const PhoneLink& phone, const Clock& clock,
                   Preferences preferences, QObject* parent = nullptr);
    ~TrayController() override;
    Q_DISABLE_COPY_MOVE(TrayController)

    // Builds the tray icon and its menu and follows the store's snapshot; the icon is drawn at
    // once. Later calls do nothing.
    void show();

    // Redraws the icon and resets the tool tip from the store's snapshot. Nothing before launch.
    // The settings window calls it when the icon's agent or appearance changes.
    void refreshStatusIcon();
    // What the desktop says about its panel, for the Automatic appearance; redraws on a change.
    void setDesktopHints(const TrayIconAppearance::DesktopHints& hints);
    // The tray icon's primary action: closes an open popup, otherwise opens it unless it
    // closed no more than kReopenGuardSeconds ago.
    void trayIconClicked();
    // Opens the popup (the menu's "Show Limits"), whatever its last close.
    void showPopup();
    void closePopup();
    // Closes the popup and asks for the main window (mainWindowRequested).
    void openMainWindow();
    // Closes the popup and asks for the settings window (settingsRequested).
    void openSettings();

    // The tool tip for the icon's usage at `now`: both windows, one window with its period label,
    // or "Quotamind: waiting for limits"; a window past its reset is said to be checked again.
    static QString statusTitle(const std::optional<AgentUsage>& usage, Timestamp now);

    // Whether a tray showed the icon at launch, or has activated it since.
    bool hasTray() const { return m_hasTray; }
    QSystemTrayIcon* trayIcon() const { return m_trayIcon; }
    TrayPopup* popup() const { return m_popup.get(); }

Q_SIGNALS:
    void statusIconRefreshed();
    // Connected to the main window and the settings window once they exist.
    void mainWindowRequested();
    void settingsRequested();
    void historyRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void snapshotDelivered();
    void aboutToShowPopup();
    void popupClosed();
    void placePopup();
    bool popupOpensAsWindow() const;
    void startRefresh();

    UsageStore& m_store;
    const Clock& m_clock;
    Preferences m_preferences;
    std::unique_ptr<TrayPopup> m_popup;
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon* m_trayIcon = nullptr;
    bool m_hasTray = false;
    // The last snapshot drawn, so that an unchanged one is not drawn again.
    std::optional<std::optional<AgentUsageSnapshot>> m_drawnSnapshot;
    TrayIconAppearance::DesktopHints m_desktopHints;
    // Where the open popup hangs from, in screen coordinates.
    QRect m_popupAnchor;
    // On the clock's monotonic scale; none until the popup first closes: the distant past.
    std::optional<double> m_lastPopupCloseAt;
};
