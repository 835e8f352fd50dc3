// Work handed off the event loop: what comes back, and where.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>

#include "server/OffLoop.h"

namespace {

// The result comes back on the loop's thread, a job the other side refuses yields no result,
// and a failure of the work is thrown where it is awaited.
TEST(OffLoop, TheResultOrTheFailureComesBackOnTheLoop) {
    asio::io_context io;
    asio::thread_pool pool(1);
    auto submit = [&](std::function<void()> job) {
        asio::post(pool, std::move(job));
        return true;
    };
    auto refuse = [](std::function<void()>) { return false; };
    std::thread::id workedOn, resumedOn;
    auto work = [&] {
        workedOn = std::this_thread::get_id();
        return std::optional<int>(7);
    };
    auto fail = []() -> std::optional<int> { throw std::runtime_error("main.db is locked"); };
    std::optional<int> done, refused = 0;
    std::string failure;
    auto run = [&]() -> asio::awaitable<void> {
        done = co_await RunOffLoop(submit, work);
        resumedOn = std::this_thread::get_id();
        refused = co_await RunOffLoop(refuse, work);
        try {
            co_await RunOffLoop(submit, fail);
        } catch (const std::runtime_error& error) {
            failure = error.what();
        }
    };
    asio::co_spawn(io, run, asio::detached);
    io.run();
    EXPECT_EQ(done, 7);
    EXPECT_NE(workedOn, std::this_thread::get_id());
    EXPECT_EQ(resumedOn, std::this_thread::get_id());
    EXPECT_EQ(refused, std::nullopt);
    EXPECT_EQ(failure, "main.db is locked");
}

// With a limit, quick work's result comes back; slow work is given up at the limit while it
// still runs (a wait for the work would see the backstop open the gate and get 8), and its late
// result is dropped without harm.
TEST(OffLoop, AWaitWithALimitEndsAtTheLimit) {
    using namespace std::chrono_literals;
    asio::io_context io;
    asio::thread_pool pool(1);
    auto submit = PostTo(pool);
    std::promise<void> gate;
    bool open = false;
    auto openGate = [&] {
        if (!std::exchange(open, true)) gate.set_value();
    };
    asio::steady_timer backstop(io, 5s);
    backstop.async_wait([&](asio::error_code) { openGate(); });
    auto quick = [] { return 7; };
    auto slow = [shut = gate.get_future().share()] {
        shut.wait();
        return 8;
    };
    std::optional<int> quickResult, slowResult;
    auto run = [&]() -> asio::awaitable<void> {
        quickResult = co_await RunOffLoopWithin(submit, quick, 10s);
        slowResult = co_await RunOffLoopWithin(submit, slow, 50ms);
        openGate();
        backstop.cancel();
    };
    asio::co_spawn(io, run, asio::detached);
    io.run();
    EXPECT_EQ(quickResult, 7);
    EXPECT_EQ(slowResult, std::nullopt);
}

}  // namespace
