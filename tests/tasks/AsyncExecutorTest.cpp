#include <gtest/gtest.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <system_error>
#include <thread>
#include <vector>

#include "tasks/AsyncExecutor.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Generous: the worker runs at idle priority on a busy machine.
constexpr auto kLimit = 20s;

// What one run observed on the worker thread.
struct RunRecord {
    std::thread::id jobThread;
    std::thread::id completionThread;
    Clock::time_point jobAt;
    Clock::time_point completionAt;
    bool jobDoneBeforeCompletion = false;
    ThreadPriority jobPriority = ThreadPriority::Normal;
};

// Arms the executor with a job and a completion that record into a RunRecord and fulfil a
// promise when the completion has run.
std::future<RunRecord> Arm(AsyncExecutor& executor) {
    auto record = std::make_shared<RunRecord>();
    auto done = std::make_shared<std::promise<RunRecord>>();
    auto jobDone = std::make_shared<std::atomic<bool>>(false);
    executor.SetJob([record, jobDone] {
        record->jobThread = std::this_thread::get_id();
        record->jobAt = Clock::now();
        record->jobPriority = CurrentThreadPriority();
        *jobDone = true;
    });
    executor.SetCompletion([record, done, jobDone] {
        record->completionThread = std::this_thread::get_id();
        record->completionAt = Clock::now();
        record->jobDoneBeforeCompletion = *jobDone;
        done->set_value(*record);
    });
    return done->get_future();
}

RunRecord WaitFor(std::future<RunRecord>& future) {
    if (future.wait_for(kLimit) != std::future_status::ready) {
        ADD_FAILURE() << "the completion did not run";
        return {};
    }
    return future.get();
}

TEST(AsyncExecutorTest, RunsJobThenCompletionOnAnotherThreadAfterTheDelay) {
    AsyncExecutor executor;
    auto future = Arm(executor);
    const auto startedAt = Clock::now();
    ASSERT_TRUE(executor.Start());
    const RunRecord run = WaitFor(future);

    EXPECT_NE(run.jobThread, std::this_thread::get_id());
    EXPECT_EQ(run.jobThread, run.completionThread);
    EXPECT_TRUE(run.jobDoneBeforeCompletion);
    EXPECT_GE(run.jobAt - startedAt, AsyncExecutor::kJobDelay);
    EXPECT_GE(run.completionAt, run.jobAt);
    EXPECT_TRUE(executor.WaitUntilIdle(kLimit));
    EXPECT_FALSE(executor.IsRunning());
}

TEST(AsyncExecutorTest, SecondStartWhileRunningMakesNoSecondWorkerAndNextRunGetsAFreshOne) {
    AsyncExecutor executor(50ms);
    std::promise<void> release;
    auto released = release.get_future().share();
    std::atomic<int> jobs{0};
    std::atomic<int> completions{0};
    std::vector<std::thread::id> workers;  // written only by workers, one at a time
    executor.SetJob([&] {
        workers.push_back(std::this_thread::get_id());
        ++jobs;
        released.wait();
    });
    executor.SetCompletion([&] { ++completions; });

    ASSERT_TRUE(executor.Start());
    EXPECT_TRUE(executor.Start());  // reports the running worker, makes no other
    EXPECT_EQ(executor.WorkersCreated(), 1u);
    release.set_value();
    ASSERT_TRUE(executor.WaitUntilIdle(kLimit));
    EXPECT_EQ(jobs, 1);
    EXPECT_EQ(completions, 1);

    // The handle was cleared by the finished worker, so the next run makes a new one.
    ASSERT_TRUE(executor.Start());
    ASSERT_TRUE(executor.WaitUntilIdle(kLimit));
    EXPECT_EQ(executor.WorkersCreated(), 2u);
    EXPECT_EQ(jobs, 2);
    EXPECT_EQ(completions, 2);
    ASSERT_EQ(workers.size(), 2u);
}

TEST(AsyncExecutorTest, CallablesStoredWhileRunningAreTheOnesTheRunningWorkerCalls) {
    AsyncExecutor executor(300ms);
    std::atomic<int> first{0};
    std::atomic<int> second{0};
    executor.SetJob([&] { ++first; });
    executor.SetCompletion([] {});
    ASSERT_TRUE(executor.Start());
    executor.SetJob([&] { ++second; });  // during the delay: replaces the job
    ASSERT_TRUE(executor.WaitUntilIdle(kLimit));
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
}

TEST(AsyncExecutorTest, CompletionRunsEvenWhenTheJobThrows) {
    AsyncExecutor executor(0ms);
    std::promise<void> completed;
    executor.SetJob([] { throw std::runtime_error("toggle failed"); });
    executor.SetCompletion([&] { completed.set_value(); });
    ASSERT_TRUE(executor.Start());
    EXPECT_EQ(completed.get_future().wait_for(kLimit), std::future_status::ready);
}

TEST(AsyncExecutorTest, WorkerRunsAtIdlePriorityWherePermitted) {
    AsyncExecutor executor(0ms);
    auto future = Arm(executor);
    ASSERT_TRUE(executor.Start());
    const RunRecord run = WaitFor(future);
    if (executor.LastWorkerPriority() == ThreadPriority::Normal) {
        GTEST_SKIP() << "this machine refuses both SCHED_IDLE and nice 19";
    }
    EXPECT_EQ(run.jobPriority, executor.LastWorkerPriority());
    // The window thread keeps its own priority.
    EXPECT_EQ(CurrentThreadPriority(), ThreadPriority::Normal);
}

// A platform that refuses to make threads.
class RefusingExecutor : public AsyncExecutor {
public:
    using AsyncExecutor::AsyncExecutor;

protected:
    std::thread CreateWorker(std::function<void()>) override {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }
};

TEST(AsyncExecutorTest, StartFailsWhenNoWorkerCanBeMade) {
    RefusingExecutor executor(0ms);
    std::atomic<bool> ran{false};
    executor.SetJob([&] { ran = true; });
    executor.SetCompletion([&] { ran = true; });
    EXPECT_FALSE(executor.Start());
    EXPECT_FALSE(executor.IsRunning());
    EXPECT_EQ(executor.WorkersCreated(), 0u);
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(ran);
}

TEST(AsyncExecutorTest, DestroyingTheExecutorWaitsForItsWorker) {
    std::atomic<bool> completed{false};
    {
        AsyncExecutor executor(100ms);
        executor.SetJob([] {});
        executor.SetCompletion([&] { completed = true; });
        ASSERT_TRUE(executor.Start());
    }
    EXPECT_TRUE(completed);
}

}  // namespace
