#include "application.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QProcessEnvironment>
#include <QThreadPool>
#include <QTimer>

#include "app/client_adapters.h"
#include "app/logging.h"
#include "app/tray_program_presence.h"
#include "core/deployment.h"
#include "core/system_clock.h"
#include "core/worker.h"
#include "history/usage_history.h"
#include "model/shared_snapshot_store.h"
#include "notify/limit_notification_manager.h"
#include "platform/autostart.h"
#include "platform/dnssd/dnssd_publisher.h"
#include "platform/http_client.h"
#include "platform/notifications/freedesktop_notification_center.h"
#include "platform/secrets/fallback_secret_store.h"
#include "platform/secrets/file_secret_store.h"
#include "platform/secrets/secret_service_store.h"
#include "platform/widget_center.h"
#include "sources/agent_origins.h"
#include "sources/claude/claude_cli_probe.h"
#include "sources/claude/claude_usage_client.h"
#include "sources/codex/codex_app_server_client.h"
#include "sources/codex/codex_app_server_session.h"
#include "sources/codex/codex_auth_client.h"
#include "sources/codex/codex_auth_file_usage_client.h"
#include "sources/codex/credentials_store.h"
#include "sources/codex/trusted_codex_binary_locator.h"
#include "store/codex_sign_in.h"
#include "store/phone_link.h"
#include "store/phone_services.h"
#include "store/usage_store.h"
#include "ui/history/history_window.h"
#include "ui/mainwindow/main_window.h"
#include "ui/settings/app_settings_view.h"
#include "ui/settings/settings_window.h"
#include "ui/tray/tray_controller.h"

namespace {

constexpr int kShutdownDrainMilliseconds = 2000;

// An autostart entry written before the background option existed opens the main window at
// every login: it gains the option, on a worker, as the file may be slow to reach.
void bringAutostartEntryUpToDate() {
    QThreadPool::globalInstance()->start([item = XdgAutostart::forThisProgram()]() mutable {
        try {
            item.addBackgroundOption();
        } catch (const PlatformError&) {
            // It stays as it was; "Launch at Login" writes it afresh when switched.
        }
    });
}

}  // namespace

Application::Application(Options options)
    : m_clock(std::make_unique<SystemClock>()),
      m_network(std::make_unique<QNetworkAccessManager>()),
      m_http(std::make_unique<HttpClient>(*m_clock, *m_network)),
      m_secretService(std::make_unique<SecretServiceStore>(*m_clock)),
      m_secretFile(std::make_unique<FileSecretStore>(FileSecretStore::defaultDirectory())),
      m_secrets(std::make_unique<FallbackSecretStore>(*m_secretService, *m_secretFile)),
      m_credentials(std::make_unique<CredentialsStore>(*m_secrets)),
      m_codexAuth(std::make_unique<CodexAuthClient>(
          agent_origins::openAIIssuer(),
          deployment::join(agent_origins::chatGPTBackend(),
                           QStringLiteral("backend-api/wham/usage")),
          CodexAuthClient::kClientId, *m_http, *m_clock, *m_credentials,
          SharedSnapshotStore::preferences())),
      m_codexAppServer(std::make_unique<CodexAppServerClient>(
          *m_clock, [] { return TrustedCodexBinaryLocator::fromEnvironment().locate(); },
          QDir::homePath(), QProcessEnvironment::systemEnvironment())),
      m_codexAuthFile(std::make_unique<CodexAuthFileUsageClient>(
          CodexAuthFileUsageClient::codexHome(QProcessEnvironment::systemEnvironment(),
                                              QDir::homePath()),
          *m_codexAuth)),
      m_claudeProbe(
          std::make_unique<ClaudeCliProbe>(*m_clock, ClaudeCliProbe::Environment::system())),
      // Claude Code keeps its sign-in in the keyring only, never in our private file.
      m_claude(std::make_unique<ClaudeUsageClient>(*m_clock, *m_http, *m_secretService,
                                                   *m_claudeProbe, agent_origins::anthropicApi(),
                                                   QDir::homePath())),
      m_notificationCenter(
          std::make_unique<FreedesktopNotificationCenter>(QDBusConnection::sessionBus())),
      m_notifications(std::make_unique<LimitNotificationManager>(*m_notificationCenter, *m_clock,
                                                                 Preferences::standard())),
      m_appServerSource(std::make_unique<AppServerAdapter>(*m_codexAppServer)),
      m_codexAuthFileSource(
          std::make_unique<UsageClientAdapter<CodexAuthFileUsageClient>>(*m_codexAuthFile)),
      m_claudeSource(std::make_unique<UsageClientAdapter<ClaudeUsageClient>>(*m_claude)),
      m_account(std::make_unique<AccountAdapter>(*m_credentials, *m_codexAuth)),
      m_snapshotNotifications(std::make_unique<NotificationsAdapter>(*m_notifications)),
      m_pairingServers(std::make_unique<LanPairingServers>()),
      m_wake(std::make_unique<UnavailableWakeSender>()),
      m_widgets(std::make_unique<DBusWidgetCenter>()),
      m_autostart(std::make_unique<XdgAutostart>(XdgAutostart::forThisProgram())),
      m_history(std::make_unique<UsageHistory>(UsageHistory::defaultPath(), *m_clock)),
      m_phone(std::make_unique<PhoneLink>(PhoneLink::Services{
          *m_clock, *m_pairingServers, *m_wake, *m_secrets, Preferences::standard()})),
      m_store(std::make_unique<UsageStore>(
          UsageStore::Services{*m_clock, *m_appServerSource, *m_codexAuthFileSource, *m_account,
                               *m_claudeSource, *m_snapshotNotifications, *m_phone, *m_widgets,
                               *m_autostart, SharedSnapshotStore::preferences(), m_history.get()})),
      m_signIn(std::make_unique<CodexSignIn>(*m_account, *m_store)) {
    QObject::connect(m_phone.get(), &PhoneLink::refreshRequested, m_store.get(),
                     &UsageStore::handleRemoteRefreshRequest);
    // A history that cannot be kept is said in the error line; the store goes on without it.
    QObject::connect(m_history.get(), &UsageHistory::problem, m_store.get(),
                     &UsageStore::showError);
    // Every way to the main window: the tray's "Open Quotamind" and the popup's empty state,
    // a notification's default action and a second launch.
    QObject::connect(m_notifications.get(), &LimitNotificationManager::openMainWindowRequested,
                     m_notifications.get(), [this] { activate(); });
    if (options.windows) {
        makeWindows(options);
    }
}

void Application::makeWindows(const Options& options) {
    m_settings = std::make_unique<SettingsWindow>([this] {
        auto* view = new AppSettingsView(
            {*m_store, *m_phone, *m_signIn, *m_notifications, *m_account, Preferences::standard()});
        QObject::connect(view, &AppSettingsView::trayIconChanged, m_tray.get(),
                         &TrayController::refreshStatusIcon);
        return view;
    });
    const auto showSettings = [this] { m_settings->show(); };
    m_tray =
        std::make_unique<TrayController>(*m_store, *m_phone, *m_clock, Preferences::standard());
    QObject::connect(m_tray.get(), &TrayController::settingsRequested, m_tray.get(), showSettings);
    m_mainWindow = std::make_unique<MainWindowController>(*m_store, *m_phone, *m_signIn, *m_clock);
    QObject::connect(m_tray.get(), &TrayController::mainWindowRequested, m_mainWindow.get(),
                     &MainWindowController::showMainWindow);
    QObject::connect(m_mainWindow.get(), &MainWindowController::settingsRequested,
                     m_mainWindow.get(), showSettings);
    QObject::connect(m_tray.get(), &TrayController::historyRequested, m_tray.get(),
                     [this] { showHistory(); });
    QObject::connect(m_mainWindow.get(), &MainWindowController::historyRequested,
                     m_mainWindow.get(), [this] { showHistory(); });
    // A later start reaches this one only through the single-instance name.
    m_presence = std::make_unique<TrayProgramPresence>(
        *m_tray, *m_mainWindow, *m_clock, options.inBackground, options.reachableAgain);
    bringAutostartEntryUpToDate();
}

void Application::showHistory() {
    if (!m_historyWindow) {
        m_historyWindow = std::make_unique<HistoryWindow>(*m_history, *m_clock);
    }
    m_historyWindow->show();
    m_historyWindow->raise();
    m_historyWindow->activateWindow();
}

Application::~Application() {
    // The views go first, then the store, which ends its loops and the sessions and requests they
    // hold (the children were already ended when the loop quit), then the phone link, which
    // withdraws its DNS-SD service. A bounded moment lets them finish while the clients are still
    // there.
    m_presence.reset();
    m_historyWindow.reset();
    m_mainWindow.reset();
    m_tray.reset();
    m_settings.reset();
    m_signIn.reset();
    m_store.reset();
    m_phone.reset();
    QDeadlineTimer drain(kShutdownDrainMilliseconds);
    while ((CodexAppServerSession::liveCount() > 0 || m_http->requestsInFlight() > 0) &&
           !drain.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    // The phone link's DNS-SD service is withdrawn in the background; a daemon that does not
    // answer keeps the program no longer than the same moment (it drops our records anyway once
    // our bus connection closes).
    DnsSdPublisher::waitForWithdrawals(drain);
}

void Application::start() {
    QTimer::singleShot(0, m_store.get(), [this] { QCoro::Task<> task = startUp(this); });
}

void Application::activate() {
    qCInfo(lcApp) << "activation requested";
    if (m_mainWindow) {
        m_mainWindow->showMainWindow();
    }
}

// The start-up order: files that hold secrets are closed to others (an older copy may have left
// them open), the notifications start with the stored snapshot, then the store.
QCoro::Task<> Application::startUp(Application* application) {
    const QPointer<UsageStore> store = application->m_store.get();
    QCoro::Task<> tightening = runOnWorker([] {
        // The app group's preferences and their fallback, the program's own.
        SharedSnapshotStore::preferences().restrictToOwner();
        FileSecretStore(FileSecretStore::defaultDirectory()).restrictToOwner();
    });
    co_await tightening;
    if (!store) {
        co_return;
    }
    QCoro::Task<> notifications =
        application->m_snapshotNotifications->start(store->usageSnapshot());
    co_await notifications;
    if (!store) {
        co_return;
    }
    application->m_history->start();
    QCoro::Task<> starting = store->start();
    co_await starting;
}
