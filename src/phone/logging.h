#pragma once

#include <QLoggingCategory>

// quotamind.phone: the pairing server and the phone's connections. Never a secret.
Q_DECLARE_LOGGING_CATEGORY(lcPhone)
