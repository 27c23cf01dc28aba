#include "settings_window.h"

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
