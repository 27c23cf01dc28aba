#include "logging.h"

Q_LOGGING_CATEGORY(lcStore, "quotamind.store", QtInfoMsg)
