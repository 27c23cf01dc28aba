#include "settings_window.h"

#include "notify/limit_notification_manager.h"
#include "store/shared_services.h"
#include "store/usage_store.h"

namespace {

SettingsWindow& programSettingsWindow() {
    static SharedCodexAccount account;
    static SettingsWindow window([] {
        return new AppSettingsView({UsageStore::shared(), LimitNotificationManager::shared(),
                                    account, Preferences::standard()});
    });
    return window;
}

}  // namespace

SettingsWindow::SettingsWindow(Factory create) : m_create(std::move(create)) {}

SettingsWindow::~SettingsWindow() {
    close();
}

AppSettingsView* SettingsWindow::show() {
    if (!m_window) {
        m_window = m_create();
        m_window->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    return m_window;
}

void SettingsWindow::close() {
    delete m_window.data();
}

void showSettings() {
    programSettingsWindow().show();
}

void closeSettings() {
    programSettingsWindow().close();
}
