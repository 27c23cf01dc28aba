#pragma once

#include <QLoggingCategory>

// quotamind.sources: the agents' programs and services. Never a secret.
Q_DECLARE_LOGGING_CATEGORY(lcSources)
