#pragma once

#include <QObject>
#include <QPointer>
#include <optional>

#include "core/job.h"
#include "sources/codex/codex_device_code.h"
#include "store/store_services.h"

class UsageStore;

// Signing in to Quotamind with a ChatGPT account by device code, and signing out. The account's
// usage goes to the store once signed in, its failure becomes the store's Codex error, and a
// sign-out that removed the credentials has the store read the agents again.
//
// Lives on the main thread. The flow is a Job that holds the sign-in weakly; beginning again or
// cancelling ends the one before it, and after Cancel nothing is signed in. `account` and `store`
// must outlive it.
class CodexSignIn final : public QObject {
    Q_OBJECT

public:
    CodexSignIn(CodexAccount& account, UsageStore& store, QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(CodexSignIn)

    // The code the user confirms on the sign-in page, while a sign-in waits for it.
    const std::optional<CodexDeviceCode>& deviceCode() const { return m_deviceCode; }

    void beginSignIn();
    void cancelSignIn();
    // Removes the stored credentials; a failure shows in the store's inline error.
    QCoro::Task<> signOut();

Q_SIGNALS:
    void deviceCodeChanged();

private:
    void setDeviceCode(std::optional<CodexDeviceCode> code);

    static QCoro::Task<> signInFlow(QPointer<CodexSignIn> signIn, CancellationToken token);

    CodexAccount& m_account;
    UsageStore& m_store;
    std::optional<CodexDeviceCode> m_deviceCode;
    Job<CodexSignIn> m_job{this};
};
