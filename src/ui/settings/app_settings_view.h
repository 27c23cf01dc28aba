#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <vector>

#include "core/job.h"
#include "core/preferences.h"
#include "ui/settings/settings_form.h"

class CodexAccount;
class CodexSignIn;
class PhoneLink;
class LimitNotificationManager;
class QScrollArea;
class QVariant;
class UsageStore;

// What the settings window reads and calls. None of it is owned; all of it outlives the window.
struct SettingsServices {
    UsageStore& store;
    // The phone's pairing and last delivery.
    const PhoneLink& phone;
    // Signing out removes the stored ChatGPT credentials.
    CodexSignIn& signIn;
    LimitNotificationManager& notifications;
    // The stored ChatGPT credentials: signing out is offered only while they load.
    CodexAccount& account;
    // The program's standard preferences, which hold the tray icon's agent.
    Preferences preferences;
};

// The settings window: a grouped form, 480 pixels wide, whose sections (appSettingsSections)
// follow the store and the notification manager. It holds two settings of its own, the tray
// icon's agent (TrayIconSettings::kProviderKey) and its appearance
// (TrayIconAppearance::kPreferenceKey), and announces their change (trayIconChanged); everything
// else it reads from the store and the manager and changes through them. Every control takes
// keyboard focus in form order and carries its row's accessible name; a row's value is its
// accessible description.
//
// Changes are shown in one pass on the next event-loop turn after the store or the manager
// announces them. Enabling notifications, launch at login and signing out run as main-thread
// tasks; the form shows what they leave behind once they end. The stored credentials are
// loaded when the window is created and whenever the store's session changes.
class AppSettingsView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 480;

    explicit AppSettingsView(SettingsServices services, QWidget* parent = nullptr);
    ~AppSettingsView() override;
    Q_DISABLE_COPY_MOVE(AppSettingsView)

    // Whether loading the stored credentials is still running.
    bool isLoadingCredentials() const { return m_credentialsJob.isRunning(); }

Q_SIGNALS:
    // The form shows a new state.
    void rendered();
    // The tray icon's agent or appearance changed: the live icon is drawn again.
    void trayIconChanged();

protected:
    void changeEvent(QEvent* event) override;
    // Escape and the desktop's close keys (Ctrl+W) close the window.
    void keyPressEvent(QKeyEvent* event) override;

private:
    SettingsState currentState() const;
    void scheduleRender();
    void render();
    void rebuild(const std::vector<SettingsSection>& sections);
    void perform(SettingsAction action, const QVariant& value);
    void chooseIconProvider(const QString& provider);
    // After a change of the icon's agent or appearance.
    void redrawTrayIcon();
    void reloadCredentials();

    static QCoro::Task<> loadCredentials(QPointer<AppSettingsView> view, CancellationToken token);
    static QCoro::Task<> enableNotifications(QPointer<AppSettingsView> view,
                                             CancellationToken token);
    static QCoro::Task<> changeLaunchAtLogin(QPointer<AppSettingsView> view,
                                             CancellationToken token, bool enabled);
    static QCoro::Task<> signOut(QPointer<AppSettingsView> view, CancellationToken token);

    SettingsServices m_services;
    QString m_iconProvider;
    // Thresholds the user wrote that are not a list of percents, kept to show with a warning.
    std::optional<QString> m_thresholdsText;
    bool m_hasStoredCredentials = false;
    std::vector<SettingsSection> m_sections;
    bool m_renderPending = false;
    QScrollArea* m_scrollArea;
    QPointer<QWidget> m_content;
    // The rows of m_content, in form order.
    std::vector<QWidget*> m_rows;

    Job<AppSettingsView> m_credentialsJob{this};
    Job<AppSettingsView> m_notificationsJob{this};
    Job<AppSettingsView> m_launchAtLoginJob{this};
    Job<AppSettingsView> m_signOutJob{this};
};
