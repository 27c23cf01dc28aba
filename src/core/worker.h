#pragma once

#include <QCoro/QCoroFuture>
#include <QCoro/QCoroTask>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

// Runs `work` on a thread of `pool` (Qt's global one unless given) and resumes the caller on its
// own thread (which must run an event loop) with the result, or rethrows there whatever `work`
// threw. For short, bounded blocking calls such as file reads, atomic writes and trust checks;
// never for a call that may wait on a person, such as an unlock prompt, which would hold a pool
// thread.
template <typename Work>
QCoro::Task<std::invoke_result_t<Work>> runOnWorker(
    Work work, QThreadPool* pool = QThreadPool::globalInstance()) {
    using Result = std::invoke_result_t<Work>;
    struct Outcome {
        std::conditional_t<std::is_void_v<Result>, bool, std::optional<Result>> value{};
        std::exception_ptr error;
    };
    QFuture<Outcome> future = QtConcurrent::run(pool, [work = std::move(work)]() mutable {
        Outcome outcome;
        try {
            if constexpr (std::is_void_v<Result>) {
                work();
            } else {
                outcome.value.emplace(work());
            }
        } catch (...) {
            outcome.error = std::current_exception();
        }
        return outcome;
    });
    Outcome outcome = co_await future;
    if (outcome.error) {
        std::rethrow_exception(outcome.error);
    }
    if constexpr (!std::is_void_v<Result>) {
        co_return std::move(*outcome.value);
    }
}
