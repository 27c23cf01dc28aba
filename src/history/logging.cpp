#include "logging.h"

Q_LOGGING_CATEGORY(lcHistory, "quotamind.history", QtInfoMsg)
