#pragma once

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <type_traits>

namespace test {

namespace detail {

template <typename T>
struct Outcome {
    std::conditional_t<std::is_void_v<T>, bool, std::optional<T>> value{};
    std::exception_ptr error;
    bool done = false;
};

// Awaits the task and catches everything inside the coroutine: an exception escaping a task that
// the event loop is waiting on would never reach the test.
template <typename T>
QCoro::Task<> capture(QCoro::Task<T> task, std::shared_ptr<Outcome<T>> outcome) {
    try {
        if constexpr (std::is_void_v<T>) {
            co_await task;
        } else {
            outcome->value = co_await task;
        }
    } catch (...) {
        outcome->error = std::current_exception();
    }
    outcome->done = true;
}

}  // namespace detail

// Processes events until `condition` holds, for at most `limit`; returns whether it held.
template <typename Condition>
bool processEventsUntil(Condition condition,
                        std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.start(limit);
    while (!condition() && deadline.isActive()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return condition();
}

// Runs the event loop until `task` finishes, for at most `limit` of real time, then returns its
// value or rethrows its exception. Throws std::runtime_error when the limit passes first.
template <typename T>
T runTask(QCoro::Task<T> task, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    auto outcome = std::make_shared<detail::Outcome<T>>();
    QCoro::Task<> captured = detail::capture<T>(std::move(task), outcome);
    processEventsUntil([&] { return outcome->done; }, limit);
    if (!outcome->done) {
        throw std::runtime_error("task did not finish in time");
    }
    if (outcome->error) {
        std::rethrow_exception(outcome->error);
    }
    if constexpr (!std::is_void_v<T>) {
        return std::move(*outcome->value);
    }
}

}  // namespace test
