#include "legacy_apns_key_cleanup.h"

namespace LegacyApnsKeyCleanup {

QCoro::Task<> run(SecretStore& secrets, Preferences preferences) {
    // Read first, so the preferences file is only rewritten the one time there is something
    // to remove.
    if (preferences.string(kRegistrationKey) || preferences.data(kRegistrationKey)) {
        preferences.remove(kRegistrationKey);
    }
    try {
        QCoro::Task<bool> removing = secrets.remove(kKeyService, kKeyAccount);
        co_await removing;
    } catch (const std::exception&) {
        // A locked or missing keyring keeps the stale key; it is harmless and tried next start.
    }
}

}  // namespace LegacyApnsKeyCleanup
