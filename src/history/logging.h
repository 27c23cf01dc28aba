#pragma once

#include <QLoggingCategory>

// quotamind.history: the usage history file.
Q_DECLARE_LOGGING_CATEGORY(lcHistory)
