#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QTimer>
#include <chrono>
#include <stdexcept>

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

// A task started by the test and left running while the test does other things (advances a
// manual clock, answers a request); poll isDone(), then get() its result.
template <typename T>
class StartedTask {
public:
    explicit StartedTask(QCoro::Task<T> task)
        : m_outcome(std::make_shared<detail::Outcome<T>>()),
          m_capture(detail::capture<T>(std::move(task), m_outcome)) {}

    bool isDone() const { return m_outcome->done; }
    // Processes events until the task is done, for at most `limit`; false when it is not.
    bool waitUntilDone(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        return processEventsUntil([this] { return isDone(); }, limit);
    }
    // The value, or the task's exception rethrown; throws std::runtime_error while not done.
    T get() {
        if (!m_outcome->done) {
            throw std::runtime_error("task did not finish in time");
        }
        if (m_outcome->error) {
            std::rethrow_exception(m_outcome->error);
        }
        if constexpr (!std::is_void_v<T>) {
            return std::move(*m_outcome->value);
        }
    }

private:
    std::shared_ptr<detail::Outcome<T>> m_outcome;
    QCoro::Task<> m_capture;
};

// Runs the event loop until `task` finishes, for at most `limit` of real time, then returns its
// value or rethrows its exception. Throws std::runtime_error when the limit passes first.
template <typename T>
T runTask(QCoro::Task<T> task, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    StartedTask<T> started(std::move(task));
    started.waitUntilDone(limit);
    return started.get();
}

// The exception of type E that `run` (a callable, or a task run with runTask) ends with. Anything
// else is a test failure, reported by throwing out of the test.
template <typename E, typename Run>
E errorOf(Run&& run) {
    try {
        if constexpr (std::is_invocable_v<Run>) {
            run();
        } else {
            runTask(std::forward<Run>(run));
        }
    } catch (const E& error) {
        return error;
    } catch (const std::exception& other) {
        throw std::runtime_error(std::string("unexpected error: ") + other.what());
    }
    throw std::runtime_error("the expected error was not thrown");
}

}  // namespace test
