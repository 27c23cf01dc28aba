#pragma once

#include <QCoro/QCoroTask>
#include <QString>

#include "core/preferences.h"
#include "platform/secrets/secret_store.h"

// Removes what an earlier wake mechanism left behind: its signing key in the secret store and
// the phone's registration in the program's own preferences. Nothing else uses either.
namespace LegacyApnsKeyCleanup {

inline const QString kKeyService = QStringLiteral("com.brindlecove.Quotamind.apns-key");
inline const QString kKeyAccount = QStringLiteral("auth-key");
inline const QString kRegistrationKey = QStringLiteral("push.phoneRegistration.v1");

// Removes the preference at once (a read of the small file the program reads at start anyway)
// and starts removing the key through `secrets`, whose calls do not block. Failures are ignored.
// Callers may drop the task; `secrets` must outlive it.
QCoro::Task<> run(SecretStore& secrets, Preferences preferences);

}  // namespace LegacyApnsKeyCleanup
