#pragma once

#include <QLoggingCategory>

// quotamind.platform: the keyring, notification server, autostart and child processes. Never a
// secret.
Q_DECLARE_LOGGING_CATEGORY(lcPlatform)
