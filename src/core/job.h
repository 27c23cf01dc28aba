#pragma once

#include <QCoro/QCoroTask>
#include <QMetaObject>
#include <QPointer>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <type_traits>

#include "cancellation_token.h"

// What every Job<Owner> shares; see Job below.
class JobBase {
public:
    using ErrorHandler = std::function<void(std::exception_ptr)>;

    Q_DISABLE_COPY_MOVE(JobBase)

    void setErrorHandler(ErrorHandler handler);
    void cancel();
    bool isRunning() const;

protected:
    using Launch = std::function<QCoro::Task<>(CancellationToken)>;

    explicit JobBase(QObject* owner);
    ~JobBase();
    // Cancels the running task, then starts `launch(token)` with a fresh token, unless the owner
    // is gone.
    void start(Launch launch);

private:
    struct State {
        std::uint64_t generation = 0;
        bool running = false;
    };

    static QCoro::Task<> run(Launch launch, CancellationToken token, std::shared_ptr<State> state,
                             std::uint64_t generation, ErrorHandler onError);

    QPointer<QObject> m_owner;
    QMetaObject::Connection m_ownerDestroyed;
    std::shared_ptr<State> m_state = std::make_shared<State>();
    CancellationToken m_token;
    QCoro::Task<> m_task;
    ErrorHandler m_onError;
};

// Runs one long-lived asynchronous task of one kind on behalf of an owner: a refresh loop, a
// live-update loop, a retry timer. Starting a new task cancels the one before it; the owner's
// destruction (or the Job's) cancels the running task.
//
// A body is a plain function (a static member, or a lambda without captures given with a leading
// `+`), so it cannot hold a raw `this` or captures that die at its first suspension. It gets the
// owner as a QPointer, the task's token and the extra arguments of start(), which are copied into
// its frame. Cancelling only sets the token: every body checks it after each wait (Clock::sleep
// throws CancelledError) and checks the owner before touching it. CancelledError ends the task
// quietly; any other exception goes to the error handler, or is dropped when none is set.
template <class Owner>
class Job final : public JobBase {
public:
    template <class... Args>
    using Body = QCoro::Task<> (*)(QPointer<Owner>, CancellationToken, Args...);

    explicit Job(Owner* owner) : JobBase(owner), m_owner(owner) {}

    // Cancels the running task, then runs `body`, which runs until its first suspension before
    // start() returns. Does nothing once the owner is gone.
    template <class... Args>
    void start(Body<Args...> body, std::type_identity_t<Args>... args) {
        JobBase::start(
            [body, owner = m_owner, ... args = std::move(args)](CancellationToken token) {
                return body(owner, std::move(token), args...);
            });
    }

private:
    QPointer<Owner> m_owner;
};

// Queues `job` on `owner`'s thread, from any thread; it is dropped if the owner is gone by then.
template <typename Owner>
void queueOn(const QPointer<Owner>& owner, std::function<void(Owner&)> job) {
    if (!owner) {
        return;
    }
    QMetaObject::invokeMethod(
        owner.data(),
        [owner, job = std::move(job)] {
            if (owner) {
                job(*owner);
            }
        },
        Qt::QueuedConnection);
}
