#include "cancellation_token.h"

#include <map>
#include <mutex>
#include <vector>

#include "error.h"

struct CancellationToken::State {
    std::mutex mutex;
    bool cancelled = false;
    CallbackId nextId = 1;
    std::map<CallbackId, std::function<void()>> callbacks;
};

CancellationToken::CancellationToken() : m_state(std::make_shared<State>()) {}

void CancellationToken::cancel() const {
    std::map<CallbackId, std::function<void()>> callbacks;
    {
        std::scoped_lock lock(m_state->mutex);
        if (m_state->cancelled) {
            return;
        }
        m_state->cancelled = true;
        callbacks.swap(m_state->callbacks);
    }
    for (auto& [id, callback] : callbacks) {
        callback();
    }
}

bool CancellationToken::isCancelled() const {
    std::scoped_lock lock(m_state->mutex);
    return m_state->cancelled;
}

void CancellationToken::throwIfCancelled() const {
    if (isCancelled()) {
        throw CancelledError();
    }
}

CancellationToken::CallbackId CancellationToken::onCancel(std::function<void()> callback) const {
    {
        std::scoped_lock lock(m_state->mutex);
        if (!m_state->cancelled) {
            const CallbackId id = m_state->nextId++;
            m_state->callbacks.emplace(id, std::move(callback));
            return id;
        }
    }
    callback();
    return 0;
}

void CancellationToken::removeCallback(CallbackId id) const {
    std::scoped_lock lock(m_state->mutex);
    m_state->callbacks.erase(id);
}
