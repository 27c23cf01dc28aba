#include "logging.h"

Q_LOGGING_CATEGORY(lcUi, "quotamind.ui", QtInfoMsg)
