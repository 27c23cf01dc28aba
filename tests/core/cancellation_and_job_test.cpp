#include <gtest/gtest.h>

#include <stdexcept>

#include "core/error.h"
#include "core/job.h"
#include "support/manual_clock.h"
#include "support/run_task.h"

TEST(CancellationTokenTest, CallbacksRunOnceAndLateOrNestedRegistrationsRunAtOnce) {
    CancellationToken token;
    const CancellationToken copy = token;
    int first = 0, removed = 0, nested = 0, late = 0;
    token.onCancel([&] {
        ++first;
        token.onCancel([&] { ++nested; });  // must not deadlock
    });
    token.removeCallback(token.onCancel([&] { ++removed; }));
    copy.cancel();
    copy.cancel();
    EXPECT_EQ(std::tuple(first, nested, removed), std::tuple(1, 1, 0));
    token.onCancel([&] { ++late; });
    EXPECT_EQ(late, 1);
    EXPECT_THROW(token.throwIfCancelled(), CancelledError);
}

namespace {

using Events = std::shared_ptr<std::vector<std::string>>;

// A loop such as the store's refresh loop: it checks its owner after every wait.
QCoro::Task<> tick(QPointer<QObject> owner, CancellationToken token, ManualClock* clock,
                   Events events, std::string name) {
    try {
        for (;;) {
            co_await clock->sleep(10, token);
            if (!owner) {
                co_return;
            }
            events->push_back(name + " tick");
        }
    } catch (const CancelledError&) {
        events->push_back(name + " stopped");
        throw;
    }
}

}  // namespace

// Starting another task, the job's end and its owner's end each cancel the running task; a job
// whose owner is gone starts nothing.
TEST(JobTest, AnotherStartTheJobsEndOrTheOwnersEndCancelsTheRunningTask) {
    ManualClock clock;
    auto owner = std::make_unique<QObject>();
    const auto events = std::make_shared<Events::element_type>();
    Job<QObject> job(owner.get());
    {
        Job<QObject> scoped(owner.get());
        scoped.start(tick, &clock, events, "scoped");
    }
    job.start(tick, &clock, events, "first");
    clock.advance(10);
    job.start(tick, &clock, events, "second");
    ASSERT_TRUE(test::processEventsUntil([&] { return events->size() == 3; }));
    clock.advance(10);
    owner.reset();
    ASSERT_TRUE(test::processEventsUntil([&] { return !job.isRunning(); }));
    clock.advance(100);
    EXPECT_EQ(*events, (std::vector<std::string>{"first tick", "scoped stopped", "first stopped",
                                                 "second tick", "second stopped"}));
    job.start(tick, &clock, events, "orphan");
    EXPECT_FALSE(job.isRunning());
}

TEST(JobTest, ErrorsOtherThanCancellationReachTheHandler) {
    QObject owner;
    Job<QObject> job(&owner);
    std::exception_ptr reported;
    job.setErrorHandler([&](std::exception_ptr error) { reported = std::move(error); });
    job.start(+[](QPointer<QObject>, CancellationToken) -> QCoro::Task<> {
        throw std::runtime_error("boom");
        co_return;
    });
    EXPECT_THROW(std::rethrow_exception(reported), std::runtime_error);
    EXPECT_FALSE(job.isRunning());
}
