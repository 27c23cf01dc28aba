#pragma once

#include <cstdint>
#include <functional>
#include <memory>

// A shared cancellation flag with callbacks. Copies share one state: cancelling any copy cancels
// them all. Callbacks run once, synchronously, on the thread that calls cancel(), outside any
// lock (a callback may itself register or remove callbacks). Registering on a token that is
// already cancelled runs the callback at once.
class CancellationToken final {
public:
    using CallbackId = std::uint64_t;

    CancellationToken();

    void cancel() const;
    bool isCancelled() const;
    // Throws CancelledError when cancelled: the "stop if cancelled" check after every wait.
    void throwIfCancelled() const;

    CallbackId onCancel(std::function<void()> callback) const;
    void removeCallback(CallbackId id) const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};
