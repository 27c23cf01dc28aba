#include "logging.h"

Q_LOGGING_CATEGORY(lcSources, "quotamind.sources", QtInfoMsg)
