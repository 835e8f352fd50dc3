#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "server_link/LinkWorker.h"

namespace {

using namespace std::chrono_literals;

// The order on the worker is the order asked; a poll whose earlier job is still queued or
// running is refused (skipped), and accepted again once that job is done.
TEST(LinkWorker, RunsJobsInTheOrderAskedAndSkipsAPollThatStillWaits) {
    LinkWorker worker;
    std::promise<void> gate;  // the first job waits until the test opens it
    std::future<void> opened = gate.get_future();
    std::mutex mutex;
    std::vector<std::string> ran;
    auto record = [&](std::string what) {
        return [&, what] {
            std::lock_guard<std::mutex> guard(mutex);
            ran.push_back(what);
        };
    };
    ASSERT_TRUE(worker.Post("rate", [&, r = record("rate 1")] { r(), opened.wait(); }));
    EXPECT_TRUE(worker.Post("statistic", record("statistic")));
    EXPECT_TRUE(worker.Post("system", record("system")));
    EXPECT_FALSE(worker.Post("rate", record("rate 2")));      // running
    EXPECT_FALSE(worker.Post("statistic", record("again")));  // queued
    gate.set_value();
    ASSERT_TRUE(worker.WaitUntilIdle(5s));
    EXPECT_TRUE(worker.Post("rate", record("rate 3")));
    ASSERT_TRUE(worker.WaitUntilIdle(5s));
    EXPECT_EQ(ran, (std::vector<std::string>{"rate 1", "statistic", "system", "rate 3"}));
}

// Close drops what is queued, interrupts the running job and waits only for it; posts are then
// refused until Open. A job that throws does not end the worker.
TEST(LinkWorker, CloseInterruptsTheRunningJobDropsTheQueueAndRefusesUntilOpened) {
    std::promise<void> gate;  // the running job waits until the worker interrupts it
    std::future<void> opened = gate.get_future();
    std::vector<bool> interrupts;
    LinkWorker worker([&](bool on) {
        interrupts.push_back(on);
        if (interrupts.size() == 1) gate.set_value();  // as MQClient::Interrupt ends a receive
    });
    std::atomic<bool> started{false}, droppedRan{false};
    ASSERT_TRUE(worker.Post("slow", [&] { started = true, opened.wait(); }));
    ASSERT_TRUE(worker.Post("queued", [&] { droppedRan = true; }));
    while (!started) std::this_thread::sleep_for(1ms);
    worker.Close();
    EXPECT_FALSE(droppedRan);
    EXPECT_EQ(interrupts, (std::vector<bool>{true, false}));
    EXPECT_FALSE(worker.Post("slow", [] {}));
    EXPECT_TRUE(worker.WaitUntilIdle(0ms));

    worker.Open();
    std::atomic<int> after{0};
    EXPECT_TRUE(worker.Post("throws", [] { throw std::runtime_error("no reply"); }));
    EXPECT_TRUE(worker.Post("slow", [&] { ++after; }));
    ASSERT_TRUE(worker.WaitUntilIdle(5s));
    EXPECT_EQ(after, 1);
}

}  // namespace
