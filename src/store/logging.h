#pragma once

#include <QLoggingCategory>

// quotamind.store: the refresh cycle and what each agent's read brought. Never a secret.
Q_DECLARE_LOGGING_CATEGORY(lcStore)
