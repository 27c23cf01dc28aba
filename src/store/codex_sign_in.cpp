#include "codex_sign_in.h"

#include "core/error.h"
#include "store/failure_text.h"
#include "store/usage_store.h"

CodexSignIn::CodexSignIn(CodexAccount& account, UsageStore& store, QObject* parent)
    : QObject(parent), m_account(account), m_store(store) {}

void CodexSignIn::beginSignIn() {
    m_job.cancel();
    m_store.setAccountError(std::nullopt);
    m_job.start(&CodexSignIn::signInFlow);
}

QCoro::Task<> CodexSignIn::signInFlow(QPointer<CodexSignIn> signIn, CancellationToken token) {
    if (!signIn) {
        co_return;
    }
    CodexAccount& account = signIn->m_account;
    try {
        QCoro::Task<CodexDeviceCode> requesting = account.requestDeviceCode(token);
        const CodexDeviceCode code = co_await requesting;
        token.throwIfCancelled();
        if (!signIn) {
            co_return;
        }
        signIn->setDeviceCode(code);
        QCoro::Task<CodexAccount::AuthorizationResponse> polling =
            account.pollForAuthorization(code, token);
        CodexAccount::AuthorizationResponse authorization = co_await polling;
        token.throwIfCancelled();
        QCoro::Task<CodexCredentials> exchanging =
            account.exchange(std::move(authorization), token);
        CodexCredentials credentials = co_await exchanging;
        // After Cancel nothing is signed in.
        token.throwIfCancelled();
        QCoro::Task<> saving = account.saveCredentials(credentials);
        co_await saving;
        token.throwIfCancelled();
        QCoro::Task<AgentUsage> reading = account.fetchUsage(std::move(credentials), true, token);
        const AgentUsage usage = co_await reading;
        token.throwIfCancelled();
        if (!signIn) {
            co_return;
        }
        signIn->m_store.apply(usage, SessionStatus::AccountSession);
        signIn->setDeviceCode(std::nullopt);
    } catch (const CancelledError&) {
        // A flow that was cancelled or replaced leaves the code and the errors to the current
        // one (cancelSignIn() has cleared the code already).
        if (signIn && !token.isCancelled()) {
            signIn->setDeviceCode(std::nullopt);
        }
    } catch (...) {
        if (signIn && !token.isCancelled()) {
            signIn->setDeviceCode(std::nullopt);
            signIn->m_store.setAccountError(failureText(std::current_exception()));
        }
    }
}

void CodexSignIn::cancelSignIn() {
    m_job.cancel();
    setDeviceCode(std::nullopt);
}

QCoro::Task<> CodexSignIn::signOut() {
    cancelSignIn();
    const QPointer<CodexSignIn> self(this);
    std::exception_ptr failure;
    try {
        QCoro::Task<> deleting = m_account.deleteCredentials();
        co_await deleting;
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self) {
        co_return;
    }
    if (failure) {
        m_store.showError(failureText(failure));
        co_return;
    }
    QCoro::Task<> reading = m_store.credentialsRemoved();
    co_await reading;
}

void CodexSignIn::setDeviceCode(std::optional<CodexDeviceCode> code) {
    if (code != m_deviceCode) {
        m_deviceCode = std::move(code);
        Q_EMIT deviceCodeChanged();
    }
}
