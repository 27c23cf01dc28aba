#include <gtest/gtest.h>

#include <QObject>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/job.h"
#include "support/manual_clock.h"
#include "support/run_task.h"

TEST(CancellationTokenTest, CallbacksRunOnceAndLateRegistrationsRunAtOnce) {
    CancellationToken token;
    const CancellationToken copy = token;
    int first = 0;
    int removed = 0;
    token.onCancel([&] { ++first; });
    const auto id = token.onCancel([&] { ++removed; });
    token.removeCallback(id);
    copy.cancel();
    copy.cancel();
    EXPECT_TRUE(token.isCancelled());
    EXPECT_EQ(first, 1);
    EXPECT_EQ(removed, 0);
    int late = 0;
    token.onCancel([&] { ++late; });
    EXPECT_EQ(late, 1);
    EXPECT_THROW(token.throwIfCancelled(), CancelledError);
}

TEST(CancellationTokenTest, CallbacksMayRegisterFurtherCallbacksWithoutDeadlock) {
    CancellationToken token;
    bool nested = false;
    token.onCancel([&] { token.onCancel([&] { nested = true; }); });
    token.cancel();
    EXPECT_TRUE(nested);
}

namespace {

struct Recorder {
    std::vector<std::string> events;
};

// A loop that notes each tick; captures (the recorder and the clock) must outlive suspensions.
Job::Body ticking(ManualClock& clock, std::shared_ptr<Recorder> recorder, std::string name) {
    return [&clock, recorder, name](CancellationToken token) -> QCoro::Task<> {
        try {
            for (;;) {
                co_await clock.sleep(10, token);
                recorder->events.push_back(name + " tick");
            }
        } catch (const CancelledError&) {
            recorder->events.push_back(name + " stopped");
            throw;
        }
    };
}

}  // namespace

TEST(JobTest, StartingAnotherJobCancelsThePreviousOne) {
    ManualClock clock;
    QObject owner;
    Job job(&owner);
    auto recorder = std::make_shared<Recorder>();
    job.start(ticking(clock, recorder, "first"));
    clock.advance(10);
    job.start(ticking(clock, recorder, "second"));
    EXPECT_TRUE(job.isRunning());
    ASSERT_TRUE(test::processEventsUntil([&] { return recorder->events.size() == 2; }));
    clock.advance(10);
    EXPECT_EQ(recorder->events,
              (std::vector<std::string>{"first tick", "first stopped", "second tick"}));
}

TEST(JobTest, OwnerDestructionCancelsTheRunningTask) {
    ManualClock clock;
    auto owner = std::make_unique<QObject>();
    auto recorder = std::make_shared<Recorder>();
    Job job(owner.get());
    job.start(ticking(clock, recorder, "loop"));
    owner.reset();
    ASSERT_TRUE(test::processEventsUntil([&] { return !job.isRunning(); }));
    EXPECT_EQ(recorder->events, std::vector<std::string>{"loop stopped"});
    // A job whose owner is gone starts nothing.
    job.start(ticking(clock, recorder, "orphan"));
    EXPECT_FALSE(job.isRunning());
}

TEST(JobTest, ErrorsOtherThanCancellationReachTheHandler) {
    QObject owner;
    Job job(&owner);
    std::string reported;
    job.setErrorHandler([&](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            reported = e.what();
        }
    });
    job.start([](CancellationToken) -> QCoro::Task<> {
        throw std::runtime_error("boom");
        co_return;
    });
    EXPECT_EQ(reported, "boom");
    EXPECT_FALSE(job.isRunning());
}

TEST(JobTest, DestroyingTheJobStopsItsTask) {
    ManualClock clock;
    QObject owner;
    auto recorder = std::make_shared<Recorder>();
    {
        Job job(&owner);
        job.start(ticking(clock, recorder, "scoped"));
    }
    ASSERT_TRUE(test::processEventsUntil([&] { return !recorder->events.empty(); }));
    clock.advance(100);
    EXPECT_EQ(recorder->events, std::vector<std::string>{"scoped stopped"});
}
