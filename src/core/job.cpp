#include "job.h"

#include "error.h"

Job::Job(QObject* owner) : m_owner(owner) {
    if (owner != nullptr) {
        m_ownerDestroyed = QObject::connect(owner, &QObject::destroyed, [this] { cancel(); });
    }
}

Job::~Job() {
    QObject::disconnect(m_ownerDestroyed);
    cancel();
}

void Job::setErrorHandler(ErrorHandler handler) {
    m_onError = std::move(handler);
}

void Job::start(Body body) {
    cancel();
    if (m_owner.isNull()) {
        return;
    }
    m_token = CancellationToken();
    const std::uint64_t generation = ++m_state->generation;
    m_state->running = true;
    // The previous task, if still suspended, runs on detached until it sees its cancellation.
    m_task = run(std::move(body), m_token, m_state, generation, m_onError);
}

void Job::cancel() {
    m_token.cancel();
}

bool Job::isRunning() const {
    return m_state->running;
}

QCoro::Task<> Job::run(Body body, CancellationToken token, std::shared_ptr<State> state,
                       std::uint64_t generation, ErrorHandler onError) {
    try {
        QCoro::Task<> task = body(token);
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
