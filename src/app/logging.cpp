#include "logging.h"

Q_LOGGING_CATEGORY(lcApp, "quotamind.app", QtInfoMsg)
