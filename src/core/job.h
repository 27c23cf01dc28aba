#pragma once

#include <QCoro/QCoroTask>
#include <QMetaObject>
#include <QPointer>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

#include "cancellation_token.h"

// Runs one long-lived asynchronous task of one kind on behalf of an owner: a refresh loop, a
// live session, a retry timer. Starting a new task cancels the one before it; the owner is held
// weakly, and its destruction (or the Job's) cancels the running task.
//
// Cancelling only sets the task's token: the task stops at its next check, so every body checks
// the token after each wait (Clock::sleep does so itself by throwing CancelledError) and touches
// its owner only after that check. A body's CancelledError ends the task quietly; any other
// exception goes to the error handler, or is dropped when none is set.
class Job final {
public:
    using Body = std::function<QCoro::Task<>(CancellationToken)>;
    using ErrorHandler = std::function<void(std::exception_ptr)>;

    explicit Job(QObject* owner);
    ~Job();
    Q_DISABLE_COPY_MOVE(Job)

    void setErrorHandler(ErrorHandler handler);

    // Cancels the running task, then calls `body` with a fresh token; the body runs until its
    // first suspension before start() returns. The body object is kept alive until the task ends.
    void start(Body body);
    void cancel();

    bool isRunning() const;

private:
    struct State {
        std::uint64_t generation = 0;
        bool running = false;
    };

    static QCoro::Task<> run(Body body, CancellationToken token, std::shared_ptr<State> state,
                             std::uint64_t generation, ErrorHandler onError);

    QPointer<QObject> m_owner;
    QMetaObject::Connection m_ownerDestroyed;
    std::shared_ptr<State> m_state = std::make_shared<State>();
    CancellationToken m_token;
    QCoro::Task<> m_task;
    ErrorHandler m_onError;
};
