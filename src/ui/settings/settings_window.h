#pragma once

#include <QPointer>
#include <functional>

#include "ui/settings/app_settings_view.h"

// Brings up the settings window: creates it on first use, and again after it was closed (a
// closed window is deleted, so its state is read afresh when it opens again); otherwise raises
// and activates the one that is open.
class SettingsWindow final {
public:
    using Factory = std::function<AppSettingsView*()>;

    explicit SettingsWindow(Factory create);
    // Deletes the open window.
    ~SettingsWindow();
    Q_DISABLE_COPY_MOVE(SettingsWindow)

    AppSettingsView* show();
    // Deletes the open window at once; the program does this before its store goes away.
    void close();

private:
    Factory m_create;
    QPointer<AppSettingsView> m_window;
};
