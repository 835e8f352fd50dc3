#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

#include "tasks/AsyncExecutor.h"
#include "tests/fakes/RefusingExecutor.h"

namespace {

using namespace std::chrono_literals;
constexpr auto kLimit = 20s;  // generous: the worker runs at idle priority on a busy machine

TEST(AsyncExecutorTest, SecondStartWhileRunningMakesNoSecondWorkerAndNextRunGetsAFreshOne) {
    AsyncExecutor executor(50ms);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> jobs{0}, completions{0};
    executor.SetJob([&] {
        ++jobs;
        released.wait();
    });
    executor.SetCompletion([&] { ++completions; });
    ASSERT_TRUE(executor.Start());
    EXPECT_TRUE(executor.Start());  // reports the running worker, makes no other
    release.set_value();
    ASSERT_TRUE(executor.WaitUntilIdle(kLimit));
    executor.SetJob([&] {
        ++jobs;
        throw std::runtime_error("toggle failed");  // the completion runs all the same
    });
    ASSERT_TRUE(executor.Start());  // the finished worker cleared its handle
    ASSERT_TRUE(executor.WaitUntilIdle(kLimit));
    EXPECT_EQ(executor.WorkersCreated(), 2u);  // one per run, none for the second start
    EXPECT_EQ(jobs, 2);
    EXPECT_EQ(completions, 2);
}

// The job, then its completion, run on one worker below the window thread (Linux lets any thread
// lower itself, to the idle class or at least nice 19), which keeps its priority. The busy box
// closes as the completion posts, so the next click may find the worker not yet ended.
TEST(AsyncExecutorTest, RunsOnALowWorkerAndAStartDuringTheLastCompletionWaitsForAFreshWorker) {
    AsyncExecutor executor(0ms);
    std::promise<void> inCompletion, release, secondJob;
    std::shared_future<void> released = release.get_future().share();
    std::thread::id jobThread;
    bool completedAfterJobOnItsThread = false;
    ThreadPriority jobPriority = ThreadPriority::Normal;
    executor.SetJob([&] {
        jobPriority = CurrentThreadPriority();
        jobThread = std::this_thread::get_id();
    });
    executor.SetCompletion([&] {
        completedAfterJobOnItsThread = jobThread == std::this_thread::get_id();
        inCompletion.set_value();
        released.wait();
    });
    ASSERT_TRUE(executor.Start());
    ASSERT_EQ(inCompletion.get_future().wait_for(kLimit), std::future_status::ready);
    EXPECT_TRUE(completedAfterJobOnItsThread);
    EXPECT_NE(jobThread, std::this_thread::get_id());
    EXPECT_NE(jobPriority, ThreadPriority::Normal);
    EXPECT_EQ(jobPriority, executor.LastWorkerPriority());
    EXPECT_EQ(CurrentThreadPriority(), ThreadPriority::Normal);
    executor.SetJob([&] { secondJob.set_value(); });
    executor.SetCompletion([] {});
    auto second = std::async(std::launch::async, [&] { return executor.Start(); });
    release.set_value();  // the start waits for the old worker's exit
    ASSERT_EQ(second.wait_for(kLimit), std::future_status::ready);
    EXPECT_TRUE(second.get());
    EXPECT_EQ(secondJob.get_future().wait_for(kLimit), std::future_status::ready);
    EXPECT_TRUE(executor.WaitUntilIdle(kLimit));
    EXPECT_EQ(executor.WorkersCreated(), 2u);
}

TEST(AsyncExecutorTest, StartReportsFailureAndRunsNothingWhenNoWorkerCanBeMade) {
    RefusingExecutor executor;
    std::atomic<bool> ran{false};
    executor.SetJob([&] { ran = true; });
    executor.SetCompletion([&] { ran = true; });
    EXPECT_FALSE(executor.Start());
    EXPECT_FALSE(executor.IsRunning());
    EXPECT_FALSE(ran);
}

}  // namespace
