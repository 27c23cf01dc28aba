#pragma once

#include <QLoggingCategory>

// quotamind.app: the program's start, stop and activations.
Q_DECLARE_LOGGING_CATEGORY(lcApp)
