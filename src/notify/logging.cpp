#include "logging.h"

Q_LOGGING_CATEGORY(lcNotify, "quotamind.notify", QtInfoMsg)
