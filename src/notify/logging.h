#pragma once

#include <QLoggingCategory>

// quotamind.notify: the reset alerts. Never a secret.
Q_DECLARE_LOGGING_CATEGORY(lcNotify)
