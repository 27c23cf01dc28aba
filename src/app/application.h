#pragma once

#include <QCoro/QCoroTask>
#include <QtGlobal>
#include <memory>

class ClaudeCliProbe;
class ClaudeUsageClient;
class CodexAppServerClient;
class CodexAuthClient;
class CodexAuthFileUsageClient;
class CodexSignIn;
class CredentialsStore;
class DBusWidgetCenter;
class FallbackSecretStore;
class FileSecretStore;
class FreedesktopNotificationCenter;
class HttpClient;
class LanPairingServers;
class LimitNotificationManager;
class MainWindowController;
class PhoneLink;
class QNetworkAccessManager;
class SecretServiceStore;
class SettingsWindow;
class SystemClock;
class TrayController;
class TrayProgramPresence;
class UnavailableWakeSender;
class HistoryWindow;
class UsageHistory;
class UsageStore;
class XdgAutostart;
class AccountAdapter;
class AppServerAdapter;
class NotificationsAdapter;
template <typename Client>
class UsageClientAdapter;

// The running program (`quotamind` and `quotamind --headless`): makes every process-wide object,
// owns each, and hands each its collaborators. Made on the main thread after the application
// object, and destroyed before it.
//
// Destruction runs in the reverse order of the dependencies: the windows and the tray go first,
// then the sign-in and the store, which end their loops and the sessions and requests they wait
// on, then the phone link, whose pairing server joins its thread; a bounded moment then lets the
// Codex sessions and the DNS-SD withdrawal finish while the clients they use are still there;
// the clients and platform services go last.
class Application final {
public:
    struct Options {
        // The tray icon, its popup and the windows; needs a QApplication.
        bool windows = false;
        // Start in the tray without showing the main window.
        bool inBackground = false;
        // A later start reaches this one (it holds the single-instance name).
        bool reachableAgain = false;
    };

    explicit Application(Options options);
    ~Application();
    Q_DISABLE_COPY_MOVE(Application)

    // Starts the notifications and the store, in their order, from the event loop.
    void start();
    // A second launch, a notification's default action: shows the main window, if any.
    void activate();

private:
    static QCoro::Task<> startUp(Application* application);
    void makeWindows(const Options& options);
    void showHistory();

    std::unique_ptr<SystemClock> m_clock;
    std::unique_ptr<QNetworkAccessManager> m_network;
    std::unique_ptr<HttpClient> m_http;
    std::unique_ptr<SecretServiceStore> m_secretService;
    std::unique_ptr<FileSecretStore> m_secretFile;
    // The keyring, or the private file where there is none: the ChatGPT account and the
    // legacy wake key.
    std::unique_ptr<FallbackSecretStore> m_secrets;
    std::unique_ptr<CredentialsStore> m_credentials;
    std::unique_ptr<CodexAuthClient> m_codexAuth;
    std::unique_ptr<CodexAppServerClient> m_codexAppServer;
    std::unique_ptr<CodexAuthFileUsageClient> m_codexAuthFile;
    std::unique_ptr<ClaudeCliProbe> m_claudeProbe;
    std::unique_ptr<ClaudeUsageClient> m_claude;
    std::unique_ptr<FreedesktopNotificationCenter> m_notificationCenter;
    std::unique_ptr<LimitNotificationManager> m_notifications;

    std::unique_ptr<AppServerAdapter> m_appServerSource;
    std::unique_ptr<UsageClientAdapter<CodexAuthFileUsageClient>> m_codexAuthFileSource;
    std::unique_ptr<UsageClientAdapter<ClaudeUsageClient>> m_claudeSource;
    std::unique_ptr<AccountAdapter> m_account;
    std::unique_ptr<NotificationsAdapter> m_snapshotNotifications;
    std::unique_ptr<LanPairingServers> m_pairingServers;
    std::unique_ptr<UnavailableWakeSender> m_wake;
    std::unique_ptr<DBusWidgetCenter> m_widgets;
    std::unique_ptr<XdgAutostart> m_autostart;
    std::unique_ptr<UsageHistory> m_history;

    // The store delivers to the phone link, and the sign-in hands the store its account: each
    // goes before what it uses.
    std::unique_ptr<PhoneLink> m_phone;
    std::unique_ptr<UsageStore> m_store;
    std::unique_ptr<CodexSignIn> m_signIn;

    std::unique_ptr<SettingsWindow> m_settings;
    // Made the first time it is asked for.
    std::unique_ptr<HistoryWindow> m_historyWindow;
    std::unique_ptr<TrayController> m_tray;
    std::unique_ptr<MainWindowController> m_mainWindow;
    std::unique_ptr<TrayProgramPresence> m_presence;
};
