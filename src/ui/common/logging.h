#pragma once

#include <QLoggingCategory>

// quotamind.ui: the tray and the windows. Never a secret.
Q_DECLARE_LOGGING_CATEGORY(lcUi)
