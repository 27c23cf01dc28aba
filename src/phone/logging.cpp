#include "logging.h"

Q_LOGGING_CATEGORY(lcPhone, "quotamind.phone", QtInfoMsg)
