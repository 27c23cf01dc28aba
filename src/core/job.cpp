#include "job.h"

#include "error.h"

JobBase::JobBase(QObject* owner) : m_owner(owner) {
    if (owner != nullptr) {
        // The job is no QObject to serve as the context; it disconnects in its destructor.
        m_ownerDestroyed =
            QObject::connect(owner, &QObject::destroyed,  // clazy:exclude=connect-3arg-lambda
                             [this] { cancel(); });
    }
}

JobBase::~JobBase() {
    QObject::disconnect(m_ownerDestroyed);
    cancel();
}

void JobBase::setErrorHandler(ErrorHandler handler) {
    m_onError = std::move(handler);
}

void JobBase::start(Launch launch) {
    cancel();
    if (m_owner.isNull()) {
        return;
    }
    m_token = CancellationToken();
    const std::uint64_t generation = ++m_state->generation;
    m_state->running = true;
    // The previous task, if still suspended, runs on detached until it sees its cancellation.
    m_task = run(std::move(launch), m_token, m_state, generation, m_onError);
}

void JobBase::cancel() {
    m_token.cancel();
}

bool JobBase::isRunning() const {
    return m_state->running;
}

QCoro::Task<> JobBase::run(Launch launch, CancellationToken token, std::shared_ptr<State> state,
                           std::uint64_t generation, ErrorHandler onError) {
    try {
        QCoro::Task<> task = launch(token);
        co_await task;
    } catch (const CancelledError&) {
        // Cancellation is an expected end, never reported.
    } catch (...) {
        if (onError && !token.isCancelled()) {
            onError(std::current_exception());
        }
    }
    if (state->generation == generation) {
        state->running = false;
    }
}
