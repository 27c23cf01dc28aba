#include "logging.h"

Q_LOGGING_CATEGORY(lcPlatform, "quotamind.platform", QtInfoMsg)
